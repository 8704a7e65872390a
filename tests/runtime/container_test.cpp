// Sub-schema containers and their boundary elements.
#include <gtest/gtest.h>

#include "runtime/startList.h"
#include "runtime/zkMultiElementEx.h"
#include "support/recorder.h"

namespace {

int liveInstances = 0;

// Keeps a running total, reports it on output 0 and answers it on data
// output 0.
struct TAccumulator {
  TZKEditMultiEx* iface = nullptr;
  int32_t total = 0;
  void inAdd(TData& d, uint16_t) {
    total += readInteger(d, TEventLink{}, 0);
    tailEvent(d, makeEventLink<&TZKEditMultiEx::inEvent>(iface, 0), total);
  }
  void varTotal(TData& d, uint16_t) { makeInteger(d, total); }
};

class TSampleSchema : public TClassMultiBase {
 public:
  explicit TSampleSchema(TZKMultiElementEx* container) {
    Boundary = new TZKEditMultiEx;
    Boundary->Container = container;
    Boundary->Owner = this;
    Boundary->outWork.resize(1);
    Boundary->dataInner.resize(2);
    acc.iface = Boundary;
    Boundary->outWork[0] = makeEventLink<&TAccumulator::inAdd>(&acc);
    Boundary->dataInner[0] = makeEventLink<&TAccumulator::varTotal>(&acc);
    ++liveInstances;
    addStartProc([] {});
  }
  ~TSampleSchema() override {
    delete Boundary;
    --liveInstances;
  }
  TAccumulator acc;
};

TZKEditMultiEx* makeSample(TZKMultiElementEx* container, void*, void*) {
  return (new TSampleSchema(container))->Boundary;
}

class ContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Started = false;
    StartList.clear();
  }
  void TearDown() override {
    StartList.clear();
    Started = false;
  }
};

TEST_F(ContainerTest, PersistentInstanceKeepsStateForwardsPointsAndGoesWithIt) {
  TDispatchScope on;
  TRecorder out;
  {
    TZKMultiElementEx container(nullptr);
    container.outEvent.resize(2);
    container.outEvent[0] = out.link();
    container.setFactory(&makeSample);
    EXPECT_EQ(liveInstances, 1);
    ASSERT_EQ(container.Instances.size(), 1u);
    EXPECT_EQ(container.Current, container.Instances[0]);
    EXPECT_EQ(StartList.size(), 1u);  // not started: left for runStartProcs

    TData d = integerData(2);
    container.inWork(d, 0);
    d = integerData(3);
    container.inWork(d, 0);
    ASSERT_EQ(out.received.size(), 2u);
    EXPECT_EQ(out.received[1].IntValue, 5);
    EXPECT_EQ(d.IntValue, 5);  // the tail event ran in the caller's loop

    TData v;
    container.varPoint(v, 0);
    EXPECT_EQ(v.IntValue, 5);
    container.varPoint(v, 1);  // inner provider not linked
    EXPECT_EQ(v.Kind, TDataKind::Break);
    TData e;
    EXPECT_EQ(readInteger(e, makeEventLink<&TZKMultiElementEx::varPoint>(&container, 1), 8), 8);
    container.varPoint(v, 9);  // beyond the array: unconnected
    EXPECT_EQ(v.Kind, TDataKind::Break);
  }
  // Destroying the container deletes its instance and fires nothing.
  EXPECT_EQ(liveInstances, 0);
  EXPECT_EQ(out.received.size(), 2u);
}

}  // namespace
