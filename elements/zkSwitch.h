// Two-state toggle: each call flips the state and sends the value of the new
// state, first on outSwitch and then on outOn or outOff.
#pragma once

#include <cstdint>

#include "runtime/link.h"

class TZKSwitch {
 public:
  TData DataOn;   // default for dataOn
  TData DataOff;  // default for dataOff
  TEventLink dataOff;
  TEventLink dataOn;
  TEventLink outOff;
  TEventLink outOn;
  TEventLink outSwitch;

  // Configuration after DataOn and DataOff are set: 0 starts on, anything
  // else starts off; the current value follows the state.
  void setDefault(uint8_t value);

  void inSwitch(TData& d, uint16_t index);
  void varState(TData& d, uint16_t index);

 private:
  bool on_ = false;
  TData current_;
};
