#include "zkStream2Hex.h"

void TZKStream2Hex::inConvert(TData& d, uint16_t) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  const std::string text = readString(d, dataText, "");
  std::string result;
  result.reserve(text.size() * 2);
  for (const char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    result += Digits[byte >> 4];
    result += Digits[byte & 0xF];
  }
  tailEvent(d, outResult, std::move(result));
}
