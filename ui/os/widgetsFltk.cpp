// Drawing of the FLTK stand-ins for the Win32 controls, in the classic
// Windows look: edges from the 3D system colours, texts laid out as the
// control styles ask.
#include "widgetsFltk.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace {
namespace SysColor {
constexpr int32_t WindowFrame = 6;
constexpr int32_t Highlight = 13;
constexpr int32_t HighlightText = 14;
constexpr int32_t ButtonFace = 15;
constexpr int32_t Shadow = 16;
constexpr int32_t GrayText = 17;
constexpr int32_t ButtonText = 18;
constexpr int32_t Hilight = 20;
constexpr int32_t DarkShadow = 21;
constexpr int32_t Light = 22;
}  // namespace SysColor

constexpr unsigned FrameCombinations = 32;

// One pixel wide rectangle outline: top and left in one colour, bottom and
// right in the other (DrawEdge).
void edge(int x, int y, int w, int h, Fl_Color topLeft, Fl_Color bottomRight) {
  if (w <= 0 || h <= 0) return;
  fl_color(topLeft);
  fl_xyline(x, y, x + w - 1);
  fl_yxline(x, y, y + h - 1);
  fl_color(bottomRight);
  fl_xyline(x, y + h - 1, x + w - 1);
  fl_yxline(x + w - 1, y, y + h - 1);
}

void raisedEdge(int x, int y, int w, int h) {
  edge(x, y, w, h, flSystemColor(SysColor::Light), flSystemColor(SysColor::DarkShadow));
  edge(x + 1, y + 1, w - 2, h - 2, flSystemColor(SysColor::Hilight),
       flSystemColor(SysColor::Shadow));
}

void sunkenEdge(int x, int y, int w, int h) {
  edge(x, y, w, h, flSystemColor(SysColor::Shadow), flSystemColor(SysColor::Hilight));
  edge(x + 1, y + 1, w - 2, h - 2, flSystemColor(SysColor::DarkShadow),
       flSystemColor(SysColor::Light));
}

// Draws the frames of bits from outside in; answers the inside rectangle.
void drawFrames(unsigned bits, int& x, int& y, int& w, int& h) {
  auto shrink = [&](int by) {
    x += by;
    y += by;
    w -= 2 * by;
    h -= 2 * by;
  };
  if ((bits & FrameBit::DialogFrame) != 0) {
    raisedEdge(x, y, w, h);
    shrink(2);
    fl_color(flSystemColor(SysColor::ButtonFace));
    fl_rect(x, y, w, h);
    shrink(1);
  }
  if ((bits & FrameBit::WindowEdge) != 0) {
    raisedEdge(x, y, w, h);
    shrink(2);
  }
  if ((bits & FrameBit::Border) != 0) {
    fl_color(flSystemColor(SysColor::WindowFrame));
    fl_rect(x, y, w, h);
    shrink(1);
  }
  if ((bits & FrameBit::StaticEdge) != 0) {
    edge(x, y, w, h, flSystemColor(SysColor::Shadow), flSystemColor(SysColor::Hilight));
    shrink(1);
  }
  if ((bits & FrameBit::ClientEdge) != 0) {
    sunkenEdge(x, y, w, h);
    shrink(2);
  }
}

template <unsigned Bits>
void drawFrameBox(int x, int y, int w, int h, Fl_Color color) {
  drawFrames(Bits, x, y, w, h);
  if (w <= 0 || h <= 0) return;
  fl_color(color);
  fl_rectf(x, y, w, h);
}

template <size_t... Bits>
constexpr std::array<Fl_Box_Draw_F*, sizeof...(Bits)> frameBoxDrawers(
    std::index_sequence<Bits...>) {
  return {&drawFrameBox<static_cast<unsigned>(Bits)>...};
}

// UTF-8 line broken into lines that fit width (the current font) at spaces;
// a word longer than the width stays whole.
void wrapLine(const std::string& line, int width, std::vector<std::string>& lines) {
  std::string current;
  size_t pos = 0;
  while (pos <= line.size()) {
    size_t space = line.find(' ', pos);
    if (space == std::string::npos) space = line.size();
    const std::string word = line.substr(pos, space - pos);
    const std::string candidate = current.empty() ? word : current + ' ' + word;
    if (!current.empty() && fl_width(candidate.c_str()) > width) {
      lines.push_back(current);
      current = word;
    } else {
      current = candidate;
    }
    pos = space + 1;
  }
  lines.push_back(current);
}
}  // namespace

Fl_Color flColor(TColor color) {
  return fl_rgb_color(static_cast<uchar>(color & 0xFF), static_cast<uchar>((color >> 8) & 0xFF),
                      static_cast<uchar>((color >> 16) & 0xFF));
}

Fl_Color flSystemColor(int32_t index) { return flColor(systemColorRgb(index)); }

unsigned frameBits(uint32_t style, uint32_t exStyle) {
  unsigned bits = 0;
  if ((exStyle & WinExStyle::DlgModalFrame) != 0) bits |= FrameBit::DialogFrame;
  if ((exStyle & WinExStyle::WindowEdge) != 0) bits |= FrameBit::WindowEdge;
  if ((style & WinStyle::Border) != 0) bits |= FrameBit::Border;
  if ((exStyle & WinExStyle::StaticEdge) != 0) bits |= FrameBit::StaticEdge;
  if ((exStyle & WinExStyle::ClientEdge) != 0) bits |= FrameBit::ClientEdge;
  return bits;
}

int frameInset(unsigned bits) {
  int inset = 0;
  if ((bits & FrameBit::DialogFrame) != 0) inset += 3;
  if ((bits & FrameBit::WindowEdge) != 0) inset += 2;
  if ((bits & FrameBit::Border) != 0) inset += 1;
  if ((bits & FrameBit::StaticEdge) != 0) inset += 1;
  if ((bits & FrameBit::ClientEdge) != 0) inset += 2;
  return inset;
}

