#include "zkByteTrace.h"

#include <algorithm>

#include "elements/hexText.h"

namespace {
constexpr size_t bytesPerLine = 16;
}

TTraceFile::TTraceFile(std::FILE* file) : file_(file) {
  std::fputs(
      "# time (s), port, > written to the device, < read from it, + the line above goes on,\n"
      "# ! handed to the port but not written (failed, timed out or refused), bytes\n",
      file_);
}

TTraceFile::~TTraceFile() { std::fclose(file_); }

double TTraceFile::secondsSinceStart() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void TTraceFile::writeLine(const std::string& line) {
  std::lock_guard guard(lock_);
  std::fputs(line.c_str(), file_);
}

void TZKByteTrace::inWrite(TData& d, uint16_t) {
  if (File == nullptr) return;
  std::lock_guard guard(lock_);
  writing_ = toString(d);
}

void TZKByteTrace::inWritten(TData& d, uint16_t) {
  if (File == nullptr) return;
  const auto reported = static_cast<size_t>(std::max(toInteger(d), 0));
  std::lock_guard guard(lock_);
  const size_t count = std::min(reported, writing_.size());
  add('>', writing_.substr(0, count));
  writing_.erase(0, count);
}

void TZKByteTrace::inWriteFailed(TData&, uint16_t) {
  if (File == nullptr) return;
  std::lock_guard guard(lock_);
  addLines('!', writing_);
  writing_.clear();
}

void TZKByteTrace::inRead(TData& d, uint16_t) {
  if (File == nullptr) return;
  std::lock_guard guard(lock_);
  addLines('<', toString(d));
}

void TZKByteTrace::addLines(char direction, const std::string& bytes) {
  emit();
  pendingAt_ = File->secondsSinceStart();
  for (size_t at = 0; at < bytes.size(); at += bytesPerLine) {
    direction_ = at == 0 ? direction : '+';
    pending_ = bytes.substr(at, bytesPerLine);
    emit();
  }
}

void TZKByteTrace::flush() {
  if (File == nullptr) return;
  std::lock_guard guard(lock_);
  emit();
}

void TZKByteTrace::add(char direction, const std::string& bytes) {
  for (char byte : bytes) {
    if (direction_ != direction || pending_.size() == bytesPerLine) emit();
    if (pending_.empty()) {
      direction_ = direction;
      pendingAt_ = File->secondsSinceStart();
    }
    pending_ += byte;
  }
}

void TZKByteTrace::emit() {
  if (pending_.empty()) return;
  char time[32];
  std::snprintf(time, sizeof time, "%12.6f", pendingAt_);
  std::string hex, text;
  for (char c : pending_) {
    const auto byte = static_cast<unsigned char>(c);
    hex += intToHex(byte, 2) + " ";
    text += byte >= 0x20 && byte < 0x7F ? c : '.';
  }
  hex.resize(bytesPerLine * 3, ' ');
  File->writeLine(std::string(time) + "  " + Port + "  " + direction_ + "  " + hex + " " + text +
                  "\n");
  pending_.clear();
}
