// The console that every port's elements and the main thread share.
// Messages go out as whole lines, whichever thread prints them. On a live
// terminal one line per port stays below the messages and is redrawn in
// place, at most ten times a second however often the ports change it.
// One drawing thread of its own does all the writing: a port's thread only
// hands its text over, so a console that stops taking output (a click into
// a Windows console, Ctrl-S in a terminal) never stalls an upload. A stream
// that is gone (a closed pipe) is written to no more. A live line may end
// in colour, unless NO_COLOR is set.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// SGR foreground colours.
enum class TTextColour { Plain = 0, Red = 31, Green = 32, Yellow = 33 };

class TConsoleBoard {
 public:
  // live: err is a terminal that can redraw lines in place, columns wide.
  TConsoleBoard(std::FILE* out, std::FILE* err, bool live, int columns = 80);
  ~TConsoleBoard();
  TConsoleBoard(const TConsoleBoard&) = delete;
  TConsoleBoard& operator=(const TConsoleBoard&) = delete;

  std::FILE* out() const { return out_; }
  std::FILE* err() const { return err_; }
  bool live() const { return live_; }

  // One message line (UTF-8, without the line break) on out or err.
  void print(std::FILE* stream, const std::string& line);

  // Adds a live line (before the ports start); returns its number.
  size_t addRow();
  // Replaces a live line's text; shown at the next redraw, from character
  // colourFrom on in colour.
  void setRow(size_t row, std::string text, TTextColour colour = TTextColour::Plain,
              size_t colourFrom = 0);
  // Waits, at most limit, until every message printed so far has been
  // written; false when the time was up first.
  bool flush(std::chrono::milliseconds limit);
  // Writes what is left, draws the lines a last time and leaves them where
  // they are; later messages are written at once, below them.
  void close();
  // True once a write to out or err failed: part of the output is lost.
  bool outputLost() const { return lostOut_ || lostErr_; }

 private:
  struct TMessage {
    std::FILE* stream;
    std::string text;
  };
  struct TRow {
    std::string text;
    TTextColour colour = TTextColour::Plain;
    size_t colourFrom = 0;
    bool operator==(const TRow&) const = default;
  };

  void drawLoop();
  // Writes text unless the stream is gone; a failed write marks it gone.
  void put(std::FILE* stream, const std::string& text);

  std::FILE* const out_;
  std::FILE* const err_;
  const bool live_;
  const size_t columns_;
  const bool colours_;
  std::atomic<bool> lostOut_{false};
  std::atomic<bool> lostErr_{false};

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<TMessage> queue_;
  std::vector<TRow> rows_;
  bool dirty_ = false;
  bool writing_ = false;
  bool closing_ = false;
  bool closed_ = false;  // the drawing thread has ended
  size_t drawn_ = 0;     // lines on the screen above the cursor; the drawer's own
  std::thread drawer_;
};

// The number of characters in a UTF-8 text.
size_t textWidth(const std::string& utf8);
// The text padded with spaces to width characters (never cut).
std::string padded(const std::string& utf8, size_t width);
