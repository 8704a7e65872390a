#include "zkConsoleLine.h"

#include "app/flash/console.h"

void TZKConsoleLine::inWrite(TData& d, uint16_t) { printLine(Stream, toString(d)); }
