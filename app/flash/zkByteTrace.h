// The --trace file: every byte each port writes and reads, with the time,
// as hexadecimal and as text, for support. One file for all ports; every
// line names its port.
//
//     0.104512  /dev/pts/3  >  56 45 52 53                 VERS
//     0.107880  /dev/pts/3  <  51 55 49 4C 4D 41 54 52 ...  QUILMATR...
//     0.107880  /dev/pts/3  +  39 2E 35                    9.5
//     2.315002  /dev/pts/3  !  41                          A
//
// ">" was written to the device (as the port reports it, after the write),
// "<" begins a read, "+" continues the line above (a read longer than 16
// bytes), "!" was handed to the port but not written (the write failed,
// timed out or was refused). The time is seconds since the run began and
// belongs to the line's first byte. Consecutive writes (the image goes one
// byte a write) share lines of 16 bytes; each read starts a line of its
// own, so an answer that came in pieces shows as several "<" lines.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "runtime/link.h"

class TTraceFile {
 public:
  explicit TTraceFile(std::FILE* file);
  ~TTraceFile();
  TTraceFile(const TTraceFile&) = delete;
  TTraceFile& operator=(const TTraceFile&) = delete;

  double secondsSinceStart() const;
  void writeLine(const std::string& line);

 private:
  std::mutex lock_;
  std::FILE* file_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

class TZKByteTrace {
 public:
  TTraceFile* File = nullptr;  // null: nothing is traced
  std::string Port;

  // Bytes about to be written to the device; traced by the port's answer.
  void inWrite(TData& d, uint16_t index);
  // The port's count of the bytes written by that write.
  void inWritten(TData& d, uint16_t index);
  // The write did not go out whole: the rest was not written.
  void inWriteFailed(TData& d, uint16_t index);
  // Bytes read from the device.
  void inRead(TData& d, uint16_t index);
  // Writes out the bytes still held for a line of their own.
  void flush();

 private:
  void add(char direction, const std::string& bytes);
  // Bytes of their own lines: the first marked, the rest "+".
  void addLines(char direction, const std::string& bytes);
  void emit();

  std::mutex lock_;
  std::string writing_;  // handed to the port, not yet traced as written
  char direction_ = 0;
  std::string pending_;
  double pendingAt_ = 0;
};
