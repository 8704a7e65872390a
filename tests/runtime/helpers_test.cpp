// Shared helpers: text replacement, fonts.
#include <gtest/gtest.h>

#include "runtime/helpers.h"
#include "runtime/systemSeams.h"

namespace {

TEST(Helpers, ReplaceAllNeverRescansReplacements) {
  EXPECT_EQ(replaceAll("%1%1", "%1", "x%1"), "x%1x%1");
  EXPECT_EQ(replaceAll("aaa", "a", ""), "");
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
  std::vector<size_t> asked;
  const std::string s = replaceAll("a-a-a", "a", "bb", [&](size_t p) {
    asked.push_back(p);
    return p == 4 ? 0 : 1;
  });
  EXPECT_EQ(s, "bb-a-bb");
  EXPECT_EQ(asked, (std::vector<size_t>{1, 4, 6}));
}

TEST(Helpers, FontHeightUsesScreenResolutionOnce) {
  const TSystemSeams saved = systemSeams();
  resetFontHeightCache();
  static int measured = 0;
  systemSeams().screenPixelsPerInch = [] {
    ++measured;
    return 96;
  };
  EXPECT_EQ(fontHeight(10), -13);
  EXPECT_EQ(fontHeight(8), -11);
  EXPECT_EQ(measured, 1);
  resetFontHeightCache();
  systemSeams().screenPixelsPerInch = [] { return 120; };
  EXPECT_EQ(fontHeight(10), -17);
  systemSeams() = saved;
  resetFontHeightCache();
}

}  // namespace
