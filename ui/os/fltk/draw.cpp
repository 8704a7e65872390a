// Drawing shared by the FLTK stand-ins for the Win32 controls, in the
// classic Windows look: edges from the 3D system colours, frames of the
// style words, texts laid out as the control styles ask, and the painter
// the elements draw with.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "backend.h"
#include "ui/bitmap.h"

namespace {
constexpr unsigned FrameCombinations = 32;

void sunkenEdge(int x, int y, int w, int h) {
  edge(x, y, w, h, flSystemColor(SysColor::Shadow), flSystemColor(SysColor::Hilight));
  edge(x + 1, y + 1, w - 2, h - 2, flSystemColor(SysColor::DarkShadow),
       flSystemColor(SysColor::Light));
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

void TFltkPainter::fillRect(const TRect& r, TColor color) {
  if (r.width() <= 0 || r.height() <= 0) return;
  fl_color(flColor(color));
  fl_rectf(originX_ + r.left, originY_ + r.top, r.width(), r.height());
}

// Scales only the part of dest inside the control: sampling (colour on
// colour) or averaging the covered source pixels (halftone).
void TFltkPainter::drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) {
  if (bitmap.empty() || dest.width() <= 0 || dest.height() <= 0) return;
  const int left = std::max(dest.left, 0), right = std::min(dest.right, width_);
  const int top = std::max(dest.top, 0), bottom = std::min(dest.bottom, height_);
  if (left >= right || top >= bottom) return;
  auto span = [](int at, int size, int destSize, int& from, int& to) {
    from = static_cast<int>(static_cast<int64_t>(at) * size / destSize);
    to = static_cast<int>(static_cast<int64_t>(at + 1) * size / destSize);
    to = std::max(to, from + 1);
  };
  const int w = right - left, h = bottom - top;
  std::vector<uchar> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  size_t out = 0;
  for (int y = top; y < bottom; ++y) {
    int y0 = 0, y1 = 0;
    span(y - dest.top, bitmap.Height, dest.height(), y0, y1);
    if (mode != TStretchMode::Halftone) y1 = y0 + 1;
    for (int x = left; x < right; ++x) {
      int x0 = 0, x1 = 0;
      span(x - dest.left, bitmap.Width, dest.width(), x0, x1);
      if (mode != TStretchMode::Halftone) x1 = x0 + 1;
      uint32_t red = 0, green = 0, blue = 0, count = 0;
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          const uint32_t pixel = bitmap.pixel(sx, sy);
          red += (pixel >> 16) & 0xFF;
          green += (pixel >> 8) & 0xFF;
          blue += pixel & 0xFF;
          ++count;
        }
      }
      rgb[out++] = static_cast<uchar>(red / count);
      rgb[out++] = static_cast<uchar>(green / count);
      rgb[out++] = static_cast<uchar>(blue / count);
    }
  }
  fl_draw_image(rgb.data(), originX_ + left, originY_ + top, w, h, 3);
}
