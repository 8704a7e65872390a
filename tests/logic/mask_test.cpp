// Wildcard masks and case-blind matching in Windows-1251.
#include <gtest/gtest.h>

#include "elements/zkStrMask.h"
#include "runtime/codepage.h"
#include "support/recorder.h"

namespace {

// The program's masks are plain texts (the identity word, the running check sum) compared
// case-blind with any byte in the device's text; outPrefix tells a match still arriving.
TEST(StrMask, WholeTextsCaseFoldedWildcardsOnlyInTheMask) {
  TDispatchScope on;
  TZKStrMask mask;
  TRecorder out;
  mask.IgnoreCase = 1;
  mask.outTrue = out.link(1);
  mask.outFalse = out.link(0);
  mask.outPrefix = out.link(2);
  // The mask, the text and the output: 1 = outTrue, 0 = outFalse, 2 = outPrefix.
  const std::tuple<std::string, std::string, uint16_t> cases[] = {
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
  for (const auto& [pattern, text, match] : cases) {
    SCOPED_TRACE("\"" + pattern + "\" \"" + text + "\"");
    mask.Mask = pattern;
    out.received.clear();
    out.indexes.clear();
    fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), text);
    ASSERT_EQ(out.received.size(), 1u);
    EXPECT_EQ(out.received[0].StrValue, text);  // as received, not folded
    EXPECT_EQ(out.indexes[0], match);
  }
}

}  // namespace
