// What whole uploads do not pin down: a stored chain readers may free, the outcome latch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "elements/zkEventFromData.h"
#include "elements/zkLatch.h"
#include "support/boundedWait.h"
#include "support/recorder.h"

namespace {

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

// Once a decision from another thread fires, no pass may still be writing; nothing follows.
TEST(Latch, TheFirstDecisionWinsAfterAPassUnderWayAndNothingFollows) {
  TDispatchScope on;
  TZKLatch latch;
  latch.setCounts(1, 2);
  TRecorder passed, decided, closed;
  latch.outPass[0] = passed.link();
  latch.outDecided[0] = decided.link(0);
  latch.outDecided[1] = decided.link(1);
  latch.outClosed = closed.link();
  std::atomic<bool> passing{false}, passEnded{false};
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

// A wake-up lost between a pass's end and a decision's wait left the upload hanging.
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
  TRecorder decided, passed;
  latch.outDecided[0] = decided.link();
  latch.outPass[0] = passed.link();
  passed.onReceive = [&](TData&, uint16_t) {
    fireEvent(makeEventLink<&TZKLatch::inDecide>(&latch), 1);
  };
  fireEvent(makeEventLink<&TZKLatch::inPass>(&latch), 0);
  EXPECT_EQ(decided.received.size(), 1u);
}

}  // namespace
