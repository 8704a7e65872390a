// "STATIC" on FLTK: text or nothing, aligned and wrapped as the SS_ styles
// ask, on its background unless transparent; disabled text is embossed.
#include <FL/fl_draw.H>

#include "backend.h"

void TStaticWidget::drawLook() {
  int X = x(), Y = y(), W = w(), H = h();
  drawFrames(frameBits(Look.Style, Look.ExStyle), X, Y, W, H);
  if (!Look.Transparent) {
    fl_color(Look.Background.value_or(flSystemColor(SysColor::ButtonFace)));
    fl_rectf(X, Y, W, H);
  }
  const uint32_t kind = Look.Style & 0x1F;  // SS_TYPEMASK
  int align = 0;
  if (kind == 1) align = 1;  // SS_CENTER
  if (kind == 2) align = 2;  // SS_RIGHT
  // SS_LEFT, SS_CENTER and SS_RIGHT wrap words; SS_LEFTNOWORDWRAP and
  // SS_SIMPLE do not.
  const bool wrap = kind <= 2;
  const bool middle = (Look.Style & 0x200) != 0;  // SS_CENTERIMAGE
  if (active_r()) {
    drawLookText(Look, X, Y, W, H, align, wrap, middle, Look.TextColor);
  } else {
    // Disabled text is embossed.
    drawLookText(Look, X + 1, Y + 1, W, H, align, wrap, middle, flSystemColor(SysColor::Hilight));
    drawLookText(Look, X, Y, W, H, align, wrap, middle, flSystemColor(SysColor::Shadow));
  }
}
