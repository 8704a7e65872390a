// Firing, tail events, the dispatch switch and the start list.
#include <gtest/gtest.h>

#include "runtime/startList.h"
#include "support/recorder.h"

namespace {

// Passes what it receives on to its output with a tail event, after
// appending its own mark to the string.
struct TForwarder {
  TEventLink out;
  std::string mark;
  std::vector<int>* order = nullptr;
  int id = 0;
  void inWork(TData& d, uint16_t) {
    if (order) order->push_back(id);
    tailEvent(d, out, toString(d) + mark);
  }
  TEventLink link() { return makeEventLink<&TForwarder::inWork>(this); }
};

TEST(Firing, UnassignedLinkAndDisabledDispatchDoNothing) {
  TRecorder r;
  TData d = integerData(1);
  fireEvent(TEventLink{}, d);  // nothing is installed yet: no crash
  fireEvent(r.link(), d);
  EXPECT_TRUE(r.received.empty());
  {
    TDispatchScope on;
    fireEvent(TEventLink{}, d);
    fireEvent(r.link(7), d);
  }
  fireEvent(r.link(), d);
  ASSERT_EQ(r.received.size(), 1u);
  EXPECT_EQ(r.indexes[0], 7);

  // Switched off by a handler of a chain in flight: its tail event is not
  // delivered either.
  TForwarder last{r.link(8), "!"};
  TRecorder switchingOff;
  switchingOff.onReceive = [&](TData& e, uint16_t) {
    disableDispatch();
    tailEvent(e, last.link());
  };
  enableDispatch();
  fireEvent(switchingOff.link(), d);
  EXPECT_EQ(r.received.size(), 1u);
}

TEST(Firing, ValueFormsFireFreshRecordsAndAReferenceIsChanged) {
  TDispatchScope on;
  TRecorder r;
  r.onReceive = [](TData& d, uint16_t) { makeInteger(d, 99); };
  const TData original = stringData("keep");
  fireEvent(r.link(), original);
  fireEvent(r.link(), 5);
  fireEvent(r.link(), std::string("a\0b", 3));
  fireEvent(r.link());
  TData changed = stringData("x");
  fireEvent(r.link(), changed);
  EXPECT_EQ(changed.IntValue, 99);
  ASSERT_EQ(r.received.size(), 5u);
  EXPECT_EQ(original.StrValue, "keep");
  EXPECT_EQ(r.received[1].IntValue, 5);
  EXPECT_EQ(r.received[2].StrValue, std::string("a\0b", 3));
  EXPECT_EQ(kindOf(r.received[3]), TDataKind::Null);
}

TEST(Firing, TailChainRunsFlatInOrderAndLeavesLastValue) {
  TDispatchScope on;
  std::vector<int> order;
  TForwarder a{{}, "a", &order, 1}, b{{}, "b", &order, 2}, c{{}, "c", &order, 3};
  TRecorder end;
  a.out = b.link();
  b.out = c.link();
  c.out = end.link();
  TData d = stringData(">");
  fireEvent(a.link(), d);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(end.received.size(), 1u);
  EXPECT_EQ(end.received[0].StrValue, ">abc");
  EXPECT_EQ(d.StrValue, ">abc");
  EXPECT_EQ(d.Kind, TDataKind::String);
}

TEST(Firing, TailEventToUnassignedLinkEndsChainWithFlagCleared) {
  TDispatchScope on;
  TForwarder last{{}, "!", nullptr, 0};
  TData d = stringData("v");
  fireEvent(last.link(), d);
  EXPECT_EQ(d.Kind, TDataKind::String);
  EXPECT_EQ(d.StrValue, "v!");
}

TEST(StartList, RunsInOrderIncludingLateEntriesThenEmpties) {
  std::vector<int> order;
  Started = false;
  addStartProc([&] { order.push_back(1); });
  addStartProc([&] {
    order.push_back(2);
    addStartProc([&] { order.push_back(3); });
  });
  runStartProcs();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(StartList.empty());
  EXPECT_TRUE(Started);
  Started = false;
}

}  // namespace
