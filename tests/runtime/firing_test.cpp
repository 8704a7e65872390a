// Firing, the dispatch switch and the start list.
#include <gtest/gtest.h>

#include "runtime/startList.h"
#include "support/recorder.h"

namespace {

// Passes what it receives on with a tail event, its mark appended.
struct TForwarder {
  TEventLink out;
  std::string mark;
  void inWork(TData& d, uint16_t) { tailEvent(d, out, toString(d) + mark); }
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

  // Switched off by a handler of a chain in flight: its tail event is not delivered either.
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