Fl_Boxtype frameBox(unsigned bits) {
  return static_cast<Fl_Boxtype>(FL_FREE_BOXTYPE + (bits % FrameCombinations));
}

void registerFrameBoxes() {
  static const auto drawers = frameBoxDrawers(std::make_index_sequence<FrameCombinations>());
  for (unsigned bits = 0; bits < FrameCombinations; ++bits) {
    const int inset = frameInset(bits);
    Fl::set_boxtype(frameBox(bits), drawers[bits], static_cast<uchar>(inset),
                    static_cast<uchar>(inset), static_cast<uchar>(2 * inset),
                    static_cast<uchar>(2 * inset));
  }
}

void drawLookText(const TWidgetLook& look, int x, int y, int w, int h, int align, bool wrap,
                  bool middle, Fl_Color color) {
  fl_font(look.Font, look.Size);
  std::vector<std::string> lines;
  std::string line;
  for (char c : look.Text) {
    if (c == '\r') continue;
    if (c == '\n') {
      if (wrap) {
        wrapLine(line, w, lines);
      } else {
        lines.push_back(line);
      }
      line.clear();
    } else {
      line += c;
    }
  }
  if (wrap) {
    wrapLine(line, w, lines);
  } else {
    lines.push_back(line);
  }
  const int lineHeight = fl_height();
  const int total = lineHeight * static_cast<int>(lines.size());
  int top = middle ? y + (h - total) / 2 : y;
  fl_push_clip(x, y, w, h);
  fl_color(color);
  for (const std::string& text : lines) {
    const int width = static_cast<int>(fl_width(text.c_str()));
    int left = x;
    if (align == 1) left = x + (w - width) / 2;
    if (align == 2) left = x + w - width;
    const int baseline = top + lineHeight - fl_descent();
    fl_draw(text.c_str(), static_cast<int>(text.size()), left, baseline);
    if (look.Underline) fl_xyline(left, baseline + 1, left + width - 1);
    if (look.StrikeOut) fl_xyline(left, baseline - fl_height() / 3, left + width - 1);
    top += lineHeight;
  }
  fl_pop_clip();
}

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

void TComboWidget::drawLook() {
  // The field's own sunken edge, inside any frames of the style words.
  int X = x(), Y = y(), W = w(), H = h();
  drawFrames(frameBits(Look.Style, Look.ExStyle) | FrameBit::ClientEdge, X, Y, W, H);
  const Fl_Color field = Look.Background.value_or(flSystemColor(5));
  fl_color(active_r() ? field : flSystemColor(SysColor::ButtonFace));
  fl_rectf(X, Y, W, H);
  // The drop button, as wide as a scroll bar.
  const int buttonW = std::min(17, W);
  const int buttonX = X + W - buttonW;
  fl_color(flSystemColor(SysColor::ButtonFace));
  fl_rectf(buttonX, Y, buttonW, H);
  raisedEdge(buttonX, Y, buttonW, H);
  fl_color(active_r() ? flSystemColor(SysColor::ButtonText) : flSystemColor(SysColor::GrayText));
  const int cx = buttonX + buttonW / 2, cy = Y + H / 2;
  fl_polygon(cx - 4, cy - 2, cx + 4, cy - 2, cx, cy + 2);
  // The chosen item, highlighted while the list has the focus.
  const Fl_Menu_Item* item = mvalue();
  if (item == nullptr || item->label() == nullptr) return;
  TWidgetLook itemLook = Look;
  itemLook.Text = item->label();
  const bool focused = Fl::focus() == this && active_r();
  Fl_Color textColor = active_r() ? Look.TextColor : flSystemColor(SysColor::GrayText);
  if (focused) {
    fl_color(flSystemColor(SysColor::Highlight));
    fl_rectf(X + 1, Y + 1, buttonX - X - 2, H - 2);
    textColor = flSystemColor(SysColor::HighlightText);
  }
  drawLookText(itemLook, X + 3, Y, buttonX - X - 4, H, 0, false, true, textColor);
}

void TProgressWidget::drawLook() {
  // The bar's own thin sunken edge, inside any frames of the style words.
  int X = x(), Y = y(), W = w(), H = h();
  drawFrames(frameBits(Look.Style, Look.ExStyle) | FrameBit::StaticEdge, X, Y, W, H);
  fl_color(Look.Background.value_or(flSystemColor(SysColor::ButtonFace)));
  fl_rectf(X, Y, W, H);
  const int32_t span = High - Low;
  if (span <= 0 || W <= 2 || H <= 2) return;
  const bool vertical = (Look.Style & 4) != 0;  // PBS_VERTICAL
  const bool smooth = (Look.Style & 1) != 0;    // PBS_SMOOTH
  X += 1;
  Y += 1;
  W -= 2;
  H -= 2;
  const int length = vertical ? H : W;
  const int filled = static_cast<int>(static_cast<int64_t>(Position - Low) * length / span);
  fl_color(Bar.value_or(flSystemColor(SysColor::Highlight)));
  if (smooth) {
    if (vertical) {
      fl_rectf(X, Y + H - filled, W, filled);
    } else {
      fl_rectf(X, Y, filled, H);
    }
    return;
  }
  // Blocks two thirds as long as the bar is thick, two pixels apart.
  const int block = std::max(2, ((vertical ? W : H) * 2) / 3);
  for (int at = 0; at < filled; at += block + 2) {
    const int size = std::min(block, length - at);
    if (vertical) {
      fl_rectf(X, Y + H - at - size, W, size);
    } else {
      fl_rectf(X + at, Y, size, H);
    }
  }
}
