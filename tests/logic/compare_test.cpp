// The shared comparison: how the first operand's kind reads the second.
#include <gtest/gtest.h>

#include <limits>

#include "elements/compareData.h"
#include "support/recorder.h"

namespace {

TData realData(double v) {
  TData d;
  d.Kind = TDataKind::Real;
  d.RealValue = v;
  return d;
}

TEST(CompareData, FirstOperandKindConvertsTheSecond) {
  EXPECT_TRUE(compareData(integerData(3), stringData("3"), TCompareType::Equal));
  EXPECT_TRUE(compareData(stringData("3"), integerData(3), TCompareType::Equal));
  EXPECT_TRUE(compareData(integerData(0), stringData("abc"), TCompareType::Equal));
  EXPECT_TRUE(compareData(realData(2.5), stringData("2.5"), TCompareType::Equal));
  EXPECT_TRUE(compareData(realData(2.5), integerData(3), TCompareType::Less));
  // "10" as a string is ordered before "9"; as an integer it is larger.
  EXPECT_TRUE(compareData(stringData("10"), integerData(9), TCompareType::Less));
  EXPECT_TRUE(compareData(integerData(10), stringData("9"), TCompareType::Greater));
}

TEST(CompareData, NullEqualsOnlyNullUnderEveryType) {
  for (uint8_t type = 0; type <= 7; ++type) {
    EXPECT_TRUE(compareData(TData{}, TData{}, type)) << int{type};
    EXPECT_FALSE(compareData(TData{}, integerData(0), type)) << int{type};
  }
  EXPECT_FALSE(compareData(integerData(0), TData{}, TCompareType::NotEqual));
  EXPECT_TRUE(compareData(integerData(0), TData{}, TCompareType::Equal));
}

TEST(CompareData, EveryTypeComparesFirstWithSecond) {
  const struct {
    uint8_t type;
    bool less, equal, greater;
  } table[] = {{TCompareType::Equal, false, true, false},
               {TCompareType::Less, true, false, false},
               {TCompareType::Greater, false, false, true},
               {TCompareType::LessOrEqual, true, true, false},
               {TCompareType::GreaterOrEqual, false, true, true},
               {TCompareType::NotEqual, true, false, true}};
  for (const auto& row : table) {
    EXPECT_EQ(compareData(integerData(-5), integerData(4), row.type), row.less);
    EXPECT_EQ(compareData(integerData(4), integerData(4), row.type), row.equal);
    EXPECT_EQ(compareData(integerData(4), integerData(-5), row.type), row.greater);
    EXPECT_EQ(compareData(stringData("abc"), stringData("ABD"), row.type), row.less);
    EXPECT_EQ(compareData(realData(1.5), realData(1.5), row.type), row.equal);
  }
  // Extreme integers compare without overflow.
  EXPECT_TRUE(compareData(integerData(std::numeric_limits<int32_t>::min()),
                          integerData(std::numeric_limits<int32_t>::max()), TCompareType::Less));
}

TEST(CompareData, StringsEqualByteForByteButOrderCaseBlind) {
  EXPECT_TRUE(compareData(stringData("b"), stringData("A"), TCompareType::Greater));
  EXPECT_FALSE(compareData(stringData("a"), stringData("A"), TCompareType::Equal));
  EXPECT_TRUE(compareData(stringData("a"), stringData("A"), TCompareType::NotEqual));
  EXPECT_TRUE(compareData(stringData("abc"), stringData("ABC"), TCompareType::LessOrEqual));
  EXPECT_TRUE(compareData(stringData("abc"), stringData("ABC"), TCompareType::GreaterOrEqual));
  EXPECT_FALSE(
      compareData(stringData(std::string("a\0b", 3)), stringData("a"), TCompareType::Equal));
}

TEST(CompareData, OtherKindsAndTypesAreFalse) {
  TData stream;
  stream.Kind = TDataKind::Stream;
  EXPECT_FALSE(compareData(stream, stream, TCompareType::Equal));
  EXPECT_FALSE(compareData(integerData(1), integerData(1), 6));
  EXPECT_FALSE(compareData(stringData("x"), stringData("x"), 200));
}

TEST(CompareData, NotANumberIsOnlyUnequal) {
  const TData nan = realData(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(compareData(nan, nan, TCompareType::Equal));
  EXPECT_FALSE(compareData(nan, realData(1), TCompareType::LessOrEqual));
  EXPECT_FALSE(compareData(nan, realData(1), TCompareType::GreaterOrEqual));
  EXPECT_TRUE(compareData(nan, realData(1), TCompareType::NotEqual));
}

}  // namespace
