// The wrapping counter, also stepped and reset from two threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "elements/zkCounter.h"
#include "support/boundedWait.h"
#include "support/recorder.h"

namespace {

struct Counter : ::testing::Test {
  TDispatchScope on;
  TZKCounter counter;
  TSharedRecorder out;
  Counter() { counter.outCount = out.link(); }
  std::vector<int32_t> counts() const {
    std::vector<int32_t> result;
    for (const TData& d : out.values()) result.push_back(d.IntValue);
    return result;
  }
};

// The probe's route: 0, then 1 for the upload, then back to 0.
TEST_F(Counter, AStepPastMaxWrapsOntoMin) {
  counter.Max = 1;
  for (int i = 0; i < 3; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  EXPECT_EQ(counts(), (std::vector<int32_t>{1, 0, 1}));
}

TEST_F(Counter, ConcurrentStepsLoseNoCountAndFireDistinctValues) {
  counter.Max = std::numeric_limits<int32_t>::max();
  constexpr int PerThread = 20000;
  const auto stepper = [&] {
    for (int i = 0; i < PerThread; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  };
  { TTestThread a("the first stepper", stepper), b("the second stepper", stepper); }
  std::vector<int32_t> values = counts();
  std::sort(values.begin(), values.end());
  ASSERT_EQ(values.size(), size_t{2 * PerThread});
  for (int i = 0; i < 2 * PerThread; ++i) ASSERT_EQ(values[i], i + 1);
}

// The watchdog's counter: the timer steps it while the reader resets it.
TEST_F(Counter, ResetFromAnotherThreadWhileSteppingStaysInRange) {
  counter.Max = 100;
  TTestThread ticker("the steps", [&] {
    for (int i = 0; i < 20000; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  });
  for (int i = 0; i < 20000; ++i) fireEvent(makeEventLink<&TZKCounter::inReset>(&counter));
  ticker.join();
  for (const int32_t v : counts()) ASSERT_TRUE(v >= 0 && v <= 100) << v;
}

}  // namespace
