// Joins two texts.
#pragma once

#include <string>

#include "runtime/link.h"

class TZKStrCat {
 public:
  std::string Str1;  // default for dataStr1
  std::string Str2;  // default for dataStr2
  TEventLink dataStr2;
  TEventLink dataStr1;
  TEventLink outResult;

  // A non-empty default wins over the incoming value; an empty one takes the
  // next incoming value.
  void inStrCat(TData& d, uint16_t index);
};
