// A stand-in for the window library's synchronous calls: another thread
// hands a call to the "UI" thread and waits until that thread has run it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "runtime/threadStop.h"

class TSyncCalls {
 public:
  // Blocks the calling thread until the UI thread has run call.
  void invokeSync(std::function<void()> call) {
    std::unique_lock lock(Lock);
    const uint64_t ticket = ++Posted;
    Pending.push_back(std::move(call));
    Changed.notify_all();
    Changed.wait(lock, [&] { return Served >= ticket; });
  }

  // On the UI thread: runs what is pending, waiting briefly for a call.
  void serve(std::chrono::milliseconds wait) {
    std::unique_lock lock(Lock);
    Changed.wait_for(lock, wait, [&] { return !Pending.empty(); });
    while (!Pending.empty()) {
      std::function<void()> call = std::move(Pending.front());
      Pending.pop_front();
      lock.unlock();
      call();
      lock.lock();
      ++Served;
    }
    Changed.notify_all();
  }

 private:
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::function<void()>> Pending;
  uint64_t Posted = 0;
  uint64_t Served = 0;
};

// Makes the serial element's waits serve these calls for one scope.
class TPumpScope {
 public:
  explicit TPumpScope(TSyncCalls& calls) {
    served = &calls;
    setWaitService([](const std::function<bool()>& done) {
      while (!done()) served->serve(std::chrono::milliseconds(5));
    });
  }
  ~TPumpScope() {
    setWaitService(nullptr);
    served = nullptr;
  }
  TPumpScope(const TPumpScope&) = delete;
  TPumpScope& operator=(const TPumpScope&) = delete;

 private:
  static inline TSyncCalls* served = nullptr;
};
