// Joining the pieces in which an answer arrives.
#include <gtest/gtest.h>

#include "elements/zkStrJoin.h"
#include "support/recorder.h"

namespace {

// Steps: a piece, "|" a gap (flush), "~" a new block (clear); out: joined texts, "." a wait.
// A CR at the end waits for its LF; with no line end a text grows until the block restarts.
TEST(StrJoin, PiecesUntilALineEndAGapOrANewBlock) {
  using Texts = std::vector<std::string>;
  const std::tuple<uint8_t, Texts, Texts> cases[] = {
      {1, {"QUILMATR", "", "ONX M1 V2", "|", "|"}, {".", ".", "QUILMATRONX M1 V2"}},
      {1, {"A B C\r", "\nD", "|"}, {".", "A B C\r\nD"}},
      {1, {"A\rB", "C\n"}, {"A\rB", "C\n"}},
      {1, {"A", "~", "|"}, {"."}},
      {0, {"\x4B", "", "\x37", "~", "FZ"}, {"\x4B", "\x4B\x37", "FZ"}},
  };
  for (const auto& [lineEnd, steps, expected] : cases) {
    TDispatchScope on;
    TZKStrJoin joiner;
    joiner.LineEnd = lineEnd;
    TRecorder out;
    joiner.outJoined = out.link(0);
    joiner.outWaiting = out.link(1);
    for (const std::string& step : steps) {
      if (step == "|") fireEvent(makeEventLink<&TZKStrJoin::inFlush>(&joiner));
      if (step == "~") fireEvent(makeEventLink<&TZKStrJoin::inClear>(&joiner));
      if (step != "|" && step != "~") fireEvent(makeEventLink<&TZKStrJoin::inAdd>(&joiner), step);
    }
    Texts seen;
    for (size_t i = 0; i < out.received.size(); ++i)
      seen.push_back(out.indexes[i] == 0 ? toString(out.received[i]) : ".");
    EXPECT_EQ(seen, expected) << steps.front();
  }
}

}  // namespace
