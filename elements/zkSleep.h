// Blocks the calling thread for at least Delay microseconds, then passes the
// incoming value on. The thread does nothing else meanwhile, but its owner
// may stop it: a sleep on a thread asked to stop ends at once and passes
// nothing on.
#pragma once

#include <cstdint>

#include "runtime/link.h"

class TZKSleep {
 public:
  int32_t Delay = 0;  // microseconds
  TEventLink outEnd;

  void inSleep(TData& d, uint16_t index);
};
