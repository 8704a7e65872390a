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

TEST_F(TMaskFixture, IdentityWordIgnoringCase) {
  EXPECT_TRUE(matches("QUILMATRONX", "quilmatronx", 1));
  EXPECT_TRUE(matches("QUILMATRONX", "QuilmatronX", 1));
  EXPECT_FALSE(matches("QUILMATRONX", "QUILMATRONX ", 1));
  EXPECT_FALSE(matches("QUILMATRONX", "quilmatronx"));
  EXPECT_FALSE(matches("QUILMATRONX", "quilmatronx", 2));  // only 1 folds
}

TEST_F(TMaskFixture, Wildcards) {
  EXPECT_TRUE(matches("*", ""));
  EXPECT_TRUE(matches("*", "anything"));
  EXPECT_TRUE(matches("", ""));
  EXPECT_FALSE(matches("", "x"));
  EXPECT_TRUE(matches("##", "12"));
  EXPECT_FALSE(matches("##", "1a"));
  EXPECT_FALSE(matches("##", "123"));
  EXPECT_TRUE(matches("A?C", "ABC"));
  EXPECT_FALSE(matches("A?C", "AC"));
  EXPECT_TRUE(matches("*5A", "12A5A"));
  EXPECT_FALSE(matches("*5A", "12A5A5"));
  EXPECT_TRUE(matches("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(matches("a*b*c", "aXcYb"));
  EXPECT_TRUE(matches("**#", "7"));
  EXPECT_TRUE(matches("#*", "9 and more"));
  EXPECT_FALSE(matches("?", ""));
}

TEST_F(TMaskFixture, WildcardBytesInTheTextAreOrdinary) {
  EXPECT_FALSE(matches("A#", "A*"));
  EXPECT_TRUE(matches("A?", "A#"));
  EXPECT_TRUE(matches("*", std::string("a\0b", 3)));
  EXPECT_TRUE(matches(std::string("A\0?", 3), std::string("A\0x", 3)));
  EXPECT_FALSE(matches("A", std::string("A\0", 2)));
}

TEST_F(TMaskFixture, ManyStarsOnALongMismatchStayFast) {
  // Exponential backtracking would not finish; the test passes at once.
  EXPECT_FALSE(matches("*a*a*a*a*a*a*a*a*a*a*b", std::string(2000, 'a')));
}

TEST_F(TMaskFixture, FoldsCyrillicByTableIncludingYo) {
  EXPECT_TRUE(matches(utf8To1251("ЁЛКА Ъ"), utf8To1251("ёлка ъ"), 1));
  EXPECT_TRUE(matches(utf8To1251("привет"), utf8To1251("ПРИВЕТ"), 1));
  EXPECT_FALSE(matches(utf8To1251("Ё"), utf8To1251("Е"), 1));
  EXPECT_FALSE(matches(utf8To1251("ЁЛКА"), utf8To1251("ёлка")));
}

// Every 1251 byte folds to the byte of its lower-case letter, and nothing
// else folds.
TEST_F(TMaskFixture, FoldTableAgreesWithUnicodeForEveryByte) {
  const auto lowerCodePoint = [](char32_t c) -> char32_t {
    if ((c >= U'A' && c <= U'Z') || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x490) return 0x491;
    return c;
  };
  for (int b = 1; b < 256; ++b) {
    const char upper = static_cast<char>(b);
    if (upper == '*' || upper == '?' || upper == '#') continue;
    const char32_t code = cp1251CodePoint(static_cast<unsigned char>(b));
    const char32_t lowered = lowerCodePoint(code);
    if (lowered == code) continue;
    const char expected = cp1251FromCodePoint(lowered);
    EXPECT_TRUE(matches(std::string(1, upper), std::string(1, expected), 1)) << b;
    EXPECT_TRUE(matches(std::string(1, expected), std::string(1, upper), 1)) << b;
  }
  // Symbols do not fold onto letters.
  EXPECT_FALSE(matches("@", "`", 1));
  EXPECT_FALSE(matches("[", "{", 1));
}

TEST_F(TMaskFixture, MaskIsReplacedThroughItsInput) {
  mask.Mask = "SZ";
  mask.IgnoreCase = 1;
  fireEvent(makeEventLink<&TZKStrMask::inMask>(&mask), 0x4B37);
  EXPECT_TRUE(out.received.empty());
  EXPECT_EQ(mask.Mask, "19255");
  fireEvent(makeEventLink<&TZKStrMask::inMask>(&mask), "4B37");
  fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), "4b37");
  ASSERT_EQ(out.indexes, std::vector<uint16_t>{1});
}

TEST_F(TMaskFixture, LinkedTextIsMatchedAndSent) {
  TProvider text;
  text.answer = stringData("SZ");
  mask.dataStr = text.link();
  mask.Mask = "sz";
  mask.IgnoreCase = 1;
  fireEvent(makeEventLink<&TZKStrMask::inCompare>(&mask), "ignored");
  ASSERT_EQ(out.received.size(), 1u);
  EXPECT_EQ(out.indexes[0], 1);
  EXPECT_EQ(out.received[0].StrValue, "SZ");
}

}  // namespace
