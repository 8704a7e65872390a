// Wildcard masks and case-blind matching in Windows-1251.
#include <gtest/gtest.h>

#include "elements/zkStrMask.h"
#include "runtime/codepage.h"
#include "support/recorder.h"

namespace {

struct TMaskFixture : ::testing::Test {
  TDispatchScope on;
  TZKStrMask mask;
  TRecorder out;  // index 1 = outTrue, 0 = outFalse
  TMaskFixture() {
    mask.outTrue = out.link(1);
    mask.outFalse = out.link(0);
  }
  bool matches(const std::string& pattern, const std::string& text, uint8_t ignoreCase = 0) {
    mask.Mask = pattern;
    mask.IgnoreCase = ignoreCase;
    out.received.clear();
    out.indexes.clear();
    fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), text);
    EXPECT_EQ(out.received.size(), 1u);
    EXPECT_EQ(out.received.at(0).StrValue, text);  // as received, not folded
    return out.indexes.at(0) == 1;
  }
};

// The program's masks are plain texts (the identity word, the running check
// sum) compared with case ignored; the device's text may hold any byte.
TEST_F(TMaskFixture, WholeTextsCaseFoldedOnlyWhenAskedWildcardsOnlyInTheMask) {
  const struct {
    std::string pattern, text;
    uint8_t ignoreCase;
    bool match;
  } cases[] = {
      {"QUILMATRONX", "QuilmatronX", 1, true},
      {"QUILMATRONX", "QUILMATRONX ", 1, false},
      {"QUILMATRONX", "QUILMATRON", 1, false},
      {"QUILMATRONX", "quilmatronx", 0, false},
      {"QUILMATRONX", "quilmatronx", 2, false},  // only 1 folds
      {"4B37465A", "4b37465a", 1, true},
      {utf8To1251("ЁЛКА"), utf8To1251("ёлка"), 1, true},
      {"", "", 0, true},
      {"", "x", 0, false},
      {"A", std::string("A\0", 2), 0, false},
      {"*", std::string("a\0b", 3), 0, true},
      {"A?C", "ABC", 0, true},
      {"##", "1a", 0, false},
      {"a*b*c", "aXcYb", 0, false},
      {"A#", "A*", 0, false},
      {"A?", "A#", 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(matches(c.pattern, c.text, c.ignoreCase), c.match)
        << "\"" << c.pattern << "\" \"" << c.text << "\" " << int{c.ignoreCase};
  }
}

// The upload replaces its masks with the running check sum as it goes.
TEST_F(TMaskFixture, TheMaskIsReplacedThroughItsInput) {
  mask.Mask = "SZ";
  mask.IgnoreCase = 1;
  fireEvent(makeEventLink<&TZKStrMask::inMask>(&mask), 0x4B37);
  EXPECT_EQ(mask.Mask, "19255");
  fireEvent(makeEventLink<&TZKStrMask::inMask>(&mask), "4B37");
  fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), "4b37");
  EXPECT_EQ(out.indexes, std::vector<uint16_t>{1});
}

}  // namespace
