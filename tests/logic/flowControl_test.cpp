// Branching, toggling, looping and value-producing elements.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "elements/compareData.h"
#include "elements/zkCase.h"
#include "elements/zkDoData.h"
#include "elements/zkEventFromData.h"
#include "elements/zkFor.h"
#include "elements/zkIf_else.h"
#include "elements/zkLatch.h"
#include "elements/zkSwitch.h"
#include "support/boundedWait.h"
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

  ASSERT_EQ(match.received.size(), 1u);
  EXPECT_EQ(kindOf(match.received[0]), TDataKind::Null);
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

// The upload's block loop: Start to End inclusive, the incoming value
// dropped; then outEnd with the first value past the range.
TEST(For, CountsFromStartToEndByStep) {
  TDispatchScope on;
  TZKFor loop;
  TRecorder each, end;
  loop.End = 3;
  loop.UseEventData = 0;
  loop.outEvent = each.link();
  loop.outEnd = end.link();
  fireEvent(makeEventLink<&TZKFor::inFor>(&loop), 7);
  EXPECT_EQ(integers(each), (std::vector<int32_t>{0, 1, 2, 3}));
  ASSERT_EQ(end.received.size(), 1u);
  EXPECT_EQ(end.received[0].IntValue, 4);
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

  TProvider linked;
  linked.answer = integerData(5);
  data.dataData = linked.link();
  fireEvent(in);

  ASSERT_EQ(out.received.size(), 3u);
  EXPECT_EQ(out.received[0].StrValue, "VERS");
  EXPECT_EQ(out.received[1].StrValue, "VERS");
  EXPECT_EQ(out.received[2].IntValue, 5);
}

TEST(EventFromData, StoresAWholeChainAndAnswersItsFirstValue) {
  TDispatchScope on;
  TZKEventFromData memory;
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
  TTestThread writer("the pass", [&] { fireEvent(makeEventLink<&TZKLatch::inPass>(&latch), 1); });
  ASSERT_TRUE(eventually("the pass to write", passing));
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

// A decision meets a pass that ends on another thread, round after round:
// each must come through (a wake-up lost between the pass's end and the
// decision's wait left it waiting for good, and the upload with it).
TEST(Latch, EveryDecisionThatWaitsForAPassComesThrough) {
  TDispatchScope on;
  for (int round = 0; round < 1000; ++round) {
    TZKLatch latch;
    latch.setCounts(1, 1);
    TRecorder passed;
    latch.outPass[0] = passed.link();
    std::atomic<bool> passing{false};
    passed.onReceive = [&](TData&, uint16_t) {
      passing = true;
      const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(round % 50);
      while (std::chrono::steady_clock::now() < end) {
      }
    };
    TTestThread decider("the decision in round " + std::to_string(round), [&] {
      while (!passing) std::this_thread::yield();
      fireEvent(makeEventLink<&TZKLatch::inDecide>(&latch), 1);
    });
    fireEvent(makeEventLink<&TZKLatch::inPass>(&latch), 1);
  }
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
