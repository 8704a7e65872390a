#include "hexText.h"

namespace {
int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

uint32_t hexToInt(std::string_view text) {
  if (!text.empty() && text.front() == '$') text.remove_prefix(1);
  uint32_t value = 0;
  for (const char c : text) {
    const int digit = hexDigitValue(c);
    if (digit < 0) break;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

std::string intToHex(uint32_t value, int digits) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  char buffer[8];
  size_t used = 0;
  do {
    buffer[sizeof buffer - ++used] = Digits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  const size_t width = digits > 0 ? static_cast<size_t>(digits) : 0;
  std::string text(width > used ? width - used : 0, '0');
  text.append(buffer + sizeof buffer - used, used);
  return text;
}
