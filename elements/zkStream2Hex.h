// Turns the bytes of a text into upper-case hexadecimal digit pairs.
#pragma once

#include <cstdint>

#include "runtime/link.h"

class TZKStream2Hex {
 public:
  TEventLink dataText;
  TEventLink outResult;

  void inConvert(TData& d, uint16_t index);
};
