// "msctls_progress32" on FLTK: the bar in blocks or smooth, horizontal or
// vertical, its position clamped into the range.
#include <FL/fl_draw.H>

#include <algorithm>

#include "backend.h"

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

void TFltkControl::setProgressRange(int32_t low, int32_t high) {
  if (progress_ == nullptr) return;
  progress_->Low = low;
  progress_->High = high;
  progress_->Position = std::clamp(progress_->Position, low, std::max(low, high));
  progress_->redraw();
}

void TFltkControl::setProgressPosition(int32_t position) {
  if (progress_ == nullptr) return;
  progress_->Position =
      std::clamp(position, progress_->Low, std::max(progress_->Low, progress_->High));
  progress_->redraw();
}

int32_t TFltkControl::progressPosition() const { return progress_ ? progress_->Position : 0; }

void TFltkControl::setBarColor(TColor color) {
  if (progress_ == nullptr) return;
  progress_->Bar = flColor(color);
  progress_->redraw();
}
