// The wrapping counter, also stepped and reset from two threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "elements/zkCounter.h"
#include "support/boundedWait.h"
#include "support/recorder.h"
#include "support/sharedRecorder.h"

namespace {

constexpr int32_t IntMax = std::numeric_limits<int32_t>::max();

std::vector<int32_t> integers(const std::vector<TData>& values) {
  std::vector<int32_t> result;
  for (const TData& d : values) result.push_back(d.IntValue);
  return result;
}

// The probe's route: 0, then 1 for the upload, then back to 0.
TEST(Counter, AStepPastMaxWrapsOntoMin) {
  TDispatchScope on;
  TZKCounter counter;
  TRecorder out;
  counter.Max = 1;
  counter.outCount = out.link();
  for (int i = 0; i < 3; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  EXPECT_EQ(integers(out.received), (std::vector<int32_t>{1, 0, 1}));
}

TEST(Counter, ConcurrentStepsLoseNoCountAndFireDistinctValues) {
  TDispatchScope on;
  TZKCounter counter;
  TSharedRecorder out;
  counter.Max = IntMax;
  counter.outCount = out.link();
  constexpr int PerThread = 20000;
  const auto stepper = [&] {
    for (int i = 0; i < PerThread; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  };
  { TTestThread a("the first stepper", stepper), b("the second stepper", stepper); }
  std::vector<int32_t> values = integers(out.values());
  std::sort(values.begin(), values.end());
  ASSERT_EQ(values.size(), size_t{2 * PerThread});
  for (int i = 0; i < 2 * PerThread; ++i) ASSERT_EQ(values[i], i + 1);
}

// The watchdog's counter: the timer steps it while the reader resets it.
TEST(Counter, ResetFromAnotherThreadWhileSteppingStaysInRange) {
  TDispatchScope on;
  TZKCounter seconds;
  TSharedRecorder out;
  seconds.Max = 100;
  seconds.outCount = out.link();
  TTestThread ticker("the steps", [&] {
    for (int i = 0; i < 20000; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&seconds));
  });
  for (int i = 0; i < 20000; ++i) fireEvent(makeEventLink<&TZKCounter::inReset>(&seconds));
  ticker.join();
  for (const int32_t v : integers(out.values())) ASSERT_TRUE(v >= 0 && v <= 100) << v;
}

}  // namespace
