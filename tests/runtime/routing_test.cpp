// Hub and commutator.
#include <gtest/gtest.h>

#include "runtime/zkCommutator.h"
#include "runtime/zkHub.h"
#include "support/recorder.h"

namespace {

TEST(Hub, FiresInOrderEachWithTheIncomingValue) {
  TDispatchScope on;
  TZKHub hub;
  hub.setOutCount(3);
  TRecorder out;
  out.onReceive = [](TData& d, uint16_t index) {
    if (index == 1) makeString(d, "changed");
  };
  hub.outEvent = {out.link(1), out.link(2), out.link(3)};
  TData d = stringData("in");
  hub.inWork(d, 0);
  EXPECT_EQ(out.indexes, (std::vector<uint16_t>{1, 2, 3}));
  EXPECT_EQ(out.received[1].StrValue, "in");
  EXPECT_EQ(out.received[2].StrValue, "in");
  EXPECT_EQ(d.StrValue, "in");
}

// The serial answers' route: the linked index chooses the one output.
TEST(Commutator, TheLinkedIndexChoosesTheOutputAndReceiverChangesStayThere) {
  TDispatchScope on;
  TZKCommutator sw;
  TRecorder a, b;
  TProvider output;
  sw.setOutCount(2);
  sw.outEvent = {a.link(), b.link()};
  sw.dataOutput = output.link();
  output.answer = integerData(1);
  fireEvent(makeEventLink<&TZKCommutator::inWork>(&sw), "bytes");
  ASSERT_EQ(b.received.size(), 1u);
  EXPECT_EQ(b.received[0].StrValue, "bytes");
  output.answer = integerData(0);
  fireEvent(makeEventLink<&TZKCommutator::inWork>(&sw), "bytes");
  EXPECT_EQ(a.received.size(), 1u);
  EXPECT_EQ(b.received.size(), 1u);

  a.onReceive = [](TData& d, uint16_t) { makeInteger(d, 5); };
  TData d = stringData("orig");
  sw.inWork(d, 0);
  EXPECT_EQ(d.StrValue, "orig");
  EXPECT_EQ(kindOf(d), TDataKind::String);
}

}  // namespace
