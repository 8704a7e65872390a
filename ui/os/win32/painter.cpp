// The owner's painting on a GDI device context.
#include "backend.h"
#include "ui/bitmap.h"

void TGdiPainter::fillRect(const TRect& r, TColor color) {
  const RECT area{r.left, r.top, r.right, r.bottom};
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc_, &area, brush);
  DeleteObject(brush);
}

void TGdiPainter::drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) {
  if (bitmap.empty()) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = bitmap.Width;
  info.bmiHeader.biHeight = -bitmap.Height;  // rows top to bottom
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc_, static_cast<int>(mode));
  // HALFTONE needs the brush origin reset after the mode is set.
  SetBrushOrgEx(dc_, 0, 0, nullptr);
  StretchDIBits(dc_, dest.left, dest.top, dest.width(), dest.height(), 0, 0, bitmap.Width,
                bitmap.Height, bitmap.Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}
