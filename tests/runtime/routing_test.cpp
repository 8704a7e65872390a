// The hub.
#include <gtest/gtest.h>

#include "runtime/zkHub.h"
#include "support/recorder.h"

namespace {

TEST(Hub, FiresInOrderEachWithTheIncomingValue) {
  TDispatchScope on;
  TZKHub hub;
  hub.setOutCount(3);
  std::vector<int> order;
  TRecorder first, second, third;
  first.onReceive = [&](TData& d, uint16_t) {
    order.push_back(1);
    makeString(d, "changed");
  };
  second.onReceive = [&](TData&, uint16_t) { order.push_back(2); };
  third.onReceive = [&](TData&, uint16_t) { order.push_back(3); };
  hub.outEvent = {first.link(), second.link(), third.link()};
  TData d = stringData("in");
  hub.inWork(d, 0);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(second.received[0].StrValue, "in");
  EXPECT_EQ(third.received[0].StrValue, "in");
  EXPECT_EQ(d.StrValue, "in");
}

}  // namespace
