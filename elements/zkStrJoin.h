// Joins the pieces in which a text arrives from a port: a serial adapter
// hands one answer over in as many reads as its timer happens to cut it
// into. An empty piece is no piece at all.
//
// LineEnd 1: the text is passed on once it is complete, at a line end or
// when inFlush says that nothing more is coming (the owner's quiet-gap
// timer), and then forgotten; a piece that leaves the text incomplete fires
// outWaiting, so the owner can restart that timer. A CR at the very end
// waits for the LF that may follow it in the next piece.
// LineEnd 0: after every piece the whole text since the last inClear is
// passed on, and kept.
//
// Pieces may arrive on one thread while a flush or a clear comes from
// another; one joined text is handled completely before the next.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "runtime/link.h"

class TZKStrJoin {
 public:
  uint8_t LineEnd = 0;
  TEventLink outJoined;
  TEventLink outWaiting;

  void inAdd(TData& d, uint16_t index);
  // Passes on what has been joined so far, if anything (LineEnd 1).
  void inFlush(TData& d, uint16_t index);
  // Forgets what has been joined so far.
  void inClear(TData& d, uint16_t index);

 private:
  // Taken before textLock_; not held while outWaiting fires, which may
  // wait for a flush under way.
  std::mutex passLock_;
  std::mutex textLock_;
  std::string text_;
};
