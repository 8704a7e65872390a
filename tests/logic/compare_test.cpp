// The shared comparison: the first operand's kind reads the second.
#include <gtest/gtest.h>

#include <limits>

#include "elements/compareData.h"
#include "support/recorder.h"

namespace {

using namespace TCompareType;

TEST(CompareData, FirstOperandKindDecides) {
  const TData nan = realData(std::numeric_limits<double>::quiet_NaN());
  const std::tuple<TData, TData, uint8_t, bool> cases[] = {
      {integerData(3), integerData(3), Equal, true},
      {integerData(3), integerData(4), Equal, false},
      {integerData(3), integerData(4), NotEqual, true},
      {integerData(3), stringData("3"), Equal, true},
      {stringData("3"), integerData(3), Equal, true},
      {integerData(0), stringData("abc"), Equal, true},
      // Strings are equal byte for byte.
      {stringData("a"), stringData("A"), Equal, false},
      {stringData(std::string("a\0b", 3)), stringData("a"), Equal, false},
      // NULL equals only NULL; an integer reads NULL as 0.
      {TData{}, TData{}, Equal, true},
      {TData{}, integerData(0), Equal, false},
      {integerData(0), TData{}, Equal, true},
      {nan, nan, Equal, false},
  };
  for (const auto& [a, b, type, result] : cases) {
    EXPECT_EQ(compareData(a, b, type), result)
        << toString(a) << " " << int{type} << " " << toString(b);
  }
}

}  // namespace
