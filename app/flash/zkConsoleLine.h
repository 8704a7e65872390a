// Prints each incoming text as one line on a console stream, converted from
// Windows-1251 to UTF-8.
#pragma once

#include <cstdio>

#include "runtime/link.h"

class TZKConsoleLine {
 public:
  std::FILE* Stream = stdout;

  void inWrite(TData& d, uint16_t index);
};
