// Branching, toggling, looping and value-producing elements.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <optional>
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

// The form's success mark: off at start, on after the upload's success.
TEST(Switch, TogglesAndSendsTheNewStatesValue) {
  TDispatchScope on;
  TZKSwitch toggle;
  TRecorder out;
  toggle.DataOn = integerData(1);
  toggle.DataOff = integerData(0);
  toggle.outSwitch = out.link();
  toggle.setDefault(1);
  TData state;
  toggle.varState(state, 0);
  EXPECT_EQ(state.IntValue, 0);
  const TEventLink in = makeEventLink<&TZKSwitch::inSwitch>(&toggle);
  fireEvent(in, "ignored");
  toggle.varState(state, 0);
  EXPECT_EQ(state.IntValue, 1);
  fireEvent(in);
  EXPECT_EQ(integers(out), (std::vector<int32_t>{1, 0}));
}

TEST(For, CountsFromStartToEndByStep) {
  constexpr int32_t Max = std::numeric_limits<int32_t>::max();
  constexpr int32_t Min = std::numeric_limits<int32_t>::min();
  const struct {
    int32_t start, end, step;
    uint8_t includeEnd, useEventData;
    int32_t incoming;
    std::vector<int32_t> passes;
    std::optional<int32_t> endValue;
  } cases[] = {
      {0, 3, 1, 1, 0, 0, {0, 1, 2, 3}, 4},
      {0, 3, 1, 0, 0, 0, {0, 1, 2}, 3},
      {5, 2, 1, 1, 0, 0, {}, 5},
      {5, 10, 0, 1, 0, 0, {}, 5},  // a zero step never loops
      {10, 4, -3, 1, 0, 0, {10, 7, 4}, 1},
      {0, 1, 1, 1, 0, 7, {0, 1}, 2},  // the incoming value is dropped
      {0, 3, 1, 1, 1, 2, {2, 3}, 4},  // unless asked for: a zero Start takes it
      // Ranges ending at the integer limits terminate, and lowering the
      // lowest end for an exclusive range does not wrap around.
      {Max - 2, Max, 2, 1, 0, 0, {Max - 2, Max}, {}},
      {0, Min, 1, 0, 0, 0, {}, 0},
  };
  TDispatchScope on;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << " step " << c.step);
    TZKFor loop;
    TRecorder each, end;
    loop.Start = c.start;
    loop.End = c.end;
    loop.Step = c.step;
    loop.IncludeEnd = c.includeEnd;
    loop.UseEventData = c.useEventData;
    loop.outEvent = each.link();
    loop.outEnd = end.link();
    fireEvent(makeEventLink<&TZKFor::inFor>(&loop), c.incoming);
    EXPECT_EQ(integers(each), c.passes);
    ASSERT_EQ(end.received.size(), 1u);
    if (c.endValue) {
      EXPECT_EQ(end.received[0].IntValue, *c.endValue);
    }
  }
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
