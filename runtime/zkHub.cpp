#include "zkHub.h"

#include <utility>

void TZKHub::setOutCount(uint16_t n) {
  outEvent.resize(n);
  OutCount = static_cast<uint8_t>(n);
}

void TZKHub::inWork(TData& d, uint16_t) {
  for (size_t i = 0; i < OutCount; ++i) fireEvent(outEvent[i], std::as_const(d));
}
