// Turns an integer into text: mode 4 the one byte with its low 8 bits, mode 6
// its hexadecimal digits (as unsigned 32-bit). Other modes send nothing.
#pragma once

#include <cstdint>

#include "runtime/link.h"

class TZKConvertor {
 public:
  uint8_t Mode = 0;
  int32_t Digits = 0;  // mode 6: at least Digits mod 16 digits, never fewer than 1
  TEventLink dataValue;
  TEventLink outResult;

  void inConvert(TData& d, uint16_t index);
};
