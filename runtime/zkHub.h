// Copies one event to several receivers, first to last.
#pragma once

#include <cstdint>
#include <vector>

#include "link.h"

class TZKHub {
 public:
  uint8_t OutCount = 0;
  uint8_t InCount = 0;  // drawn in the schema only
  std::vector<TEventLink> outEvent;

  void setOutCount(uint16_t n);
  // Every output gets its own copy of the incoming value and runs its whole
  // chain before the next output fires.
  void inWork(TData& d, uint16_t index);
};
