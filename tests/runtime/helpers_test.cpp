// Shared helpers: text search and replace, fonts, diagnostics, resources.
#include <gtest/gtest.h>

#include "runtime/helpers.h"
#include "runtime/memoryStream.h"
#include "runtime/systemSeams.h"

namespace {

// Replaces the platform seams for one test.
class SeamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = systemSeams();
    messages().clear();
    systemSeams().messageBox = [](const std::string& text, const std::string& caption) {
      messages().push_back(caption + ":" + text);
    };
    resetFontHeightCache();
  }
  void TearDown() override {
    systemSeams() = saved_;
    resetFontHeightCache();
  }
  static std::vector<std::string>& messages() {
    static std::vector<std::string> list;
    return list;
  }

 private:
  TSystemSeams saved_{};
};

TEST(Helpers, CompareNoCaseFoldsAsciiOnlyAndStopsAtNul) {
  EXPECT_EQ(compareNoCase("Quilmatronx", "QUILMATRONX"), 0);
  EXPECT_EQ(compareNoCase(std::string_view("ab\0x", 4), "AB"), 0);
  EXPECT_GT(compareNoCase("b", "A"), 0);
  EXPECT_LT(compareNoCase("a", "ab"), 0);
  EXPECT_NE(compareNoCase("\xE0", "\xC0"), 0);  // Cyrillic is not folded here
}

TEST(Helpers, PosFrom) {
  EXPECT_EQ(posFrom("b", "abcb", 1), 2u);
  EXPECT_EQ(posFrom("b", "abcb", 3), 4u);
  EXPECT_EQ(posFrom("b", "abcb", 5), 0u);
  EXPECT_EQ(posFrom("", "abc", 1), 0u);
  EXPECT_EQ(posFrom("x", "abc", 1), 0u);
}

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

TEST(Helpers, CallIfAssigned) {
  std::function<int(int, int)> add = [](int a, int b) { return a + b; };
  EXPECT_EQ(callIfAssigned(add, 2, 3), 5);
  add = nullptr;
  EXPECT_EQ(callIfAssigned(add, 2, 3), 0);
}

TEST_F(SeamsTest, FontHeightUsesScreenResolutionOnce) {
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
}

TEST_F(SeamsTest, DebugMessageIsCaptionedStringDebug) {
  debugMessage("hello");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "String-Debug:hello");
}

TEST_F(SeamsTest, ResourceStreamHoldsBytesAtPositionZero) {
  static const std::string blob("r\0s", 3);
  registerEmbeddedResource("TESTBLOB", blob);
  systemSeams().findResource = &findEmbeddedResource;
  TMemoryStream* stream = loadResourceStream("TESTBLOB");
  EXPECT_EQ(stream->size(), 3u);
  EXPECT_EQ(stream->position(), 0u);
  EXPECT_EQ(stream->bytes(), blob);
  delete stream;
  TMemoryStream* missing = loadResourceStream("NOPE");
  EXPECT_EQ(missing->size(), 0u);
  delete missing;
}

TEST(MemoryStream, ReadWriteSeek) {
  TMemoryStream s;
  EXPECT_EQ(s.write("abcd", 4), 4u);
  s.seek(1, TMemoryStream::Origin::Begin);
  char buf[8] = {};
  EXPECT_EQ(s.read(buf, 8), 3u);
  EXPECT_STREQ(buf, "bcd");
  EXPECT_EQ(s.read(buf, 1), 0u);
  s.seek(2, TMemoryStream::Origin::End);
  EXPECT_EQ(s.size(), 6u);
  s.seek(-10, TMemoryStream::Origin::Current);
  EXPECT_EQ(s.position(), 0u);
  s.write("XY", 2);
  EXPECT_EQ(s.bytes(), std::string("XYcd\0\0", 6));
}

}  // namespace
