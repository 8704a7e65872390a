// Cuts a text into a fixed number of parts at a delimiter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/link.h"

class TZKMultiStrPart {
 public:
  std::string Delimiters;
  int32_t Skip = 0;  // leading tokens dropped before the parts
  TEventLink dataStr;
  TEventLink outNotFound;
  TEventLink outSplit;

  // Configuration: the number of parts.
  void setCount(uint16_t n);

  // A text without the delimiter goes out on outNotFound and leaves every part
  // empty; otherwise the parts are cut off and the rest of the text goes out
  // on outSplit.
  void inSplit(TData& d, uint16_t index);
  // Part index as a string; empty for an index beyond the parts.
  void varPart(TData& d, uint16_t index);

 private:
  std::vector<std::string> parts_;
};
