#include "zkCRC16_32.h"

#include "elements/hexText.h"

namespace {
uint32_t swap16(uint32_t value) { return ((value & 0xFF) << 8) | ((value >> 8) & 0xFF); }

uint32_t tableEntry(uint8_t mode, uint32_t polynom, uint32_t i) {
  uint32_t c = 0;
  if (mode <= 2) {
    for (uint32_t d = i, bit = 0; bit < 8; ++bit, d >>= 1) {
      c = ((c ^ d) & 1) != 0 ? (c >> 1) ^ polynom : c >> 1;
    }
  } else if (mode == 3) {
    for (uint32_t d = i << 8, bit = 0; bit < 8; ++bit, d <<= 1) {
      c = ((c ^ d) & 0x8000) != 0 ? (c << 1) ^ polynom : c << 1;
    }
  } else if (mode == 4) {
    c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? (c >> 1) ^ polynom : c >> 1;
  }
  return c;
}
}  // namespace

void TZKCRC16_32::prepareTable(uint32_t polynom) {
  if (tableValid_ && tableMode_ == Mode && tablePolynom_ == polynom) return;
  for (uint32_t i = 0; i < table_.size(); ++i) table_[i] = tableEntry(Mode, polynom, i);
  tableMode_ = Mode;
  tablePolynom_ = polynom;
  tableValid_ = true;
}

uint32_t TZKCRC16_32::update(uint32_t crc, uint8_t byte) const {
  switch (Mode) {
    case 0:
    case 1:
    case 2:
      return (table_[(crc ^ byte) & 0xFF] ^ (crc >> 8)) & 0xFFFF;
    case 3:
      return (table_[((crc >> 8) ^ byte) & 0xFF] ^ (crc << 8)) & 0xFFFF;
    case 4:
      return table_[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    default:
      return crc;
  }
}

void TZKCRC16_32::inCRC(TData& d, uint16_t) {
  std::string text = readString(d, dataText, "");
  const uint32_t polynom = hexToInt(readString(d, dataPolynom, Polynom));
  const uint32_t init = hexToInt(readString(d, dataInit, Init));
  prepareTable(polynom);
  if (HexInput == 1) std::erase_if(text, [](char c) { return c == ' ' || c == '$'; });

  uint32_t crc = Mode == 4 ? init : init & 0xFFFF;
  if (!text.empty()) {
    if (HexInput == 0) {
      for (const char c : text) crc = update(crc, static_cast<uint8_t>(c));
    } else {
      for (size_t pos = 0; pos < text.size(); pos += 2) {
        const auto byte = static_cast<uint8_t>(hexToInt(std::string_view(text).substr(pos, 2)));
        crc = update(crc, byte);
      }
    }
    if (Mode == 1) crc = swap16(crc);
    if (Mode == 2) crc = swap16(~crc & 0xFFFF);
    if (Mode == 4) crc = ~crc;
  }

  std::string result;
  if (Mode == 4) {
    result = intToHex(crc, 8);
  } else {
    result = intToHex(SwapBytes ? swap16(crc) : crc, 4);
  }
  tailEvent(d, outCRC, std::move(result));
}
