// A bitmap scaled into the element's rectangle with its proportions kept
// and centred; the uncovered bands show the background colour.
#pragma once

#include <functional>

#include "bitmap.h"
#include "zkWin.h"

class TZKImage : public TZKWin {
 public:
  explicit TZKImage(TNativeControl* parentControl);

  TBitmap Bitmap;
  // Paints the bitmap; the element's own proportional draw unless the
  // schema binds another.
  std::function<void(TPainter&)> DrawMethod;
  uint8_t AutoSize = 0;  // size the element to the bitmap at init
  TEventLink outClick;

  // A bitmap with pixels replaces the current one; an empty one (a resource
  // that failed to load) changes nothing.
  void setBitmap(TBitmap bitmap);
  void setHalftone(uint8_t halftone);
  TStretchMode stretchMode() const { return stretchMode_; }

  void init() override;
  // cover 0: the whole picture inside the control; 1: the control covered.
  void proportionalDraw(TPainter& painter, bool cover);

 private:
  void paint(TPainter& painter);

  TStretchMode stretchMode_ = TStretchMode::ColorOnColor;
};
