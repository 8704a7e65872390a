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
    mask.IgnoreCase = 1;
    mask.outTrue = out.link(1);
    mask.outFalse = out.link(0);
  }
  bool matches(const std::string& pattern, const std::string& text) {
    mask.Mask = pattern;
    out.received.clear();
    out.indexes.clear();
    fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), text);
    EXPECT_EQ(out.received.size(), 1u);
    EXPECT_EQ(out.received.at(0).StrValue, text);  // as received, not folded
    return out.indexes.at(0) == 1;
  }
};

// The program's masks are plain texts (the identity word, the running check
// sum) compared with case ignored; the device's text may hold any byte, a
// wildcard too.
TEST_F(TMaskFixture, WholeTextsCaseFoldedWildcardsOnlyInTheMask) {
  const struct {
    std::string pattern, text;
    bool match;
  } cases[] = {
      {"QUILMATRONX", "QuilmatronX", true},
      {"QUILMATRONX", "QUILMATRONX ", false},
      {"QUILMATRONX", "QUILMATRON", false},
      {"4B37465A", "4b37465a", true},
      {utf8To1251("ЁЛКА"), utf8To1251("ёлка"), true},
      {"", "", true},
      {"", "x", false},
      {"A", std::string("A\0", 2), false},
      {"A#", "A*", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(matches(c.pattern, c.text), c.match)
        << "\"" << c.pattern << "\" \"" << c.text << "\"";
  }
}

// The upload replaces its masks with the running check sum as it goes.
TEST_F(TMaskFixture, TheMaskIsReplacedThroughItsInput) {
  mask.Mask = "SZ";
  fireEvent(makeEventLink<&TZKStrMask::inMask>(&mask), "4B37");
  fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), "4b37");
  EXPECT_EQ(out.indexes, std::vector<uint16_t>{1});
}

}  // namespace
