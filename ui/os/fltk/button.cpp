// "BUTTON" on FLTK: push buttons with the raised face, the pressed look and
// the frame of the default button.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "backend.h"

void TButtonWidget::drawLook() {
  int X = x(), Y = y(), W = w(), H = h();
  drawFrames(frameBits(Look.Style, Look.ExStyle), X, Y, W, H);
  const bool isDefault = (Look.Style & 0xF) == 1;  // BS_DEFPUSHBUTTON
  const bool pressed = value() != 0;
  fl_color(flSystemColor(SysColor::ButtonFace));
  fl_rectf(X, Y, W, H);
  if (isDefault || Fl::focus() == this) {
    fl_color(flSystemColor(SysColor::WindowFrame));
    fl_rect(X, Y, W, H);
    X += 1;
    Y += 1;
    W -= 2;
    H -= 2;
  }
  if (pressed) {
    edge(X, Y, W, H, flSystemColor(SysColor::Shadow), flSystemColor(SysColor::Shadow));
  } else if ((Look.Style & WinStyle::FlatLook) != 0) {
    fl_color(flSystemColor(SysColor::WindowFrame));
    fl_rect(X, Y, W, H);
  } else {
    raisedEdge(X, Y, W, H);
  }
  // BS_LEFT 0x100, BS_RIGHT 0x200, BS_CENTER 0x300 (or none); BS_TOP 0x400,
  // BS_BOTTOM 0x800, BS_VCENTER (or none): push buttons centre by default.
  const uint32_t horizontal = Look.Style & 0x300;
  const int align = horizontal == 0x100 ? 0 : horizontal == 0x200 ? 2 : 1;
  const bool wrap = (Look.Style & 0x2000) != 0;  // BS_MULTILINE
  const int shift = pressed ? 1 : 0;
  const int textX = X + 4 + shift, textY = Y + 2 + shift, textW = W - 8, textH = H - 4;
  if (active_r()) {
    drawLookText(Look, textX, textY, textW, textH, align, wrap, true,
                 Look.TextColor == FL_BLACK ? flSystemColor(SysColor::ButtonText) : Look.TextColor);
  } else {
    drawLookText(Look, textX + 1, textY + 1, textW, textH, align, wrap, true,
                 flSystemColor(SysColor::Hilight));
    drawLookText(Look, textX, textY, textW, textH, align, wrap, true,
                 flSystemColor(SysColor::Shadow));
  }
  if (Fl::focus() == this) draw_focus(FL_FLAT_BOX, X + 2, Y + 2, W - 4, H - 4);
}
