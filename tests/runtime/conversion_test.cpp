// Conversions between kinds, constructors and chains.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/codepage.h"
#include "runtime/memoryStream.h"
#include "support/recorder.h"

namespace {

TData realData(double v) {
  TData d;
  d.Kind = TDataKind::Real;
  d.RealValue = v;
  return d;
}

TEST(Conversion, StringToInteger) {
  EXPECT_EQ(toInteger(stringData("-12x")), -12);
  EXPECT_EQ(toInteger(stringData("x12")), 0);
  EXPECT_EQ(toInteger(stringData("12abc")), 12);
  EXPECT_EQ(toInteger(stringData(" 12")), 0);
  EXPECT_EQ(toInteger(stringData("+7")), 7);
  EXPECT_EQ(toInteger(stringData("")), 0);
  EXPECT_EQ(toInteger(stringData("4294967297")), 1);  // 32-bit wrap-around
}

TEST(Conversion, RealRoundsTiesToEvenAndSaturates) {
  EXPECT_EQ(toInteger(realData(2.5)), 2);
  EXPECT_EQ(toInteger(realData(3.5)), 4);
  EXPECT_EQ(toInteger(realData(-2.5)), -2);
  EXPECT_EQ(toInteger(realData(1e20)), INT32_MAX);
  EXPECT_EQ(toInteger(realData(-1e20)), INT32_MIN);
  EXPECT_EQ(toInteger(realData(NAN)), 0);
}

TEST(Conversion, OtherKindsGiveNeutralValues) {
  TData d;
  d.Kind = TDataKind::Break;
  d.IntValue = 5;
  d.StrValue = "s";
  EXPECT_EQ(toInteger(d), 0);
  EXPECT_EQ(toReal(d), 0.0);
  EXPECT_EQ(toString(d), "");
  EXPECT_EQ(toIndex(d), -1);
  EXPECT_EQ(toStream(d), nullptr);
}

TEST(Conversion, ToIndex) {
  EXPECT_EQ(toIndex(stringData("0")), 0);
  EXPECT_EQ(toIndex(stringData("00")), 0);
  EXPECT_EQ(toIndex(stringData("abc")), -1);
  EXPECT_EQ(toIndex(stringData("")), -1);
  EXPECT_EQ(toIndex(stringData("3")), 3);
  EXPECT_EQ(toIndex(TData{}), -1);
  EXPECT_EQ(toIndex(integerData(0)), 0);
  EXPECT_EQ(toIndex(realData(1.6)), 2);
}

TEST(Conversion, StringToReal) {
  EXPECT_DOUBLE_EQ(toReal(stringData("1,5")), 15.0);
  EXPECT_DOUBLE_EQ(toReal(stringData("+3")), 3.0);
  EXPECT_DOUBLE_EQ(toReal(stringData("-2.25")), -2.25);
  EXPECT_DOUBLE_EQ(toReal(stringData("1.5.7")), 1.5);
  EXPECT_DOUBLE_EQ(toReal(stringData("2.5e2")), 250.0);
  EXPECT_DOUBLE_EQ(toReal(stringData("")), 0.0);
  EXPECT_DOUBLE_EQ(toReal(integerData(-4)), -4.0);
}

TEST(Conversion, RealToString) {
  EXPECT_EQ(toString(realData(100.0)), "100");
  EXPECT_EQ(toString(realData(0.1)), "0.1");
  EXPECT_EQ(toString(realData(-0.0)), "0");
  EXPECT_EQ(toString(realData(0.5)), "0.5");
  EXPECT_EQ(toString(realData(3.0)), "3");
  EXPECT_EQ(toString(realData(-2.25)), "-2.25");
  EXPECT_EQ(toString(realData(1e20)), "100000000000000000000");
  EXPECT_EQ(toString(realData(0.00125)), "0.00125");
  EXPECT_EQ(toString(realData(1.0 / 3.0)), "0.333333333333333");
  EXPECT_EQ(toString(realData(123456.789)), "123456.789");
  EXPECT_EQ(toString(integerData(-17)), "-17");
}

TEST(Conversion, BoolIsFalseOnlyForIntegerZero) {
  EXPECT_FALSE(toBool(integerData(0)));
  EXPECT_TRUE(toBool(integerData(2)));
  EXPECT_TRUE(toBool(TData{}));
  EXPECT_TRUE(toBool(stringData("0")));
}

TEST(Conversion, ConstructorsClearLinksButKeepOtherPayloads) {
  TData d = chained(stringData("s"), TData{});
  d.TailLink.Index = 3;
  makeInteger(d, 4);
  EXPECT_EQ(d.StrValue, "s");
  EXPECT_EQ(d.Next, nullptr);
  EXPECT_EQ(d.TailLink.Index, 0);
  TMemoryStream stream;
  makeStream(d, &stream);
  EXPECT_EQ(toStream(d), &stream);
  EXPECT_EQ(d.IntValue, 4);
  makeNull(d);
  EXPECT_EQ(kindOf(d), TDataKind::Null);
  EXPECT_EQ(DataKindNames[TDataKind::Break], "Break");
  EXPECT_EQ(DataKindNames[TDataKind::Real], "Real");
}

TEST(Chains, CopyStopsAfterNull) {
  const TData c = integerData(3);
  // NULL ends the copy.
  const TData a = chained(stringData(std::string("a\0", 2)), chained(TData{}, c));
  TData copy;
  copyChain(copy, a);
  ASSERT_NE(copy.Next, nullptr);
  EXPECT_EQ(kindOf(*copy.Next), TDataKind::Null);
  EXPECT_EQ(copy.Next->Next, nullptr);
  EXPECT_EQ(copy.StrValue.size(), 2u);
  freeChain(copy);
  EXPECT_EQ(copy.Next, nullptr);
  EXPECT_NE(a.Next->Next, nullptr) << "freeing the copy left the original whole";

  copyChain(copy, chained(integerData(1), chained(integerData(2), c)));
  int count = 0;
  for (const TData* p = &copy; p; p = p->Next.get()) ++count;
  EXPECT_EQ(count, 3);
}

TEST(Codepage, RoundTripsCyrillicAndAllBytes) {
  const std::string word = utf8To1251("Записать Ёё");
  EXPECT_EQ(word, "\xC7\xE0\xEF\xE8\xF1\xE0\xF2\xFC \xA8\xB8");
  EXPECT_EQ(cp1251ToUtf8(word), "Записать Ёё");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(utf8To1251(cp1251ToUtf8(all)), all);
  EXPECT_EQ(wideTo1251(cp1251ToWide(all)), all);
  EXPECT_EQ(utf8To1251("\xE2\x82\xAC\xE4\xB8\xAD"), "\x88?");  // euro sign, then a CJK char
}

}  // namespace
