// Sends a fixed or pulled value whatever it receives.
#pragma once

#include "runtime/link.h"

class TZKDoData {
 public:
  TData Data;  // default for dataData
  TEventLink dataData;
  TEventLink outEventData;

  // Sends the linked value, else Data, else NULL; never the incoming value.
  void inDoData(TData& d, uint16_t index);
};
