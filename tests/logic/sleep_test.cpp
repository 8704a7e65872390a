// The blocking wait: at least the delay, interruptible by a stop request.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "elements/zkSleep.h"
#include "runtime/threadStop.h"
#include "support/boundedWait.h"
#include "support/recorder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SleepTest : ::testing::Test {
  TDispatchScope on;
  TZKSleep sleep;
  TRecorder out;
  SleepTest() { sleep.outEnd = out.link(); }
};

TEST_F(SleepTest, WaitsAtLeastTheDelayThenPassesTheValueOn) {
  sleep.Delay = 30'000;
  const auto start = Clock::now();
  fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep), "done");
  EXPECT_GE(Clock::now() - start, std::chrono::microseconds(30'000));
  ASSERT_EQ(out.received.size(), 1u);
  EXPECT_EQ(out.received[0].StrValue, "done");
}

// A close stopping the serial reader must not wait out the 15-second pause after an upload.
TEST_F(SleepTest, AStopRequestForItsThreadEndsItAtOnceWithoutPassingOn) {
  sleep.Delay = 15'000'000;
  std::stop_source owner;
  TTestThread sleeper("the pause", [&] {
    TStopScope scope(owner.get_token());
    fireEvent(makeEventLink<&TZKSleep::inSleep>(&sleep));
  });
  const auto stopped = Clock::now();
  owner.request_stop();
  sleeper.join();
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_TRUE(out.received.empty());
}

}  // namespace
