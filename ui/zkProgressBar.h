// Progress bar.
#pragma once

#include "zkWin.h"

class TZKProgressBar : public TZKWin {
 public:
  explicit TZKProgressBar(TNativeControl* parentControl) : TZKWin(parentControl) {}

  uint8_t Vertical = 0;
  uint8_t Smooth = 0;
  int32_t Max = 100;  // the range is 0..Max
  uint32_t BarColor = 0;

  void init() override;
  // Bar position := the event's integer; the control keeps it within 0..Max.
  void inSetPosition(TData& d, uint16_t index);
};
