// BMP decoding for the image element's resource, and icon files.
#include "bitmap.h"

#include "runtime/systemSeams.h"

namespace {
uint32_t readLe(std::string_view bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

constexpr size_t FileHeaderSize = 14;
constexpr uint32_t RgbCompression = 0;
constexpr uint32_t BitfieldsCompression = 3;
constexpr int32_t MaxSide = 16384;  // keeps width x height x 4 far from overflow
constexpr uint32_t Opaque = 0xFF000000;

// withAlpha: 32-bit pixels keep their fourth byte, other depths are opaque.
TBitmap decodeDib(std::string_view bytes, bool withAlpha) {
  size_t info = 0;
  size_t pixelOffset = 0;
  if (bytes.size() >= FileHeaderSize && bytes.substr(0, 2) == "BM") {
    info = FileHeaderSize;
    pixelOffset = readLe(bytes, 10, 4);
  }
  if (bytes.size() < info + 40) return {};
  const uint32_t headerSize = readLe(bytes, info, 4);
  if (headerSize < 40 || bytes.size() < info + headerSize) return {};
  const auto width = static_cast<int32_t>(readLe(bytes, info + 4, 4));
  const auto rawHeight = static_cast<int32_t>(readLe(bytes, info + 8, 4));
  const uint32_t bitCount = readLe(bytes, info + 14, 2);
  const uint32_t compression = readLe(bytes, info + 16, 4);
  uint32_t paletteCount = readLe(bytes, info + 32, 4);
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) return {};
  const bool supportedDepth =
      bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
  if (!supportedDepth) return {};
  if (compression != RgbCompression && !(compression == BitfieldsCompression && bitCount == 32)) {
    return {};
  }

  size_t palette = info + headerSize;
  // A 40-byte header with bit fields keeps its three masks after it; the
  // usual masks are the plain byte order, which is all this decoder reads.
  if (compression == BitfieldsCompression && headerSize == 40) palette += 12;
  if (bitCount <= 8 && paletteCount == 0) paletteCount = 1u << bitCount;
  if (bitCount > 8) paletteCount = 0;
  if (paletteCount > 256) return {};
  const size_t paletteEnd = palette + 4 * static_cast<size_t>(paletteCount);
  if (pixelOffset == 0) pixelOffset = paletteEnd;
  if (paletteEnd > bytes.size()) return {};

  const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
  if (pixelOffset > bytes.size() ||
      (bytes.size() - pixelOffset) / stride < static_cast<size_t>(height)) {
    return {};
  }

  TBitmap bitmap;
  bitmap.Width = width;
  bitmap.Height = height;
  bitmap.Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int32_t row = 0; row < height; ++row) {
    const size_t source =
        pixelOffset + stride * static_cast<size_t>(topDown ? row : height - 1 - row);
    for (int32_t x = 0; x < width; ++x) {
      const auto column = static_cast<size_t>(x);
      uint32_t color = 0;
      if (bitCount == 32) {
        color = readLe(bytes, source + column * 4, withAlpha ? 4 : 3);
      } else if (bitCount == 24) {
        color = readLe(bytes, source + column * 3, 3);
      } else {
        const size_t bitPosition = column * bitCount;
        const auto byte = static_cast<unsigned char>(bytes[source + bitPosition / 8]);
        const unsigned shift = 8 - bitCount - static_cast<unsigned>(bitPosition % 8);
        const uint32_t index = (byte >> shift) & ((1u << bitCount) - 1);
        if (index < paletteCount) color = readLe(bytes, palette + 4 * index, 3);
      }
      if (withAlpha && bitCount != 32) color |= Opaque;
      bitmap.Pixels[static_cast<size_t>(row) * static_cast<size_t>(width) + column] = color;
    }
  }
  return bitmap;
}

}  // namespace

TBitmap decodeBitmap(std::string_view bytes) { return decodeDib(bytes, false); }

TBitmap decodeIcon(std::string_view icoFile) {
  constexpr size_t DirectorySize = 6;
  constexpr size_t EntrySize = 16;
  if (icoFile.size() < DirectorySize || readLe(icoFile, 0, 2) != 0 || readLe(icoFile, 2, 2) != 1) {
    return {};
  }
  const size_t count = readLe(icoFile, 4, 2);
  TBitmap best;
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = DirectorySize + i * EntrySize;
    if (entry + EntrySize > icoFile.size()) break;
    const size_t size = readLe(icoFile, entry + 8, 4);
    const size_t offset = readLe(icoFile, entry + 12, 4);
    if (offset > icoFile.size() || size > icoFile.size() - offset || size < 40) continue;
    // The entry's header counts the colour image and the mask below it:
    // halving the height leaves the colour image.
    std::string dib(icoFile.substr(offset, size));
    const auto height = static_cast<int32_t>(readLe(dib, 8, 4));
    const auto half = static_cast<uint32_t>(height / 2);
    for (size_t b = 0; b < 4; ++b) dib[8 + b] = static_cast<char>((half >> (8 * b)) & 0xFF);
    TBitmap image = decodeDib(dib, true);
    if (!image.empty() && image.Width > best.Width) best = std::move(image);
  }
  return best;
}

TBitmap loadBitmapResource(const std::string& name) {
  return decodeBitmap(systemSeams().findResource(name));
}
