// Wrapping counter. It may be stepped and reset from different threads at
// once (a timer steps it while a reader resets it), so Count is atomic and
// each step is one read-modify-write whose result is the value sent.
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/link.h"

class TZKCounter {
 public:
  std::atomic<int32_t> Count{0};  // current value
  int32_t Min = 0;
  int32_t Max = 0;
  int32_t Step = 1;
  uint8_t Direction = 0;  // 0 counts up, anything else down
  TEventLink outCount;

  // Configuration: the initial value.
  void setDefault(int32_t value);

  // Up: Count + Step, past Max wraps to Min. Down: Count - Step, below Min
  // wraps to Max. The new value goes out on outCount.
  void inNext(TData& d, uint16_t index);
  // Back to Min (up) or Max (down); nothing is sent.
  void inReset(TData& d, uint16_t index);
  void varCount(TData& d, uint16_t index);

 private:
  int32_t following(int32_t value) const;
};
