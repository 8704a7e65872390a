#include "zkSwitch.h"

void TZKSwitch::setDefault(uint8_t value) {
  on_ = value == 0;
  current_ = on_ ? DataOn : DataOff;
}

void TZKSwitch::inSwitch(TData& d, uint16_t) {
  on_ = !on_;
  const bool nowOn = on_;
  readValue(d, nowOn ? dataOn : dataOff, nowOn ? &DataOn : &DataOff, current_);
  d = current_;
  fireEvent(outSwitch, d);
  // The state event carries the current value whatever outSwitch's receivers
  // did to d.
  tailEvent(d, nowOn ? outOn : outOff, current_);
}

void TZKSwitch::varState(TData& d, uint16_t) { d = current_; }
