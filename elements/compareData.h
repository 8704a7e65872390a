// The comparison shared by the comparing elements.
#pragma once

#include <cstdint>

#include "runtime/data.h"

namespace TCompareType {
enum : uint8_t {
  Equal = 0,
  Less = 1,
  Greater = 2,
  LessOrEqual = 3,
  GreaterOrEqual = 4,
  NotEqual = 5,
};
}  // namespace TCompareType

// Compares a with b (a first) under the comparison type. The kind of a decides
// how b is read: NULL equals only NULL whatever the type; an integer, string or
// real a converts b to its own kind. Strings are equal only byte for byte, but
// are ordered with ASCII letters folded. Other kinds of a, and types above 5,
// are false.
bool compareData(const TData& a, const TData& b, uint8_t type);
