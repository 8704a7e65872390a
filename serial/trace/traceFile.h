// Where a program records its trace (traceFormat.h): one file for all its
// ports, written line by line from any thread.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

class TTraceFile {
 public:
  // Creates the file (compressed when the name ends in ".gz") and writes the
  // header naming `program`, the recording program's version line. Null
  // with the reason in `error` when it cannot be written.
  static std::unique_ptr<TTraceFile> create(const std::string& path, const std::string& program,
                                            std::string& error);
  ~TTraceFile();
  TTraceFile(const TTraceFile&) = delete;
  TTraceFile& operator=(const TTraceFile&) = delete;

  double secondsSinceStart() const;
  void writeLine(const std::string& line);
  // Completes the file now (a compressed one is unreadable until then);
  // lines written after it, by ports still closing, are dropped.
  void finish();

 private:
  TTraceFile(void* file, bool flushEachLine) : file_(file), flushEachLine_(flushEachLine) {}
  // zlib's gzopen on the UTF-8 path (one file per platform: os/traceOpen*).
  static void* open(const std::string& path, const char* mode);

  std::mutex lock_;
  void* file_;  // zlib's gzFile, which also writes plain files
  const bool flushEachLine_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};
