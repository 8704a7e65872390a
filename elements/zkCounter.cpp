#include "zkCounter.h"

void TZKCounter::setDefault(int32_t value) { Count.store(value); }

int32_t TZKCounter::following(int32_t value) const {
  // 64-bit arithmetic so a step near the 32-bit limits wraps to the bound
  // instead of overflowing.
  int64_t next;
  if (Direction == 0) {
    next = int64_t{value} + Step;
    if (next > Max) next = Min;
  } else {
    next = int64_t{value} - Step;
    if (next < Min) next = Max;
  }
  // Only a step against the direction can leave the 32-bit range; it wraps.
  return static_cast<int32_t>(next);
}

void TZKCounter::inNext(TData& d, uint16_t) {
  int32_t value = Count.load();
  int32_t next;
  do {
    next = following(value);
  } while (!Count.compare_exchange_weak(value, next));
  tailEvent(d, outCount, next);
}

void TZKCounter::inReset(TData&, uint16_t) { Count.store(Direction == 0 ? Min : Max); }

void TZKCounter::varCount(TData& d, uint16_t) { makeInteger(d, Count.load()); }
