#include "consoleBoard.h"

#include <cstdlib>
#include <utility>

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

// Anyone may ask for no colours: NO_COLOR set to anything but empty.
bool coloursRefused() {
  const char* refused = std::getenv("NO_COLOR");
  return refused != nullptr && *refused != '\0';
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
      columns_(columns > 1 ? static_cast<size_t>(columns) : 80),
      colours_(live && !coloursRefused()),
      drawer_(&TConsoleBoard::drawLoop, this) {}

TConsoleBoard::~TConsoleBoard() { close(); }

void TConsoleBoard::print(std::FILE* stream, const std::string& line) {
  std::lock_guard guard(lock_);
  if (closed_) {
    put(stream, line + "\n");  // no drawing thread any more
    return;
  }
  queue_.push_back({stream, line + "\n"});
  changed_.notify_all();
}

size_t TConsoleBoard::addRow() {
  std::lock_guard guard(lock_);
  rows_.emplace_back();
  return rows_.size() - 1;
}

void TConsoleBoard::setRow(size_t row, std::string text, TTextColour colour, size_t colourFrom) {
  TRow line{std::move(text), colours_ ? colour : TTextColour::Plain, colourFrom};
  std::lock_guard guard(lock_);
  if (row >= rows_.size() || rows_[row] == line) return;
  rows_[row] = std::move(line);
  dirty_ = true;
  changed_.notify_all();
}

bool TConsoleBoard::flush(std::chrono::milliseconds limit) {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, limit, [&] { return queue_.empty() && !writing_; });
}

void TConsoleBoard::close() {
  {
    std::lock_guard guard(lock_);
    closing_ = true;
    changed_.notify_all();
  }
  if (drawer_.joinable()) drawer_.join();
  std::lock_guard guard(lock_);
  closed_ = true;
  // Printed while the drawing thread was ending.
  for (const TMessage& message : std::exchange(queue_, {})) put(message.stream, message.text);
}

void TConsoleBoard::drawLoop() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastDraw{};
  std::unique_lock guard(lock_);
  for (;;) {
    const bool redrawDue = live_ && dirty_ && Clock::now() - lastDraw >= redrawPeriod;
    if (queue_.empty() && !redrawDue && !closing_) {
      if (live_ && dirty_) {
        changed_.wait_until(guard, lastDraw + redrawPeriod);
      } else {
        changed_.wait(guard);
      }
      continue;
    }
    const std::vector<TMessage> messages = std::exchange(queue_, {});
    const bool last = closing_;
    // The live lines stay below the messages, so messages redraw them.
    const bool draw = live_ && !rows_.empty() && (!messages.empty() || redrawDue || last);
    const std::vector<TRow> rows = draw ? rows_ : std::vector<TRow>{};
    if (draw) dirty_ = false;
    writing_ = true;
    guard.unlock();
    if (!messages.empty() && drawn_ > 0) {
      put(err_, "\r\x1b[" + std::to_string(drawn_) + "A\x1b[J");
      drawn_ = 0;
    }
    for (const TMessage& message : messages) put(message.stream, message.text);
    if (draw) {
      // Up to the first line, then each line rewritten and cleared to its end.
      std::string text = drawn_ > 0 ? "\r\x1b[" + std::to_string(drawn_) + "A" : "\r";
      for (const TRow& row : rows) {
        const std::string shown = cut(row.text, columns_ - 1);
        const std::string plain = cut(shown, row.colourFrom);
        text += row.colour == TTextColour::Plain || plain.size() == shown.size()
                    ? shown
                    : plain + "\x1b[" + std::to_string(static_cast<int>(row.colour)) + "m" +
                          shown.substr(plain.size()) + "\x1b[0m";
        text += "\x1b[K\n";
      }
      put(err_, text);
      drawn_ = rows.size();
      lastDraw = Clock::now();
    }
    guard.lock();
    writing_ = false;
    changed_.notify_all();
    if (last) return;
  }
}

void TConsoleBoard::put(std::FILE* stream, const std::string& text) {
  std::atomic<bool>& lost = stream == out_ ? lostOut_ : lostErr_;
  if (lost) return;
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0)
    lost = true;
}
