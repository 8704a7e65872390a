// Procedures that elements register while a schema is built, run once the
// application is up.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

using TStartProc = std::function<void()>;

extern std::vector<TStartProc> StartList;
extern std::atomic<bool> Started;

void addStartProc(TStartProc proc);
// Runs the entries in order of addition (also those added meanwhile), then
// empties the list and sets Started.
void runStartProcs();
