// Decides once between outcomes and lets events through only until then.
// The first event to reach inDecide wins: the latch closes, fires outClosed
// and then that input's outDecided; every later decision and every later
// pass is dropped. Passes and decisions may come from different threads;
// once a decision has been taken, no pass still runs on another thread (the
// decision waits for one under way, a single port write in the upload) and
// none starts, so nothing sent through inPass can follow the outcome.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "runtime/link.h"

class TZKLatch {
 public:
  std::vector<TEventLink> outPass;     // output i for inPass i
  std::vector<TEventLink> outDecided;  // output i for inDecide i
  TEventLink outClosed;

  // Configuration: the numbers of pass and decision points.
  void setCounts(uint16_t passes, uint16_t decisions);

  void inPass(TData& d, uint16_t index);
  void inDecide(TData& d, uint16_t index);
  // 1 while undecided, 0 after.
  void varOpen(TData& d, uint16_t index);

 private:
  std::atomic<bool> decided_{false};
  std::atomic<int> passing_{0};  // passes running now, on any thread
  // Not atomic<int>::wait: MinGW's library can lose its wake-up (it wakes
  // without the lock its waiter holds), and a decision then waits for good.
  std::mutex passEndLock_;
  std::condition_variable passEnded_;
};
