// The blocking wait: at least the delay, on the calling thread, without
// spinning for all of it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "elements/zkSleep.h"
#include "runtime/threadStop.h"
#include "support/recorder.h"

#if defined(__linux__)
#include <time.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

TEST(Sleep, WaitsAtLeastTheDelayThenPassesTheValueOn) {
  TDispatchScope on;
  TZKSleep sleep;
  TRecorder out;
  sleep.Delay = 30'000;
  sleep.outEnd = out.link();
  const auto start = Clock::now();
  fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep), "done");
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::microseconds(30'000));
  ASSERT_EQ(out.received.size(), 1u);
  EXPECT_EQ(out.received[0].StrValue, "done");
}

TEST(Sleep, ZeroOrNegativeDelayStillFiresOnce) {
  TDispatchScope on;
  TZKSleep sleep;
  TRecorder out;
  sleep.outEnd = out.link();
  fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep), 1);
  sleep.Delay = -5;
  fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep), 2);
  ASSERT_EQ(out.received.size(), 2u);
  EXPECT_EQ(out.received[1].IntValue, 2);
}

// The pause after an upload runs on the serial reader; a close that stops
// that thread must not wait out the 15 seconds.
TEST(Sleep, AStopRequestForItsThreadEndsItAtOnceWithoutPassingOn) {
  TDispatchScope on;
  TZKSleep sleep;
  TRecorder out;
  sleep.Delay = 15'000'000;
  sleep.outEnd = out.link();
  std::stop_source owner;
  std::thread sleeper([&] {
    TStopScope scope(owner.get_token());
    fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto stopped = Clock::now();
  owner.request_stop();
  sleeper.join();
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_TRUE(out.received.empty());
}

#if defined(__linux__)
double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

TEST(Sleep, SleepsMostOfALongDelayInsteadOfSpinning) {
  TDispatchScope on;
  TZKSleep sleep;
  sleep.Delay = 300'000;
  const double before = threadCpuSeconds();
  fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep));
  // Only the last stretch before the deadline is polled.
  EXPECT_LT(threadCpuSeconds() - before, 0.15);
}
#endif

}  // namespace
