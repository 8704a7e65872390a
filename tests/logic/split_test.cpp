// Cutting the device's answer into its words.
#include <gtest/gtest.h>

#include "elements/zkMultiStrPart.h"
#include "support/recorder.h"

namespace {

struct TSplitFixture : ::testing::Test {
  TDispatchScope on;
  TZKMultiStrPart split;
  TRecorder out;  // index 1 = outSplit, 0 = outNotFound
  TSplitFixture() {
    split.Delimiters = " ";
    split.setCount(3);
    split.outSplit = out.link(1);
    split.outNotFound = out.link(0);
  }
  void run(const std::string& text) {
    out.received.clear();
    out.indexes.clear();
    fireEvent(makeEventLink<&TZKMultiStrPart::inSplit>(&split), text);
    ASSERT_EQ(out.received.size(), 1u);
  }
  std::vector<std::string> parts() {
    std::vector<std::string> result;
    for (uint16_t i = 0; i < 3; ++i) {
      TData d;
      readData(makeEventLink<&TZKMultiStrPart::varPart>(&split, i), d);
      EXPECT_EQ(kindOf(d), TDataKind::String);
      result.push_back(d.StrValue);
    }
    return result;
  }
};

TEST_F(TSplitFixture, SplitsTheDeviceAnswer) {
  run("QUILMATRONX KVM3 9.5");
  EXPECT_EQ(out.indexes[0], 1);
  EXPECT_EQ(out.received[0].StrValue, "");
  EXPECT_EQ(parts(), (std::vector<std::string>{"QUILMATRONX", "KVM3", "9.5"}));
}

TEST_F(TSplitFixture, EmptyPartsAndTheRestAfterThem) {
  run("A  B");
  EXPECT_EQ(parts(), (std::vector<std::string>{"A", "", "B"}));
  run("1 2 3 4 5");
  EXPECT_EQ(out.received[0].StrValue, "4 5");
}

TEST_F(TSplitFixture, TextWithoutDelimiterClearsEveryPart) {
  run("A B C");
  run("ABC");
  EXPECT_EQ(out.indexes[0], 0);
  EXPECT_EQ(out.received[0].StrValue, "ABC");
  EXPECT_EQ(parts(), (std::vector<std::string>{"", "", ""}));
}

}  // namespace
