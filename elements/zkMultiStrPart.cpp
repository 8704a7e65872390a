#include "zkMultiStrPart.h"

#include "nextToken.h"

void TZKMultiStrPart::setCount(uint16_t n) { parts_.resize(n); }

void TZKMultiStrPart::inSplit(TData& d, uint16_t) {
  for (std::string& part : parts_) part.clear();
  std::string text = readString(d, dataStr, std::string());
  if (Delimiters.empty() || text.find(Delimiters) == std::string::npos) {
    tailEvent(d, outNotFound, std::move(text));
    return;
  }
  for (int32_t i = 0; i < Skip && !text.empty(); ++i) nextToken(text, Delimiters);
  for (std::string& part : parts_) part = nextToken(text, Delimiters);
  tailEvent(d, outSplit, std::move(text));
}

void TZKMultiStrPart::varPart(TData& d, uint16_t index) {
  makeString(d, index < parts_.size() ? parts_[index] : std::string());
}
