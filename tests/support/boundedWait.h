// Every wait in a test is bounded: a fault makes the test fail within
// seconds, saying what did not happen, instead of hanging until the test
// runner gives up.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// Generous: only a fault ever waits this long.
inline constexpr std::chrono::milliseconds WaitLimit = std::chrono::seconds(5);

inline testing::AssertionResult timedOut(const std::string& what, std::chrono::milliseconds limit) {
  return testing::AssertionFailure() << "waited " << limit.count() << " ms in vain for " << what;
}

// Asks done() every millisecond until it holds or the limit has passed:
// ASSERT_TRUE(eventually("the drain", [&] { return drained.load(); })).
inline testing::AssertionResult eventually(const std::string& what,
                                           const std::function<bool()>& done,
                                           std::chrono::milliseconds limit = WaitLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return timedOut(what, limit);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return testing::AssertionSuccess();
}

inline testing::AssertionResult eventually(const std::string& what, const std::atomic<bool>& flag,
                                           std::chrono::milliseconds limit = WaitLimit) {
  return eventually(
      what, [&] { return flag.load(); }, limit);
}

// The same under a condition variable's lock.
template <class Done>
testing::AssertionResult eventually(const std::string& what, std::condition_variable& changed,
                                    std::unique_lock<std::mutex>& lock, Done done,
                                    std::chrono::milliseconds limit = WaitLimit) {
  if (changed.wait_for(lock, limit, done)) return testing::AssertionSuccess();
  return timedOut(what, limit);
}

// A test's thread whose end is waited for at most the limit. One still
// running then hangs in the code under test and may use the test's stack,
// so the test program ends at once, saying which thread it was.
class TTestThread {
 public:
  template <class Body>
  TTestThread(std::string what, Body body)
      : what_(std::move(what)), thread_([this, body = std::move(body)]() mutable {
          body();
          ended_ = true;
        }) {}
  ~TTestThread() { join(); }
  TTestThread(const TTestThread&) = delete;
  TTestThread& operator=(const TTestThread&) = delete;

  void join() {
    if (!thread_.joinable()) return;
    if (const auto ended = eventually("the end of " + what_, ended_); !ended) {
      ADD_FAILURE() << ended.message();
      std::fflush(nullptr);
      std::_Exit(EXIT_FAILURE);
    }
    thread_.join();
  }

 private:
  const std::string what_;
  std::atomic<bool> ended_{false};
  std::thread thread_;
};
