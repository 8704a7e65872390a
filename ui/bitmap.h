// A bitmap in memory, as the image element shows it and every backend draws
// it: 32-bit pixels 0x00RRGGBB (the byte order of a 32-bit DIB, blue first),
// rows top to bottom.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TBitmap {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;  // Width * Height

  // Empty when either side is 0: nothing to draw.
  bool empty() const { return Width <= 0 || Height <= 0; }
  uint32_t pixel(int32_t x, int32_t y) const {
    return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
  }
};

// Decodes a BMP file (with its "BM" file header) or a bare DIB as a bitmap
// resource stores it (starting with the info header): uncompressed 1, 4, 8,
// 24 or 32 bits per pixel, bottom-up or top-down. Anything else, truncated
// data included, gives an empty bitmap.
TBitmap decodeBitmap(std::string_view bytes);
// The largest image of an icon file (the program's icon resource as linked
// in on Linux), from an uncompressed DIB entry. Pixels are 0xAARRGGBB: the
// alpha of a 32-bit image, opaque for other depths. Empty when no entry is
// readable.
TBitmap decodeIcon(std::string_view icoFile);
// The program's bitmap resource of this name (systemSeams().findResource);
// empty when it is missing or unreadable.
TBitmap loadBitmapResource(const std::string& name);
