#include "zkIf_else.h"

#include "compareData.h"

void TZKIf_else::inCompare(TData& d, uint16_t) {
  const TData arrived = d;
  TData first;
  TData second;
  readValue(d, dataOp1, &Op1, first);
  readValue(d, dataOp2, &Op2, second);
  tailEvent(d, compareData(first, second, Type) ? outTrue : outFalse, arrived);
}
