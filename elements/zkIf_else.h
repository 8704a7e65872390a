// Compares two operands and passes the incoming value on to one of two events.
#pragma once

#include <cstdint>

#include "runtime/link.h"

class TZKIf_else {
 public:
  uint8_t Type = 0;  // comparison, see compareData
  TData Op1;         // default for dataOp1
  TData Op2;         // default for dataOp2
  TEventLink dataOp2;
  TEventLink dataOp1;
  TEventLink outTrue;
  TEventLink outFalse;

  // Without links or defaults the operands are the first two values of the
  // incoming chain; either event carries the value as it arrived.
  void inCompare(TData& d, uint16_t index);
};
