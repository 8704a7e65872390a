#include "console.h"

#include <mutex>

#include "runtime/codepage.h"

namespace {
std::mutex printLock;
}

void printText(std::FILE* stream, const std::string& utf8) {
  std::lock_guard lock(printLock);
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

void printLine(std::FILE* stream, const std::string& cp1251) {
  printText(stream, cp1251ToUtf8(cp1251) + "\n");
}
