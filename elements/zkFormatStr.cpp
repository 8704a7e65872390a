#include "zkFormatStr.h"

#include "runtime/helpers.h"

namespace {
// Markers in the working text: a literal percent sign, and the start of an
// inserted value (so a placeholder just before it still counts as ended).
constexpr char PercentMark = '\0';
constexpr char ValueMark = '\1';

bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

void TZKFormatStr::setCount(uint16_t n) {
  dataParam.resize(n);
  Count = n;
}

void TZKFormatStr::inString(TData& d, uint16_t) {
  std::string text = replaceAll(Mask, "%%", std::string_view(&PercentMark, 1));
  for (int32_t i = 1; i <= Count; ++i) {
    const std::string placeholder = "%" + std::to_string(i);
    const TEventLink link =
        static_cast<size_t>(i) <= dataParam.size() ? dataParam[i - 1] : TEventLink{};
    const std::string value = ValueMark + readString(d, link, std::string());
    // replaceAll works on its own copy and reports positions in it; the text
    // after a match is still that of text, shifted by the replacements so far.
    const auto growth =
        static_cast<ptrdiff_t>(value.size()) - static_cast<ptrdiff_t>(placeholder.size());
    ptrdiff_t shift = 0;
    const auto endsHere = [&](size_t position) {
      const auto after = static_cast<ptrdiff_t>(position - 1 + placeholder.size()) - shift;
      const bool ends = static_cast<size_t>(after) >= text.size() || !isDigit(text[after]);
      if (ends) shift += growth;
      return ends ? 1 : 0;
    };
    text = replaceAll(text, placeholder, value, endsHere);
  }
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    if (c == PercentMark) {
      result.push_back('%');
    } else if (c != ValueMark) {
      result.push_back(c);
    }
  }
  tailEvent(d, outString, std::move(result));
}
