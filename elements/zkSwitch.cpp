#include "zkSwitch.h"

void TZKSwitch::setDefault(uint8_t value) {
  on = value == 0;
  current = on ? DataOn : DataOff;
}

void TZKSwitch::inSwitch(TData& d, uint16_t) {
  on = !on;
  const bool nowOn = on;
  readValue(d, nowOn ? dataOn : dataOff, nowOn ? &DataOn : &DataOff, current);
  d = current;
  fireEvent(outSwitch, d);
  // The state event carries the current value whatever outSwitch's receivers
  // did to d.
  tailEvent(d, nowOn ? outOn : outOff, current);
}

void TZKSwitch::varState(TData& d, uint16_t) { d = current; }
