// The shared comparison: how the first operand's kind reads the second.
#include <gtest/gtest.h>

#include <limits>

#include "elements/compareData.h"
#include "support/recorder.h"

namespace {

using namespace TCompareType;

TEST(CompareData, FirstOperandKindDecides) {
  const TData nan = realData(std::numeric_limits<double>::quiet_NaN());
  TData stream;
  stream.Kind = TDataKind::Stream;
  const struct {
    TData a, b;
    uint8_t type;
    bool result;
  } cases[] = {
      {integerData(3), stringData("3"), Equal, true},
      {stringData("3"), integerData(3), Equal, true},
      {integerData(0), stringData("abc"), Equal, true},
      {realData(2.5), stringData("2.5"), Equal, true},
      // "10" as a string is ordered before "9"; as an integer it is larger.
      {stringData("10"), integerData(9), Less, true},
      {integerData(10), stringData("9"), Greater, true},
      // Strings are equal byte for byte but ordered with letters folded.
      {stringData("b"), stringData("A"), Greater, true},
      {stringData("a"), stringData("A"), Equal, false},
      {stringData("abc"), stringData("ABC"), LessOrEqual, true},
      {stringData(std::string("a\0b", 3)), stringData("a"), Equal, false},
      // NULL equals only NULL; an integer reads NULL as 0.
      {TData{}, integerData(0), Equal, false},
      {integerData(0), TData{}, NotEqual, false},
      {integerData(0), TData{}, Equal, true},
      // Not a number is only unequal.
      {nan, nan, Equal, false},
      {nan, realData(1), NotEqual, true},
      // Other kinds and types are false.
      {stream, stream, Equal, false},
      {integerData(1), integerData(1), 6, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareData(c.a, c.b, c.type), c.result)
        << toString(c.a) << " " << int{c.type} << " " << toString(c.b);
  }
  for (uint8_t type = 0; type <= 7; ++type) EXPECT_TRUE(compareData(TData{}, TData{}, type));
}

TEST(CompareData, EveryTypeComparesFirstWithSecond) {
  const struct {
    uint8_t type;
    bool less, equal, greater;
  } table[] = {{Equal, false, true, false},         {Less, true, false, false},
               {Greater, false, false, true},       {LessOrEqual, true, true, false},
               {GreaterOrEqual, false, true, true}, {NotEqual, true, false, true}};
  for (const auto& row : table) {
    EXPECT_EQ(compareData(integerData(-5), integerData(4), row.type), row.less);
    EXPECT_EQ(compareData(integerData(4), integerData(4), row.type), row.equal);
    EXPECT_EQ(compareData(integerData(4), integerData(-5), row.type), row.greater);
  }
}

}  // namespace
