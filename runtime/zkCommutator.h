// Sends an event to the output (or all outputs) chosen by values read at the
// moment of the call.
#pragma once

#include <cstdint>
#include <vector>

#include "link.h"

class TZKCommutator {
 public:
  uint8_t OutCount = 0;
  uint8_t InCount = 0;  // drawn in the schema only
  std::vector<TEventLink> outEvent;
  TEventLink dataEnable;  // 0 ignores the call; default 1
  TEventLink dataInput;   // the only input that may pass; default -1 = any
  TEventLink dataOutput;  // output to fire; default -1 = all

  // n > 0 resizes the outputs; 0 only silences them.
  void setOutCount(uint16_t n);
  void inWork(TData& d, uint16_t index);
};
