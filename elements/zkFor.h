// Counted loop: fires outEvent with each index from the start to the end,
// then outEnd with the first index outside the range.
#pragma once

#include <cstdint>

#include "runtime/link.h"

class TZKFor {
 public:
  int32_t Start = 0;         // default for dataStart
  int32_t End = 0;           // default for dataEnd
  int32_t Step = 1;          // 0 runs no iteration
  uint8_t IncludeEnd = 1;    // 0 leaves the end value out of the range
  uint8_t UseEventData = 1;  // 0 discards the incoming value before reading
  TEventLink dataEnd;
  TEventLink dataStart;
  TEventLink outEvent;
  TEventLink outEnd;

  // Each iteration's receivers finish before the next index is fired.
  void inFor(TData& d, uint16_t index);
};
