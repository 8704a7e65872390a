// "tooltips_class32" on FLTK: the widget's own tooltip, title and text in
// one.
#include <FL/Fl_Tooltip.H>

#include <cstdlib>

#include "backend.h"

TFltkTooltip::TFltkTooltip(TFltkControl& owner, const TTooltipSpec& params) : owner_(owner) {
  // FLTK has one set of tooltip settings: the newest tooltip's apply.
  Fl_Tooltip::delay(static_cast<float>(params.InitialDelay) / 1000.0f);
  Fl_Tooltip::color(flColor(params.BackColor));
  Fl_Tooltip::textcolor(flColor(params.Font.Color));
  Fl_Tooltip::font(fontFamily(params.Font.Name, params.Font.Style));
  if (params.Font.Height != 0) Fl_Tooltip::size(std::abs(params.Font.Height));
  owner_.attachTooltip(this);
}

TFltkTooltip::~TFltkTooltip() {
  if (ownerGone_) return;
  owner_.detachTooltip(this);
  owner_.widget()->copy_tooltip(nullptr);
}

void TFltkTooltip::setText(const std::string& text) {
  text_ = utf8(text);
  show();
}

void TFltkTooltip::setTitle(int32_t, const std::string& title) {
  title_ = utf8(title);
  show();
}

void TFltkTooltip::show() {
  const std::string shown = title_.empty() ? text_ : title_ + "\n" + text_;
  if (!ownerGone_) owner_.widget()->copy_tooltip(shown.c_str());
}
