#include "zkStrCollect.h"

void TZKStrCollect::inAdd(TData& d, uint16_t) {
  if (kindOf(d) == TDataKind::String) {
    text_ += d.StrValue;
  } else {
    text_ += toString(d);
  }
  if (Size != 0 && text_.size() >= Size) inFlush(d, 0);
}

void TZKStrCollect::inFlush(TData&, uint16_t) {
  if (text_.empty()) return;
  std::string text = std::move(text_);
  text_.clear();
  fireEvent(outText, std::move(text));
}
