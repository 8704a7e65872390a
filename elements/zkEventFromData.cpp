#include "zkEventFromData.h"

#include <utility>

TZKEventFromData::~TZKEventFromData() { freeChain(stored_); }

void TZKEventFromData::inStore(TData& d, uint16_t) {
  TData value;
  readAll(d, dataStore, nullptr, value);
  if (value.Next == nullptr) {
    // A single value (the running check sum, once per image byte) is its
    // own copy already.
    stored_ = std::move(value);
    return;
  }
  // Copy before releasing: the new chain may be the one stored here (a store
  // linked to its own varStored).
  TData copy;
  copyChain(copy, value);
  std::swap(stored_, copy);
  freeChain(copy);
}

void TZKEventFromData::varStored(TData& d, uint16_t) {
  fireEvent(outQuery, d);
  d = stored_;
}
