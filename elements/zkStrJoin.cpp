#include "zkStrJoin.h"

namespace {
bool endsLine(const std::string& text) {
  const size_t cr = text.find('\r');
  return text.find('\n') != std::string::npos || (cr != std::string::npos && cr + 1 < text.size());
}
}  // namespace

void TZKStrJoin::inAdd(TData& d, uint16_t) {
  std::string piece = toString(d);
  if (piece.empty()) return;
  std::unique_lock pass(passLock_);
  std::unique_lock text(textLock_);
  text_ += piece;
  if (LineEnd == 0) {
    std::string whole = text_;
    text.unlock();
    fireEvent(outJoined, std::move(whole));
  } else if (endsLine(text_)) {
    std::string whole = std::move(text_);
    text_.clear();
    text.unlock();
    fireEvent(outJoined, std::move(whole));
  } else {
    text.unlock();
    pass.unlock();
    fireEvent(outWaiting);
  }
}

void TZKStrJoin::inFlush(TData&, uint16_t) {
  const std::lock_guard pass(passLock_);
  std::unique_lock text(textLock_);
  if (text_.empty()) return;
  std::string whole = std::move(text_);
  text_.clear();
  text.unlock();
  fireEvent(outJoined, std::move(whole));
}

void TZKStrJoin::inClear(TData&, uint16_t) {
  const std::lock_guard text(textLock_);
  text_.clear();
}
