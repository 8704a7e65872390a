// Font heights from the screen resolution.
#include <gtest/gtest.h>

#include "runtime/helpers.h"
#include "runtime/systemSeams.h"

namespace {

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
