// Joining the pieces in which an answer arrives.
#include <gtest/gtest.h>

#include "elements/zkStrJoin.h"
#include "support/recorder.h"

namespace {

// Steps: a piece to add, "|" a quiet gap (flush), "~" a new block (clear).
// What comes out: each joined text, and "." for each wait.
std::vector<std::string> join(uint8_t lineEnd, const std::vector<std::string>& steps) {
  TDispatchScope on;
  TZKStrJoin joiner;
  joiner.LineEnd = lineEnd;
  TRecorder out;
  joiner.outJoined = out.link(0);
  joiner.outWaiting = out.link(1);
  for (const std::string& step : steps) {
    if (step == "|") {
      fireEvent(makeEventLink<&TZKStrJoin::inFlush>(&joiner));
    } else if (step == "~") {
      fireEvent(makeEventLink<&TZKStrJoin::inClear>(&joiner));
    } else {
      fireEvent(makeEventLink<&TZKStrJoin::inAdd>(&joiner), step);
    }
  }
  std::vector<std::string> seen;
  for (size_t i = 0; i < out.received.size(); ++i)
    seen.push_back(out.indexes[i] == 0 ? toString(out.received[i]) : ".");
  return seen;
}

using Texts = std::vector<std::string>;

// Lines: complete at a line end (a CR waits for its LF) or at the gap; an
// empty read is nothing; a gap with nothing held sends nothing.
TEST(StrJoin, LinesEndAtALineEndOrAQuietGap) {
  EXPECT_EQ(join(1, {"QUILMATR", "ONX M1 V2"}), (Texts{".", "."}));
  EXPECT_EQ(join(1, {"QUILMATR", "", "ONX M1 V2", "|", "|"}),
            (Texts{".", ".", "QUILMATRONX M1 V2"}));
  EXPECT_EQ(join(1, {"A B C\r", "\nD", "|"}), (Texts{".", "A B C\r\nD"}));
  EXPECT_EQ(join(1, {"A\rB", "C\n"}), (Texts{"A\rB", "C\n"}));
  EXPECT_EQ(join(1, {"A", "|", "B", "~", "|"}), (Texts{".", "A", "."}));
  EXPECT_EQ(join(1, {""}), Texts{});
}

// Upload answers: the whole text since the block began, after every piece.
TEST(StrJoin, AnswersGrowUntilTheBlockStartsAgain) {
  EXPECT_EQ(join(0, {"\x4B", "", "\x37", "~", "FZ"}), (Texts{"\x4B", "\x4B\x37", "FZ"}));
}

}  // namespace
