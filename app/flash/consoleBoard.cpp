#include "consoleBoard.h"

namespace {
constexpr std::chrono::milliseconds redrawPeriod{100};

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// At most width characters, so a line never wraps and breaks the redraw.
std::string cut(const std::string& utf8, size_t width) {
  size_t characters = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (continuationByte(utf8[i])) continue;
    if (characters++ == width) return utf8.substr(0, i);
  }
  return utf8;
}
}  // namespace

size_t textWidth(const std::string& utf8) {
  size_t characters = 0;
  for (char c : utf8) characters += continuationByte(c) ? 0 : 1;
  return characters;
}

std::string padded(const std::string& utf8, size_t width) {
  const size_t used = textWidth(utf8);
  return used >= width ? utf8 : utf8 + std::string(width - used, ' ');
}

TConsoleBoard::TConsoleBoard(std::FILE* out, std::FILE* err, bool live, int columns)
    : out_(out),
      err_(err),
      live_(live),
      columns_(columns > 1 ? static_cast<size_t>(columns) : 80) {}

void TConsoleBoard::print(std::FILE* stream, const std::string& line) {
  std::lock_guard guard(lock_);
  if (drawn_ > 0) erase();
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
  if (live_ && !closed_ && !rows_.empty()) draw();
}

size_t TConsoleBoard::addRow() {
  std::lock_guard guard(lock_);
  rows_.emplace_back();
  return rows_.size() - 1;
}

void TConsoleBoard::setRow(size_t row, std::string text) {
  std::lock_guard guard(lock_);
  if (row >= rows_.size() || rows_[row] == text) return;
  rows_[row] = std::move(text);
  dirty_ = true;
  if (live_ && !closed_ && std::chrono::steady_clock::now() - lastDraw_ >= redrawPeriod) draw();
}

void TConsoleBoard::refresh() {
  std::lock_guard guard(lock_);
  if (live_ && !closed_ && dirty_ && std::chrono::steady_clock::now() - lastDraw_ >= redrawPeriod)
    draw();
}

void TConsoleBoard::close() {
  std::lock_guard guard(lock_);
  if (live_ && !closed_ && !rows_.empty()) draw();
  closed_ = true;
  drawn_ = 0;
}

void TConsoleBoard::draw() {
  // Up to the first line, then each line rewritten and cleared to its end.
  std::string text = drawn_ > 0 ? "\r\x1b[" + std::to_string(drawn_) + "A" : "\r";
  for (const std::string& row : rows_) text += cut(row, columns_ - 1) + "\x1b[K\n";
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fflush(err_);
  drawn_ = rows_.size();
  dirty_ = false;
  lastDraw_ = std::chrono::steady_clock::now();
}

void TConsoleBoard::erase() {
  const std::string text = "\r\x1b[" + std::to_string(drawn_) + "A\x1b[J";
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fflush(err_);
  drawn_ = 0;
}
