// Wildcard masks and case-blind matching in Windows-1251.
#include <gtest/gtest.h>

#include "elements/zkStrMask.h"
#include "runtime/codepage.h"
#include "support/recorder.h"

namespace {

struct TMaskFixture : ::testing::Test {
  TDispatchScope on;
  TZKStrMask mask;
  TRecorder out;  // index 1 = outTrue, 0 = outFalse, 2 = outPrefix
  TMaskFixture() {
    mask.IgnoreCase = 1;
    mask.outTrue = out.link(1);
    mask.outFalse = out.link(0);
    mask.outPrefix = out.link(2);
  }
  uint16_t matches(const std::string& pattern, const std::string& text) {
    mask.Mask = pattern;
    out.received.clear();
    out.indexes.clear();
    fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), text);
    EXPECT_EQ(out.received.size(), 1u);
    EXPECT_EQ(out.received.at(0).StrValue, text);  // as received, not folded
    return out.indexes.at(0);
  }
};

// The program's masks are plain texts (the identity word, the running check
// sum) compared with case ignored; the device's text may hold any byte, a
// wildcard too. A text that is the beginning of a match (an answer still
// arriving) is told apart when outPrefix is linked.
TEST_F(TMaskFixture, WholeTextsCaseFoldedWildcardsOnlyInTheMask) {
  const struct {
    std::string pattern, text;
    uint16_t match;
  } cases[] = {
      {"QUILMATRONX", "QuilmatronX", 1},
      {"QUILMATRONX", "QUILMATRONX ", 0},
      {"QUILMATRONX", "QUILMATRON", 2},
      {"4B37465A", "4b37465a", 1},
      {"4B37465A", "4B37", 2},
      {"4B37465A", "4B38", 0},
      {"4B37465A", "4B37465A46", 0},
      {utf8To1251("ЁЛКА"), utf8To1251("ёлка"), 1},
      {"", "", 1},
      {"", "x", 0},
      {"A", std::string("A\0", 2), 0},
      {"A#", "A*", 0},
      {"A#", "a", 2},
      {"*Z", "abc", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(matches(c.pattern, c.text), c.match)
        << "\"" << c.pattern << "\" \"" << c.text << "\"";
  }
}

}  // namespace
