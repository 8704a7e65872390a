// Sends Data when the incoming value equals Value, otherwise passes the value
// on to the next case.
#pragma once

#include "runtime/link.h"

class TZKCase {
 public:
  TData Data;   // sent on a match; NULL when not set
  TData Value;  // compared against
  TEventLink outMatch;
  TEventLink outNext;

  void inCase(TData& d, uint16_t index);
};
