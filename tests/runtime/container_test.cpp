// Sub-schema containers and their boundary elements.
#include <gtest/gtest.h>

#include "runtime/helpers.h"
#include "runtime/startList.h"
#include "runtime/systemSeams.h"
#include "runtime/zkMultiElementEx.h"
#include "support/recorder.h"

namespace {

int liveInstances = 0;
std::vector<std::string> boxes;

// Keeps a running total, reports it on output 0 and answers it on data
// output 0; input 1 asks the outside (output 1) to do something.
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
    Boundary->outWork.resize(2);
    Boundary->dataInner.resize(2);
    acc.iface = Boundary;
    Boundary->outWork[0] = makeEventLink<&TAccumulator::inAdd>(&acc);
    Boundary->outWork[1] = makeEventLink<&TZKEditMultiEx::inEvent>(Boundary, 1);
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
    saved_ = systemSeams();
    boxes.clear();
    systemSeams().messageBox = [](const std::string& text, const std::string& caption) {
      boxes.push_back(caption + ":" + text);
    };
    Started = false;
    StartList.clear();
  }
  void TearDown() override {
    systemSeams() = saved_;
    StartList.clear();
    Started = false;
  }
  TSystemSeams saved_{};
};

TEST_F(ContainerTest, PersistentInstanceKeepsStateAndForwardsPoints) {
  TZKMultiElementEx container(nullptr);
  container.outEvent.resize(2);
  TRecorder out;
  container.outEvent[0] = out.link();
  container.setFactory(&makeSample);
  EXPECT_EQ(liveInstances, 1);
  ASSERT_EQ(container.Instances.size(), 1u);
  EXPECT_EQ(container.Current, container.Instances[0]);
  EXPECT_EQ(StartList.size(), 1u);  // not started: left for runStartProcs

  TDispatchScope on;
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

TEST_F(ContainerTest, TemporaryInstancesLiveForOneCall) {
  TZKMultiElementEx container(nullptr);
  container.InstanceMode = 1;
  container.outEvent.resize(1);
  TRecorder out;
  container.outEvent[0] = out.link();
  container.setFactory(&makeSample);
  EXPECT_EQ(liveInstances, 0);
  TDispatchScope on;
  Started = true;
  TData d = integerData(4);
  container.inWork(d, 0);
  d = integerData(4);
  container.inWork(d, 0);
  EXPECT_EQ(liveInstances, 0);
  ASSERT_EQ(out.received.size(), 2u);
  EXPECT_EQ(out.received[1].IntValue, 4);  // no state survives
  EXPECT_TRUE(StartList.empty());          // run at once after Started
  TData v;
  container.varPoint(v, 0);
  EXPECT_EQ(v.IntValue, 0);
  EXPECT_EQ(liveInstances, 0);
}

TEST_F(ContainerTest, SelfDestructionIsRefused) {
  TZKMultiElementEx container(nullptr);
  container.outEvent.resize(2);
  struct TDeleter {
    TZKMultiElementEx* container;
    void inWork(TData&, uint16_t) {
      TData which = integerData(0);
      container->deleteInstance(which, 0xFFFF);
    }
  } deleter{&container};
  container.outEvent[1] = makeEventLink<&TDeleter::inWork>(&deleter);
  container.setFactory(&makeSample);
  TDispatchScope on;
  TData d;
  container.inWork(d, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "String-Debug:Self destruction is not allowed !!!");
  EXPECT_EQ(liveInstances, 1);
  d = integerData(1);
  container.inWork(d, 0);  // still working
  EXPECT_EQ(d.IntValue, 1);
}

TEST_F(ContainerTest, DeletionBoundsAndDestructionFireNoInputs) {
  TDispatchScope on;
  TRecorder seen;
  {
    TZKMultiElementEx container(nullptr);
    container.outEvent.resize(1);
    container.outEvent[0] = seen.link();
    container.setFactory(&makeSample);
    TData v = integerData(5);
    container.deleteInstance(v, 0);
    v = integerData(-1);
    container.deleteInstance(v, 0);
    EXPECT_EQ(liveInstances, 1);
  }
  EXPECT_EQ(liveInstances, 0);
  EXPECT_TRUE(seen.received.empty());

  TZKMultiElementEx container(nullptr);
  container.outEvent.resize(1);
  container.outEvent[0] = seen.link();
  container.setFactory(&makeSample);
  TData v = integerData(0);
  container.deleteInstance(v, 0);  // input 0 lets the instance react first
  EXPECT_EQ(seen.received.size(), 1u);
  EXPECT_EQ(container.Current, nullptr);
  EXPECT_TRUE(container.Instances.empty());
  EXPECT_EQ(liveInstances, 0);
}

}  // namespace
