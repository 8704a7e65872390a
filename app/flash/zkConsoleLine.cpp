#include "zkConsoleLine.h"

#include "runtime/codepage.h"

void TZKConsoleLine::inWrite(TData& d, uint16_t) {
  if (Board != nullptr) Board->print(Board->out(), Prefix + cp1251ToUtf8(toString(d)));
}
