// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final
// exclusive-or. The simulator's own implementation, kept apart from the
// uploader's so each checks the other.
#pragma once

#include <cstdint>
#include <string_view>

namespace devsim {

inline constexpr uint16_t kCrcInitial = 0xFFFF;

uint16_t crc16Modbus(uint16_t crc, uint8_t byte);
uint16_t crc16Modbus(uint16_t crc, std::string_view bytes);

}  // namespace devsim
