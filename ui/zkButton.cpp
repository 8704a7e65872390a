// Push button.
#include "zkButton.h"

namespace {
constexpr uint32_t ButtonStyles = WinStyle::TabStop | 0x1000;  // BS_PUSHLIKE
constexpr uint32_t DefPushButton = 0x1;
constexpr uint32_t Multiline = 0x2000;
}  // namespace

TZKButton::~TZKButton() {
  if (node_ && node_->topLevel().DefaultButton == this) node_->topLevel().DefaultButton = nullptr;
}

void TZKButton::init() {
  createControl(WinClass::Button, Caption, ButtonStyles);
  clickHandler = [this] { fireEvent(outClick, static_cast<const TData&>(Data)); };
  TWindowNode& top = node_->topLevel();
  if (DefaultButton == 1) {
    changeStyle(DefPushButton, 0);
    top.DefaultButton = this;
  } else {
    changeStyle(0, DefPushButton);
    if (top.DefaultButton == this) top.DefaultButton = nullptr;
  }
  changeStyle(Multiline, 0);
  if (TextAlign != 2) applyTextAlign(TextAlign);
  TZKWin::init();
}
