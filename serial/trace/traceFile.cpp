#include "serial/trace/traceFile.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "serial/trace/traceFormat.h"

std::unique_ptr<TTraceFile> TTraceFile::create(const std::string& path, const std::string& program,
                                               std::string& error) {
  // "T": zlib writes the file as it stands, without compressing it.
  const bool compressed = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  const auto file = static_cast<gzFile>(open(path, compressed ? "wb" : "wT"));
  if (file == nullptr) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<TTraceFile> trace(new TTraceFile(file, !compressed));
  trace->writeLine(traceFormat::header(program));
  return trace;
}

TTraceFile::~TTraceFile() { finish(); }

void TTraceFile::finish() {
  std::lock_guard guard(lock_);
  if (file_ != nullptr) gzclose(static_cast<gzFile>(file_));
  file_ = nullptr;
}

double TTraceFile::secondsSinceStart() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void TTraceFile::writeLine(const std::string& line) {
  std::lock_guard guard(lock_);
  if (file_ == nullptr) return;
  gzwrite(static_cast<gzFile>(file_), line.data(), static_cast<unsigned>(line.size()));
  // A plain trace is complete up to the last line even if the program is
  // killed; a compressed one is only complete once closed.
  if (flushEachLine_) gzflush(static_cast<gzFile>(file_), Z_SYNC_FLUSH);
}
