// Prints each incoming text as one line on the shared console's standard
// output, after a prefix (the port), converted from Windows-1251 to UTF-8.
// Without a board it prints nothing.
#pragma once

#include <string>

#include "app/flash/consoleBoard.h"
#include "runtime/link.h"

class TZKConsoleLine {
 public:
  TConsoleBoard* Board = nullptr;
  std::string Prefix;  // UTF-8

  void inWrite(TData& d, uint16_t index);
};
