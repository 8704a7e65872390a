#include "zkConvertor.h"

#include <algorithm>

#include "hexText.h"

namespace TConvertMode {
enum : uint8_t { ByteChar = 4, Hex = 6 };
}  // namespace TConvertMode

void TZKConvertor::inConvert(TData& d, uint16_t) {
  const int32_t value = readInteger(d, dataValue, 0);
  switch (Mode) {
    case TConvertMode::ByteChar:
      tailEvent(d, outResult, std::string(1, static_cast<char>(value & 0xFF)));
      break;
    case TConvertMode::Hex:
      tailEvent(d, outResult, intToHex(static_cast<uint32_t>(value), std::max(1, Digits % 16)));
      break;
    default:
      break;  // an unknown mode has no result: the event chain ends here
  }
}
