#include "zkCommutator.h"

void TZKCommutator::setOutCount(uint16_t n) {
  if (n > 0) outEvent.resize(n);
  OutCount = static_cast<uint8_t>(n);
}

void TZKCommutator::inWork(TData& d, uint16_t index) {
  // The reads use their own empty record so the incoming value stays intact.
  TData r;
  if (readInteger(r, dataEnable, 1) == 0) return;
  const int32_t output = readInteger(r, dataOutput, -1);
  const int32_t input = readInteger(r, dataInput, -1);
  if (input >= 0 && input != index) return;
  if (output >= 0) {
    if (output < OutCount) {
      r = d;
      fireEvent(outEvent[static_cast<size_t>(output)], r);
    }
    return;
  }
  for (size_t j = 0; j < OutCount; ++j) {
    r = d;
    fireEvent(outEvent[j], r);
  }
}
