// Every wait in a test is bounded: a fault fails, saying what did not happen.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>

#include "support/hangLimit.h"

// Asks done() every millisecond until it holds or the limit has passed:
// ASSERT_TRUE(eventually("the drain", [&] { return drained.load(); })).
inline testing::AssertionResult eventually(const std::string& what,
                                           const std::function<bool()>& done,
                                           std::chrono::milliseconds limit = WaitLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return testing::AssertionFailure()
             << "waited " << limit.count() << " ms in vain for " << what;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return testing::AssertionSuccess();
}

inline testing::AssertionResult eventually(const std::string& what, const std::atomic<bool>& flag,
                                           std::chrono::milliseconds limit = WaitLimit) {
  return eventually(
      what, [&] { return flag.load(); }, limit);
}

// A test's thread whose end is waited for at most the limit.
class TTestThread {
 public:
  template <class Body>
  TTestThread(std::string what, Body body, std::chrono::milliseconds limit = WaitLimit)
      : what_("the end of " + std::move(what)),
        limit_(limit),
        thread_([this, body = std::move(body)]() mutable {
          body();
          ended_ = true;
        }) {}
  ~TTestThread() { join(); }
  TTestThread(const TTestThread&) = delete;
  TTestThread& operator=(const TTestThread&) = delete;

  void join() {
    if (!thread_.joinable()) return;
    if (!eventually(what_, ended_, limit_)) endHungTest(what_, limit_);
    thread_.join();
  }

 private:
  const std::string what_;
  const std::chrono::milliseconds limit_;
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// Runs call(), which has no limit of its own (a message loop), on this
// thread; should it outlast the limit, the test program ends saying so.
template <class Call>
auto bounded(const std::string& what, Call call, std::chrono::milliseconds limit = WaitLimit) {
  std::promise<void> returned;
  const TTestThread watch("the watch on " + what, [&, done = returned.get_future()] {
    if (done.wait_for(limit) != std::future_status::ready) endHungTest(what, limit);
  });
  const struct TReturned {
    std::promise<void>& returned;
    ~TReturned() { returned.set_value(); }
  } said{returned};
  return call();
}
