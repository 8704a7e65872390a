// The wrapping counter, also stepped and reset from two threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <thread>

#include "elements/zkCounter.h"
#include "support/recorder.h"

namespace {

std::vector<int32_t> stepTimes(TZKCounter& counter, int times) {
  TRecorder out;
  counter.outCount = out.link();
  for (int i = 0; i < times; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  std::vector<int32_t> values;
  for (const TData& d : out.received) values.push_back(d.IntValue);
  return values;
}

TEST(Counter, WrapsExactlyOntoTheOtherBound) {
  TDispatchScope on;
  TZKCounter toggle;
  toggle.Min = 0;
  toggle.Max = 1;
  toggle.setDefault(0);
  EXPECT_EQ(stepTimes(toggle, 3), (std::vector<int32_t>{1, 0, 1}));

  TZKCounter byTwo;
  byTwo.Max = 3;
  byTwo.Step = 2;
  byTwo.setDefault(2);
  EXPECT_EQ(stepTimes(byTwo, 2), (std::vector<int32_t>{0, 2}));

  TZKCounter down;
  down.Min = 1;
  down.Max = 3;
  down.Direction = 1;
  down.setDefault(3);
  EXPECT_EQ(stepTimes(down, 4), (std::vector<int32_t>{2, 1, 3, 2}));
}

TEST(Counter, ResetGoesToTheStartBoundSilentlyAndVarCountReads) {
  TDispatchScope on;
  TZKCounter counter;
  TRecorder out;
  counter.Min = 2;
  counter.Max = 9;
  counter.setDefault(5);
  counter.outCount = out.link();
  fireEvent(makeEventLink<&TZKCounter::inReset>(&counter));
  EXPECT_TRUE(out.received.empty());
  TData value;
  readData(makeEventLink<&TZKCounter::varCount>(&counter), value);
  EXPECT_EQ(value.IntValue, 2);

  counter.Direction = 1;
  fireEvent(makeEventLink<&TZKCounter::inReset>(&counter));
  EXPECT_EQ(counter.Count.load(), 9);
}

TEST(Counter, StepsAtTheIntegerLimitWrapInsteadOfOverflowing) {
  TDispatchScope on;
  TZKCounter up;
  up.Min = -1;
  up.Max = std::numeric_limits<int32_t>::max();
  up.Step = 10;
  up.setDefault(std::numeric_limits<int32_t>::max() - 5);
  EXPECT_EQ(stepTimes(up, 1), (std::vector<int32_t>{-1}));

  TZKCounter down;
  down.Min = std::numeric_limits<int32_t>::min();
  down.Max = 7;
  down.Step = 10;
  down.Direction = 1;
  down.setDefault(std::numeric_limits<int32_t>::min() + 5);
  EXPECT_EQ(stepTimes(down, 1), (std::vector<int32_t>{7}));
}

// Collects values fired on any thread.
struct TSharedRecorder {
  std::mutex lock;
  std::vector<int32_t> values;
  void inWork(TData& d, uint16_t) {
    const std::lock_guard<std::mutex> guard(lock);
    values.push_back(d.IntValue);
  }
};

TEST(Counter, ConcurrentStepsLoseNoCountAndFireDistinctValues) {
  TDispatchScope on;
  TZKCounter counter;
  TSharedRecorder out;
  counter.Max = std::numeric_limits<int32_t>::max();
  counter.outCount = makeEventLink<&TSharedRecorder::inWork>(&out);
  constexpr int PerThread = 20000;
  const auto stepper = [&] {
    for (int i = 0; i < PerThread; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&counter));
  };
  std::thread a(stepper), b(stepper);
  a.join();
  b.join();

  EXPECT_EQ(counter.Count.load(), 2 * PerThread);
  std::sort(out.values.begin(), out.values.end());
  ASSERT_EQ(out.values.size(), size_t{2 * PerThread});
  for (int i = 0; i < 2 * PerThread; ++i) ASSERT_EQ(out.values[i], i + 1);
}

TEST(Counter, ResetFromAnotherThreadWhileSteppingStaysInRange) {
  TDispatchScope on;
  TZKCounter seconds;
  TSharedRecorder out;
  seconds.Max = 100;
  seconds.outCount = makeEventLink<&TSharedRecorder::inWork>(&out);
  std::thread ticker([&] {
    for (int i = 0; i < 20000; ++i) fireEvent(makeEventLink<&TZKCounter::inNext>(&seconds));
  });
  std::thread reader([&] {
    for (int i = 0; i < 20000; ++i) fireEvent(makeEventLink<&TZKCounter::inReset>(&seconds));
  });
  ticker.join();
  reader.join();

  ASSERT_EQ(out.values.size(), 20000u);
  for (const int32_t v : out.values) ASSERT_TRUE(v >= 0 && v <= 100) << v;
  fireEvent(makeEventLink<&TZKCounter::inReset>(&seconds));
  EXPECT_EQ(stepTimes(seconds, 1), (std::vector<int32_t>{1}));
}

}  // namespace
