// Raw 8N1 at any baud rate for the simulator's side of the line.
#pragma once

#include <string>

namespace devsim {

// The uploader's line speed; not one of the standard rates.
inline constexpr unsigned kLineBaud = 38462;

// Puts the tty into raw mode (no echo, no line editing, no translation, no
// flow control), 8 data bits, no parity, one stop bit, at `baud`. On failure
// returns false and says why in `error`.
bool configureLine(int fd, unsigned baud, std::string& error);

}  // namespace devsim
