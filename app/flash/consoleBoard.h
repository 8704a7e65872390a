// The console that every port's elements and the main thread share.
// Messages go out as whole lines, whichever thread prints them. On a live
// terminal one line per port stays below the messages and is redrawn in
// place, at most ten times a second however often the ports change it.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class TConsoleBoard {
 public:
  // live: err is a terminal that can redraw lines in place, columns wide.
  TConsoleBoard(std::FILE* out, std::FILE* err, bool live, int columns = 80);

  std::FILE* out() const { return out_; }
  std::FILE* err() const { return err_; }
  bool live() const { return live_; }

  // One message line (UTF-8, without the line break) on out or err.
  void print(std::FILE* stream, const std::string& line);

  // Adds a live line (before the ports start); returns its number.
  size_t addRow();
  // Replaces a live line's text; shown now or at the next redraw.
  void setRow(size_t row, std::string text);
  // Redraws changed lines when it is time.
  void refresh();
  // Draws the lines a last time and leaves them where they are; later
  // messages go below them.
  void close();

 private:
  void draw();
  void erase();

  std::mutex lock_;
  std::FILE* const out_;
  std::FILE* const err_;
  const bool live_;
  const size_t columns_;
  std::vector<std::string> rows_;
  size_t drawn_ = 0;  // lines on the screen above the cursor
  bool dirty_ = false;
  bool closed_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// The number of characters in a UTF-8 text.
size_t textWidth(const std::string& utf8);
// The text padded with spaces to width characters (never cut).
std::string padded(const std::string& utf8, size_t width);
