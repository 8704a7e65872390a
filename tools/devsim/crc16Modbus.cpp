#include "tools/devsim/crc16Modbus.h"

#include <array>

namespace devsim {

namespace {

constexpr std::array<uint16_t, 256> makeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
    table[i] = static_cast<uint16_t>(value);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = makeTable();

}  // namespace

uint16_t crc16Modbus(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFF]);
}

uint16_t crc16Modbus(uint16_t crc, std::string_view bytes) {
  for (char c : bytes) crc = crc16Modbus(crc, static_cast<uint8_t>(c));
  return crc;
}

}  // namespace devsim
