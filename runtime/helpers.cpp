#include "helpers.h"

#include <atomic>

#include "systemSeams.h"

namespace {
std::atomic<int32_t> screenPixelsPerInch{0};

unsigned char foldAscii(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 32) : b;
}
}  // namespace

TFontRec makeFontRec(std::string name, uint8_t size, uint8_t style, uint32_t color,
                     uint8_t charset) {
  return TFontRec{std::move(name), size, style, color, charset};
}

int32_t fontHeight(int32_t points) {
  int32_t ppi = screenPixelsPerInch.load();
  if (ppi == 0) {
    ppi = systemSeams().screenPixelsPerInch();
    screenPixelsPerInch.store(ppi);
  }
  return (points * ppi + 36) / -72;
}

void resetFontHeightCache() { screenPixelsPerInch.store(0); }

void debugMessage(const std::string& text) { systemSeams().messageBox(text, "String-Debug"); }

int compareNoCase(std::string_view a, std::string_view b) {
  for (size_t i = 0;; ++i) {
    const unsigned char ca = i < a.size() ? foldAscii(a[i]) : 0;
    const unsigned char cb = i < b.size() ? foldAscii(b[i]) : 0;
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
}

size_t posFrom(std::string_view sub, std::string_view s, size_t from) {
  if (sub.empty()) return 0;
  const size_t start = from > 0 ? from - 1 : 0;
  if (start > s.size()) return 0;
  const size_t found = s.find(sub, start);
  return found == std::string_view::npos ? 0 : found + 1;
}

std::string replaceAll(std::string s, std::string_view pattern, std::string_view replacement,
                       const TReplaceVeto& veto) {
  if (pattern.empty()) return s;
  size_t p = s.find(pattern);
  while (p != std::string::npos) {
    if (!veto || veto(p + 1) != 0) {
      s.replace(p, pattern.size(), replacement);
      p = s.find(pattern, p + replacement.size());
    } else {
      p = s.find(pattern, p + 1);
    }
  }
  return s;
}
