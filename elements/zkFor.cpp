#include "zkFor.h"

void TZKFor::inFor(TData& d, uint16_t) {
  if (UseEventData == 0) makeNull(d);
  // 64-bit so a range ending at the 32-bit limits still terminates.
  int64_t index = readInteger(d, dataStart, Start);
  int64_t end = readInteger(d, dataEnd, End);
  if (Step > 0) {
    if (IncludeEnd == 0) --end;
    for (; index <= end; index += Step) fireEvent(outEvent, static_cast<int32_t>(index));
  } else if (Step < 0) {
    if (IncludeEnd == 0) ++end;
    for (; index >= end; index += Step) fireEvent(outEvent, static_cast<int32_t>(index));
  }
  tailEvent(d, outEnd, static_cast<int32_t>(index));
}
