// Small shared helpers: fonts, diagnostics, text search and replace.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct TFontRec {
  std::string Name;
  uint8_t Size = 8;
  uint8_t Style = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
  uint32_t Color = 0;
  uint8_t Charset = 1;
};

TFontRec makeFontRec(std::string name, uint8_t size, uint8_t style, uint32_t color,
                     uint8_t charset);

// Pixel height (negative, as the window system expects) for a point size on
// the screen's vertical resolution, measured once.
int32_t fontHeight(int32_t points);
// Forgets the measured resolution (tests that swap the screen seam).
void resetFontHeightCache();

// Modal box captioned "String-Debug".
void debugMessage(const std::string& text);

// 0 when a and b are equal up to the first NUL byte with ASCII letters folded
// to upper case; otherwise the difference of the first differing folded bytes.
int compareNoCase(std::string_view a, std::string_view b);

// 1-based position of sub in s at or after position from; 0 when absent.
size_t posFrom(std::string_view sub, std::string_view s, size_t from);

// Asked before each replacement with the 1-based position; nonzero agrees.
using TReplaceVeto = std::function<int(size_t position)>;

// Replaces every occurrence of pattern, left to right; replaced text is never
// searched again.
std::string replaceAll(std::string s, std::string_view pattern, std::string_view replacement,
                       const TReplaceVeto& veto = {});

// Calls a bound method when it is assigned; 0 otherwise.
template <class F, class A, class B>
int callIfAssigned(const F& method, A&& a, B&& b) {
  return method ? method(std::forward<A>(a), std::forward<B>(b)) : 0;
}
