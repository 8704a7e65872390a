#include "zkStrMask.h"

#include <array>
#include <string_view>

namespace {

// Lower case of every Windows-1251 byte: Latin and Cyrillic letters, by table
// so the result never depends on the process locale.
constexpr std::array<unsigned char, 256> makeLowerTable() {
  std::array<unsigned char, 256> table{};
  for (size_t b = 0; b < table.size(); ++b) table[b] = static_cast<unsigned char>(b);
  for (size_t b = 'A'; b <= 'Z'; ++b) table[b] = static_cast<unsigned char>(b + 0x20);
  for (size_t b = 0xC0; b <= 0xDF; ++b) table[b] = static_cast<unsigned char>(b + 0x20);
  // Letters outside the two contiguous alphabets: Ё and the Serbian,
  // Macedonian, Ukrainian and Belarusian letters.
  constexpr unsigned char pairs[][2] = {{0xA8, 0xB8}, {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A},
                                        {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F},
                                        {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4}, {0xAA, 0xBA},
                                        {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};
  for (const auto& pair : pairs) table[pair[0]] = pair[1];
  return table;
}

constexpr std::array<unsigned char, 256> LowerTable = makeLowerTable();

unsigned char lower(char c) { return LowerTable[static_cast<unsigned char>(c)]; }

bool byteMatches(char maskByte, char textByte, bool ignoreCase) {
  switch (maskByte) {
    case '#':
      return textByte >= '0' && textByte <= '9';
    case '?':
      return true;
    default:
      return ignoreCase ? lower(maskByte) == lower(textByte) : maskByte == textByte;
  }
}

enum class TMatch { None, Prefix, Whole };

// Backtracks only to the latest "*", which keeps the match linear in practice
// and never exponential. A text used up before the mask is the beginning of
// a match.
TMatch matchesMask(std::string_view text, std::string_view mask, bool ignoreCase) {
  size_t t = 0;
  size_t m = 0;
  size_t starMask = std::string_view::npos;
  size_t starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starText = t;
    } else if (m < mask.size() && byteMatches(mask[m], text[t], ignoreCase)) {
      ++m;
      ++t;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      t = ++starText;
    } else {
      return TMatch::None;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size() ? TMatch::Whole : TMatch::Prefix;
}

}  // namespace

void TZKStrMask::inCompare(TData& d, uint16_t) {
  std::string text = readString(d, dataStr, std::string());
  std::unique_lock lock(maskLock_);
  const TMatch match = matchesMask(text, Mask, IgnoreCase == 1);
  lock.unlock();
  const bool prefix = match == TMatch::Prefix && outPrefix.assigned();
  tailEvent(d, match == TMatch::Whole ? outTrue : prefix ? outPrefix : outFalse, std::move(text));
}

void TZKStrMask::inMask(TData& d, uint16_t) {
  std::string mask = toString(d);
  const std::lock_guard lock(maskLock_);
  Mask = std::move(mask);
}
