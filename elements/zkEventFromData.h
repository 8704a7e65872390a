// Stores a value (a whole chain) and hands it out to readers.
#pragma once

#include "runtime/link.h"

class TZKEventFromData {
 public:
  TEventLink dataStore;
  TEventLink outQuery;

  TZKEventFromData() = default;
  ~TZKEventFromData();
  TZKEventFromData(const TZKEventFromData&) = delete;
  TZKEventFromData& operator=(const TZKEventFromData&) = delete;

  // Replaces the stored chain by a deep copy of the linked chain, or of the
  // whole incoming chain.
  void inStore(TData& d, uint16_t index);
  // Fires outQuery with the reader's record first, then answers the stored
  // value; the chain behind it stays owned here.
  void varStored(TData& d, uint16_t index);

 private:
  TData stored_;
};
