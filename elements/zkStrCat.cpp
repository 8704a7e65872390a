#include "zkStrCat.h"

void TZKStrCat::inStrCat(TData& d, uint16_t) {
  std::string text = readString(d, dataStr1, Str1);
  text += readString(d, dataStr2, Str2);
  tailEvent(d, outResult, std::move(text));
}
