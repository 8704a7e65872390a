// 16- or 32-bit cyclic redundancy check over a text (raw bytes or hexadecimal
// byte pairs), with polynomial and initial value given as hexadecimal text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "runtime/link.h"

class TZKCRC16_32 {
 public:
  // 0: the text's bytes; 1: hexadecimal pairs with blanks and "$" removed;
  // other: hexadecimal pairs as they are.
  uint8_t HexInput = 0;
  // 0 reflected 16-bit, 1 the same with the result's bytes swapped, 2 reflected
  // 16-bit complemented and swapped, 3 most significant bit first 16-bit,
  // 4 reflected 32-bit complemented; other values leave the initial value.
  uint8_t Mode = 0;
  std::string Polynom = "$A001";
  std::string Init = "$FFFF";
  bool SwapBytes = false;
  TEventLink dataText;
  TEventLink dataPolynom;
  TEventLink dataInit;
  TEventLink outCRC;

  void inCRC(TData& d, uint16_t index);

 private:
  // The table depends only on the mode and the polynomial, so it is rebuilt
  // only when one of them changes; each element keeps its own, which lets
  // instances run on different threads.
  std::array<uint32_t, 256> table_{};
  uint8_t tableMode_ = 0;
  uint32_t tablePolynom_ = 0;
  bool tableValid_ = false;

  void prepareTable(uint32_t polynom);
  uint32_t update(uint32_t crc, uint8_t byte) const;
};
