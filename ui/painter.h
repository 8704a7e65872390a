// Drawing during onPaint and onDrawItem: what a backend offers the elements
// to paint with.
#pragma once

#include "windowStyles.h"

struct TBitmap;

enum class TStretchMode : int32_t { ColorOnColor = 3, Halftone = 4 };

// In client coordinates, clipped to the control.
class TPainter {
 public:
  virtual ~TPainter() = default;
  virtual void fillRect(const TRect& r, TColor color) = 0;
  // The whole bitmap scaled into dest (which may reach beyond the control).
  virtual void drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) = 0;
};

struct TDrawItemInfo {
  int32_t Index = -1;  // -1: the empty edit field of a combo box
  TRect Rect;          // the item's rectangle
  bool Selected = false;
  bool InEditField = false;  // drawn in the combo box's edit part, not the list
};
