#include "startList.h"

std::vector<TStartProc> StartList;
std::atomic<bool> Started{false};

void addStartProc(TStartProc proc) { StartList.push_back(std::move(proc)); }

void runStartProcs() {
  // By index: a procedure may append to the list while it runs.
  for (size_t i = 0; i < StartList.size(); ++i) {
    TStartProc proc = StartList[i];
    proc();
  }
  StartList.clear();
  Started = true;
}
