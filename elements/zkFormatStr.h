// Fills the numbered placeholders %1, %2, ... of a format text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/link.h"

class TZKFormatStr {
 public:
  int32_t Count = 0;                  // number of placeholders
  std::vector<TEventLink> dataParam;  // dataParam1.. as entries 0..
  std::string Mask;                   // the format text
  TEventLink outString;

  // Configuration: n placeholders, one data input each.
  void setCount(uint16_t n);

  // Placeholder i takes dataParam i, else the next incoming value; "%%" is a
  // literal percent sign and a placeholder above Count stays as it is.
  void inString(TData& d, uint16_t index);
};
