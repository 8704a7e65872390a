// Cutting the device's answer into its words.
#include <gtest/gtest.h>

#include "elements/zkMultiStrPart.h"
#include "support/recorder.h"

namespace {

// Rows run in order on one element: a text without delimiter clears what the one before set.
TEST(MultiStrPart, SplitsTheDeviceAnswerIntoItsPartsAndTheRest) {
  using Texts = std::vector<std::string>;
  // The text, the output (1 = outSplit, 0 = outNotFound), the rest and the parts.
  const std::tuple<std::string, uint16_t, std::string, Texts> cases[] = {
      {"QUILMATRONX KVM3 9.5", 1, "", {"QUILMATRONX", "KVM3", "9.5"}},
      {"A  B", 1, "", {"A", "", "B"}},
      {"1 2 3 4 5", 1, "4 5", {"1", "2", "3"}},
      {"ABC", 0, "ABC", {"", "", ""}},
  };
  TDispatchScope on;
  TZKMultiStrPart split;
  TRecorder out;
  split.Delimiters = " ";
  split.setCount(3);
  split.outSplit = out.link(1);
  split.outNotFound = out.link(0);
  for (const auto& [text, output, rest, expected] : cases) {
    out.received.clear();
    out.indexes.clear();
    fireEvent(makeEventLink<&TZKMultiStrPart::inSplit>(&split), text);
    ASSERT_EQ(out.received.size(), 1u) << text;
    EXPECT_EQ(out.indexes[0], output) << text;
    EXPECT_EQ(out.received[0].StrValue, rest) << text;
    Texts parts;
    for (uint16_t i = 0; i < 3; ++i) {
      TData d;
      readData(makeEventLink<&TZKMultiStrPart::varPart>(&split, i), d);
      EXPECT_EQ(kindOf(d), TDataKind::String);
      parts.push_back(d.StrValue);
    }
    EXPECT_EQ(parts, expected) << text;
  }
}

}  // namespace
