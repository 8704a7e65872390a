// Static text.
#include "zkLabel.h"

namespace {
constexpr uint32_t LabelStyles = 0x018C;  // SS_NOTIFY, SS_NOPREFIX, SS_LEFTNOWORDWRAP
constexpr uint8_t UnderlineBit = 4;
}  // namespace

TZKLabel::TZKLabel(TNativeControl* parentControl) : TZKWin(parentControl) {
  createControl(WinClass::Static, "", LabelStyles);
  clickHandler = [this] { fireEvent(outClick); };
}

void TZKLabel::setAutoSize(uint8_t autoSize) {
  autoSize_ = autoSize != 0;
  fitToText();
}

void TZKLabel::init() {
  TZKWin::init();
  node_->control().setText(Caption);
  fitToText();
}

void TZKLabel::fitToText() {
  if (!autoSize_ || !usable()) return;
  TNativeControl& control = node_->control();
  const TSize text = control.textExtent(control.text());
  TRect r = control.bounds();
  if (Align == 0 || Align == 1 || Align == 3) r.right = r.left + text.width + 1;
  if (Align == 0 || Align == 2 || Align == 4) r.bottom = r.top + text.height + 1;
  control.setBounds(r);
  if (node_->parent() != nullptr) node_->parent()->redockChildren();
}

void TZKLabel::mouseEnter() {
  TZKWin::mouseEnter();
  if (HoverColor == 0 && HoverUnderline == 0) return;
  TFontSpec font = node_->Font;
  if (HoverColor != 0) font.Color = resolveColor(HoverColor);
  if (HoverUnderline != 0) font.Style |= UnderlineBit;
  node_->control().setFont(font);
}

void TZKLabel::mouseLeave() {
  TZKWin::mouseLeave();
  if (HoverColor == 0 && HoverUnderline == 0) return;
  TFontSpec font = node_->Font;
  if (HoverColor != 0) font.Color = resolveColor(Font.Color);
  if (HoverUnderline != 0) font.Style &= static_cast<uint8_t>(~UnderlineBit);
  node_->control().setFont(font);
}
