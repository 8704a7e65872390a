// The trace file: what a program said to the device on each port and what it
// read back, with the time, for support and for replaying it. One file for
// all of a program's ports; every line names its port. Plain text, or
// compressed (zlib's gzip format) when the name ends in ".gz".
//
//   # quilmatronx trace 1
//   # recorded by quilmatronx-flash 1.0.0 (firmware 9.5, commit 0123456789ab)
//       0.000431  /dev/pts/3  open
//       0.000502  /dev/pts/3  settings  38462 Bd 8N1, DTR off, RTS off, no flow control
//       0.104512  /dev/pts/3  >  56 45 52 53                 VERS
//       0.107880  /dev/pts/3  <  51 55 49 4C 4D 41 54 52 ...  QUILMATR...
//       0.107880  /dev/pts/3  +  39 2E 35                    9.5
//       2.315002  /dev/pts/3  !  41                          A
//       3.517100  /dev/pts/3  lost
//       3.520000  /dev/pts/3  close
//
// ">" is one write to the device, "!" what a write was handed but did not
// write (it failed, timed out or was refused; after the ">" of the part it
// wrote), "<" is one read, and "+" goes on with the line above (a write or
// a read longer than 16 bytes): a block written in one write is a ">" line
// and fifteen "+" lines, and an answer that came in pieces shows as several
// "<" lines. Traces recorded before writes had lines of their own show
// consecutive writes sharing ">" lines. "lost": the port failed or went
// away under the program. The time is seconds since the recording began.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TTraceEntry {
  enum class Kind { Open, OpenFailed, Settings, Written, NotWritten, Read, Lost, Close };
  Kind kind = Kind::Written;
  double time = 0;
  std::string port;
  std::string bytes;  // Written, NotWritten, Read (the whole read)
  std::string text;   // Settings, OpenFailed: the words after the mark
  int line = 0;       // in the file, counted from 1
};

struct TTrace {
  std::string recordedBy;  // the recording program's version line
  std::vector<TTraceEntry> entries;

  // The ports in the order they first appear.
  std::vector<std::string> ports() const;
  // The entries of one port, in order.
  std::vector<TTraceEntry> of(const std::string& port) const;
  // The bytes of one kind on one port, joined.
  std::string bytes(const std::string& port, TTraceEntry::Kind kind) const;
};

// The lines of a trace, for a writer that keeps the file itself.
namespace traceFormat {
inline constexpr size_t BytesPerLine = 16;
// The lines that begin a file recorded by `program` (its version line).
std::string header(std::string_view program);
// One line of up to BytesPerLine bytes with mark '>', '!', '<' or '+'.
std::string bytesLine(double time, std::string_view port, char mark, std::string_view bytes);
// The lines of one write or read: the first with mark, the rest with '+';
// none for no bytes.
std::string bytesLines(double time, std::string_view port, char mark, std::string_view bytes);
// One line of an event ("open", "settings", ...) with optional words after it.
std::string eventLine(double time, std::string_view port, std::string_view event,
                      std::string_view words = {});
}  // namespace traceFormat

// Reads a trace, plain or compressed. Nothing and `error` on a file that
// cannot be read or a line that is not a trace line (says which).
std::optional<TTrace> readTrace(const std::string& path, std::string& error);
std::optional<TTrace> parseTrace(std::string_view text, std::string& error);
