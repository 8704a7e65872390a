#include "zkDoData.h"

void TZKDoData::inDoData(TData& d, uint16_t) {
  makeNull(d);
  TData value;
  readValue(d, dataData, &Data, value);
  tailEvent(d, outEventData, value);
}
