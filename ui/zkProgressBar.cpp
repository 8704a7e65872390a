// Progress bar.
#include "zkProgressBar.h"

namespace {
constexpr uint32_t VerticalStyle = 4;
constexpr uint32_t SmoothStyle = 1;
}  // namespace

void TZKProgressBar::init() {
  createControl(WinClass::Progress, "",
                (Vertical == 1 ? VerticalStyle : 0) | (Smooth != 0 ? SmoothStyle : 0));
  TNativeControl& control = node_->control();
  control.setProgressRange(0, Max);
  control.setBarColor(resolveColor(BarColor));
  Transparent = 0;
  if (Ctl3D == 1) control.setExStyle(0);
  TZKWin::init();
}

void TZKProgressBar::inSetPosition(TData& d, uint16_t) {
  const int32_t position = readInteger(d, TEventLink{}, 0);
  showLater([this, position] {
    if (!usable()) return;
    node_->control().setProgressPosition(position);
    node_->control().invalidate();
  });
}
