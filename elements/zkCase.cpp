#include "zkCase.h"

#include <utility>

#include "compareData.h"

void TZKCase::inCase(TData& d, uint16_t) {
  TData arrived = d;
  TData value;
  takeValue(d, value);
  if (compareData(value, Value, TCompareType::Equal)) {
    fireEvent(outMatch, std::as_const(Data));
  } else {
    fireEvent(outNext, arrived);
  }
}
