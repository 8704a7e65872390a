#include "compareData.h"

#include <string_view>

#include "runtime/helpers.h"

namespace {

// Ordering comparisons on a three-way result (negative, zero, positive).
bool orderHolds(int order, uint8_t type) {
  switch (type) {
    case TCompareType::Equal:
      return order == 0;
    case TCompareType::Less:
      return order < 0;
    case TCompareType::Greater:
      return order > 0;
    case TCompareType::LessOrEqual:
      return order <= 0;
    case TCompareType::GreaterOrEqual:
      return order >= 0;
    case TCompareType::NotEqual:
      return order != 0;
    default:
      return false;
  }
}

template <class T>
int threeWay(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

bool compareStrings(std::string_view a, std::string_view b, uint8_t type) {
  if (type == TCompareType::Equal) return a == b;
  if (type == TCompareType::NotEqual) return a != b;
  return orderHolds(compareNoCase(a, b), type);
}

}  // namespace

bool compareData(const TData& a, const TData& b, uint8_t type) {
  switch (kindOf(a)) {
    case TDataKind::Null:
      return kindOf(b) == TDataKind::Null;
    case TDataKind::Integer:
      return orderHolds(threeWay(a.IntValue, toInteger(b)), type);
    case TDataKind::String:
      // A string b is compared in place; anything else is converted first.
      if (kindOf(b) == TDataKind::String) return compareStrings(a.StrValue, b.StrValue, type);
      return compareStrings(a.StrValue, toString(b), type);
    case TDataKind::Real: {
      // NaN compares unordered: only "not equal" holds.
      const double x = a.RealValue;
      const double y = toReal(b);
      if (x != x || y != y) return type == TCompareType::NotEqual;
      return orderHolds(threeWay(x, y), type);
    }
    default:
      return false;
  }
}
