// Hexadecimal text conversions shared by the check-sum element and the
// convertor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Value of an optional leading "$" followed by hexadecimal digits, read up to
// the first other character; 0 when there are none. Only the last eight
// digits count (the value wraps at 32 bits).
uint32_t hexToInt(std::string_view text);

// Upper-case hexadecimal with at least `digits` digits (zero-padded, at least
// one), more when the value needs them.
std::string intToHex(uint32_t value, int digits);
