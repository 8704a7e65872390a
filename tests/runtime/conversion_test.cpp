// Conversions between kinds, constructors and chains.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/codepage.h"
#include "runtime/memoryStream.h"
#include "support/recorder.h"

namespace {

TEST(Conversion, ToIntegerToIndexToBool) {
  TData broken;
  broken.Kind = TDataKind::Break;
  broken.IntValue = 5;
  const std::tuple<TData, int32_t, int32_t, bool> cases[] = {
      {stringData("-12x"), -12, -12, true},
      {stringData("x12"), 0, -1, true},
      {stringData(" 12"), 0, -1, true},
      {stringData("+7"), 7, 7, true},
      {stringData(""), 0, -1, true},
      {stringData("4294967297"), 1, 1, true},  // 32-bit wrap-around
      {stringData("00"), 0, 0, true},
      {integerData(0), 0, 0, false},
      {integerData(2), 2, 2, true},
      {realData(1e20), INT32_MAX, INT32_MAX, true},  // saturated
      {realData(-1e20), INT32_MIN, INT32_MIN, true},
      {realData(NAN), 0, 0, true},
      {TData{}, 0, -1, true},
      {broken, 0, -1, true},
  };
  for (const auto& [value, integer, index, boolean] : cases) {
    SCOPED_TRACE(int{value.Kind});
    SCOPED_TRACE(toString(value));
    EXPECT_EQ(toInteger(value), integer);
    EXPECT_EQ(toIndex(value), index);
    EXPECT_EQ(toBool(value), boolean);
  }
  EXPECT_EQ(toReal(broken), 0.0);
  EXPECT_EQ(toString(broken), "");
  EXPECT_EQ(toStream(broken), nullptr);
}

TEST(Chains, CopyStopsAfterNull) {
  const TData c = integerData(3);
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
