// Branching, toggling, looping and value-producing elements.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

#include "elements/compareData.h"
#include "elements/zkCase.h"
#include "elements/zkDoData.h"
#include "elements/zkEventFromData.h"
#include "elements/zkFor.h"
#include "elements/zkIf_else.h"
#include "elements/zkLatch.h"
#include "elements/zkSwitch.h"
#include "support/recorder.h"

namespace {

std::vector<int32_t> integers(const TRecorder& r) {
  std::vector<int32_t> values;
  for (const TData& d : r.received) values.push_back(toInteger(d));
  return values;
}

TEST(IfElse, ComparesTheLinkedOperandAndSendsTheIncomingValue) {
  TDispatchScope on;
  TZKIf_else branch;
  TProvider operand;
  TRecorder yes, no;
  branch.Type = TCompareType::Equal;
  branch.Op2 = integerData(3);
  branch.dataOp1 = operand.link();
  branch.outTrue = yes.link();
  branch.outFalse = no.link();

  operand.answer = integerData(3);
  fireEvent(makeEventLink<&TZKIf_else::inCompare>(&branch), "tick");
  operand.answer = integerData(4);
  fireEvent(makeEventLink<&TZKIf_else::inCompare>(&branch), "tock");

  ASSERT_EQ(yes.received.size(), 1u);
  EXPECT_EQ(yes.received[0].StrValue, "tick");
  ASSERT_EQ(no.received.size(), 1u);
  EXPECT_EQ(no.received[0].StrValue, "tock");
}

TEST(IfElse, WithoutLinksOrDefaultsComparesTheFirstTwoChainValues) {
  TDispatchScope on;
  TZKIf_else branch;
  TRecorder yes, no;
  branch.Type = TCompareType::Less;
  branch.outTrue = yes.link();
  branch.outFalse = no.link();

  fireEvent(makeEventLink<&TZKIf_else::inCompare>(&branch),
            chained(integerData(2), integerData(9)));
  ASSERT_EQ(yes.received.size(), 1u);
  EXPECT_EQ(yes.received[0].IntValue, 2);  // the value as it arrived
  EXPECT_TRUE(no.received.empty());
}

TEST(Case, MatchSendsDataOtherwiseTheValueGoesOn) {
  TDispatchScope on;
  TZKCase check;
  TRecorder match, next;
  check.Value = integerData(0);
  check.outMatch = match.link();
  check.outNext = next.link();

  fireEvent(makeEventLink<&TZKCase::inCase>(&check), 0);
  fireEvent(makeEventLink<&TZKCase::inCase>(&check), 7);
  check.Data = stringData("zero");
  fireEvent(makeEventLink<&TZKCase::inCase>(&check), "0");

  ASSERT_EQ(match.received.size(), 2u);
  EXPECT_EQ(kindOf(match.received[0]), TDataKind::Null);
  EXPECT_EQ(match.received[1].StrValue, "zero");
  ASSERT_EQ(next.received.size(), 1u);
  EXPECT_EQ(next.received[0].IntValue, 7);
}

TEST(Switch, TogglesAndSendsSwitchThenStateEvent) {
  TDispatchScope on;
  TZKSwitch toggle;
  TRecorder all;  // index tells the event apart: 0 switch, 1 on, 2 off
  toggle.DataOn = integerData(1);
  toggle.DataOff = integerData(0);
  toggle.outSwitch = all.link(0);
  toggle.outOn = all.link(1);
  toggle.outOff = all.link(2);
  toggle.setDefault(1);
  TData state;
  toggle.varState(state, 0);
  EXPECT_EQ(state.IntValue, 0);

  // A receiver of outSwitch that spoils the record does not change what the
  // state event carries.
  all.onReceive = [](TData& d, uint16_t index) {
    if (index == 0) makeString(d, "spoiled");
  };
  const TEventLink in = makeEventLink<&TZKSwitch::inSwitch>(&toggle);
  fireEvent(in, "ignored");
  toggle.varState(state, 0);
  EXPECT_EQ(state.IntValue, 1);
  fireEvent(in);

  EXPECT_EQ(all.indexes, (std::vector<uint16_t>{0, 1, 0, 2}));
  EXPECT_EQ(integers(all), (std::vector<int32_t>{1, 1, 0, 0}));
}

struct TForFixture : ::testing::Test {
  TDispatchScope on;
  TZKFor loop;
  TRecorder each, end;
  TForFixture() {
    loop.UseEventData = 0;
    loop.outEvent = each.link();
    loop.outEnd = end.link();
  }
  void run(int32_t incoming = 0) { fireEvent(makeEventLink<&TZKFor::inFor>(&loop), incoming); }
  int32_t endValue() const { return end.received.at(0).IntValue; }
};

TEST_F(TForFixture, CountsUpIncludingOrExcludingTheEnd) {
  loop.Start = 0;
  loop.End = 255;
  loop.Step = 1;
  loop.IncludeEnd = 1;
  run();
  ASSERT_EQ(each.received.size(), 256u);
  EXPECT_EQ(each.received.front().IntValue, 0);
  EXPECT_EQ(each.received.back().IntValue, 255);
  EXPECT_EQ(endValue(), 256);

  each.received.clear();
  end.received.clear();
  loop.IncludeEnd = 0;
  run();
  ASSERT_EQ(each.received.size(), 255u);
  EXPECT_EQ(each.received.back().IntValue, 254);
  EXPECT_EQ(endValue(), 255);
}

TEST_F(TForFixture, EmptyRangesAndZeroStepFireOnlyTheEnd) {
  loop.Start = 5;
  loop.End = 2;
  loop.Step = 1;
  run();
  EXPECT_TRUE(each.received.empty());
  EXPECT_EQ(endValue(), 5);

  end.received.clear();
  loop.Step = 0;
  loop.End = 10;
  run();
  EXPECT_TRUE(each.received.empty());
  EXPECT_EQ(endValue(), 5);
}

TEST_F(TForFixture, CountsDownWithNegativeStep) {
  loop.Start = 10;
  loop.End = 4;
  loop.Step = -3;
  loop.IncludeEnd = 1;
  run();
  EXPECT_EQ(integers(each), (std::vector<int32_t>{10, 7, 4}));
  EXPECT_EQ(endValue(), 1);

  each.received.clear();
  end.received.clear();
  loop.IncludeEnd = 0;
  run();
  EXPECT_EQ(integers(each), (std::vector<int32_t>{10, 7}));
  EXPECT_EQ(endValue(), 4);
}

TEST_F(TForFixture, IncomingValueIsUsedOnlyWhenAsked) {
  loop.Start = 0;
  loop.End = 3;
  loop.Step = 1;
  run(2);  // discarded: the zero start default stays
  EXPECT_EQ(each.received.size(), 4u);

  each.received.clear();
  loop.UseEventData = 1;
  run(2);  // a zero Start default takes the incoming value
  EXPECT_EQ(integers(each), (std::vector<int32_t>{2, 3}));
}

TEST_F(TForFixture, RangeEndingAtTheIntegerLimitTerminates) {
  loop.Start = std::numeric_limits<int32_t>::max() - 2;
  loop.End = std::numeric_limits<int32_t>::max();
  loop.Step = 2;
  loop.IncludeEnd = 1;
  run();
  EXPECT_EQ(each.received.size(), 2u);
  ASSERT_EQ(end.received.size(), 1u);

  each.received.clear();
  loop.Start = std::numeric_limits<int32_t>::min() + 1;
  loop.End = std::numeric_limits<int32_t>::min();
  loop.Step = -1;
  run();
  EXPECT_EQ(each.received.size(), 2u);

  // Lowering the lowest end for an exclusive range must not wrap around.
  each.received.clear();
  loop.Start = 0;
  loop.Step = 1;
  loop.IncludeEnd = 0;
  run();
  EXPECT_TRUE(each.received.empty());
}

TEST(DoData, SendsItsValueWhateverItReceives) {
  TDispatchScope on;
  TZKDoData data;
  TRecorder out;
  data.Data = stringData("VERS");
  data.outEventData = out.link();
  const TEventLink in = makeEventLink<&TZKDoData::inDoData>(&data);
  fireEvent(in, 42);
  fireEvent(in, "other");

  TZKDoData empty;
  empty.outEventData = out.link();
  fireEvent(makeEventLink<&TZKDoData::inDoData>(&empty), 42);

  TProvider linked;
  linked.answer = integerData(5);
  data.dataData = linked.link();
  fireEvent(in);

  ASSERT_EQ(out.received.size(), 4u);
  EXPECT_EQ(out.received[0].StrValue, "VERS");
  EXPECT_EQ(out.received[1].StrValue, "VERS");
  EXPECT_EQ(kindOf(out.received[2]), TDataKind::Null);
  EXPECT_EQ(out.received[3].IntValue, 5);
}

TEST(EventFromData, StoresAWholeChainAndAnswersItsFirstValue) {
  TDispatchScope on;
  TZKEventFromData memory;
  TRecorder queried;
  memory.outQuery = queried.link();
  fireEvent(makeEventLink<&TZKEventFromData::inStore>(&memory),
            chained(stringData("first"), stringData("second")));

  const TEventLink stored = makeEventLink<&TZKEventFromData::varStored>(&memory);
  TData none;
  EXPECT_EQ(readString(none, stored, ""), "first");
  EXPECT_EQ(readString(none, stored, ""), "first");
  TData all;
  readAll(none, stored, nullptr, all);
  ASSERT_NE(all.Next, nullptr);
  EXPECT_EQ(all.StrValue, "first");
  EXPECT_EQ(all.Next->StrValue, "second");
  EXPECT_EQ(queried.received.size(), 3u);
  // A reader that frees what it was answered leaves the stored chain alone.
  freeChain(all);
  readAll(none, stored, nullptr, all);
  ASSERT_NE(all.Next, nullptr);
  EXPECT_EQ(all.Next->StrValue, "second");
}

TEST(EventFromData, StoringItsOwnValueAgainKeepsIt) {
  TDispatchScope on;
  TZKEventFromData memory;
  memory.dataStore = makeEventLink<&TZKEventFromData::varStored>(&memory);
  const TData first = chained(integerData(1), integerData(2));
  TZKEventFromData source;
  fireEvent(makeEventLink<&TZKEventFromData::inStore>(&source), first);
  memory.dataStore = makeEventLink<&TZKEventFromData::varStored>(&source);
  fireEvent(makeEventLink<&TZKEventFromData::inStore>(&memory));
  // Now from itself: the old chain must not be released before it is copied.
  memory.dataStore = makeEventLink<&TZKEventFromData::varStored>(&memory);
  fireEvent(makeEventLink<&TZKEventFromData::inStore>(&memory));

  TData all;
  TData none;
  readAll(none, makeEventLink<&TZKEventFromData::varStored>(&memory), nullptr, all);
  ASSERT_NE(all.Next, nullptr);
  EXPECT_EQ(all.IntValue, 1);
  EXPECT_EQ(all.Next->IntValue, 2);
}

// The upload's outcome: a pass writes to the port on one thread while a
// decision comes on another; once the decision fires, no pass may still be
// writing, and nothing gets through afterwards.
TEST(Latch, TheFirstDecisionWinsAfterAPassUnderWayAndNothingFollows) {
  TDispatchScope on;
  TZKLatch latch;
  latch.setCounts(1, 2);
  TRecorder passed, decided, closed;
  latch.outPass[0] = passed.link();
  latch.outDecided[0] = decided.link(0);
  latch.outDecided[1] = decided.link(1);
  latch.outClosed = closed.link();
  std::atomic<bool> passing{false};
  std::atomic<bool> passEnded{false};
  passed.onReceive = [&](TData&, uint16_t) {
    passing = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    passEnded = true;
  };
  bool passEndedFirst = false;
  decided.onReceive = [&](TData&, uint16_t) { passEndedFirst = passEnded; };
  std::thread writer([&] { fireEvent(makeEventLink<&TZKLatch::inPass>(&latch), 1); });
  while (!passing) std::this_thread::yield();
  fireEvent(makeEventLink<&TZKLatch::inDecide>(&latch, 1), 7);
  writer.join();
  EXPECT_TRUE(passEndedFirst);

  fireEvent(makeEventLink<&TZKLatch::inPass>(&latch), 2);
  fireEvent(makeEventLink<&TZKLatch::inDecide>(&latch, 0), 8);
  EXPECT_EQ(passed.received.size(), 1u);
  ASSERT_EQ(decided.received.size(), 1u);
  EXPECT_EQ(decided.indexes[0], 1);
  EXPECT_EQ(decided.received[0].IntValue, 7);
  EXPECT_EQ(closed.received.size(), 1u);
  TData open;
  latch.varOpen(open, 0);
  EXPECT_EQ(open.IntValue, 0);
}

// A wrong answer decides from inside the answer's own pass.
TEST(Latch, ADecisionInsideAPassOnTheSameThreadDoesNotWaitForItself) {
  TDispatchScope on;
  TZKLatch latch;
  latch.setCounts(1, 1);
  TRecorder decided;
  latch.outDecided[0] = decided.link();
  TRecorder passed;
  latch.outPass[0] = passed.link();
  passed.onReceive = [&](TData&, uint16_t) {
    fireEvent(makeEventLink<&TZKLatch::inDecide>(&latch), 1);
  };
  fireEvent(makeEventLink<&TZKLatch::inPass>(&latch), 0);
  EXPECT_EQ(decided.received.size(), 1u);
}

}  // namespace
