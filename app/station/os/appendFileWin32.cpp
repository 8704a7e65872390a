#include <windows.h>

#include <cstdint>
#include <system_error>

#include "app/station/appendFile.h"

namespace {
std::string systemMessage(DWORD code) {
  return std::system_category().message(static_cast<int>(code));
}
}  // namespace

TAppendFile::~TAppendFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool TAppendFile::open(const std::string& path, std::string& error) {
  // Append access only: every write goes to the end of the file. The path
  // comes from the command line, in the ANSI code page.
  HANDLE file =
      CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = systemMessage(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool TAppendFile::append(const std::string& bytes, std::string& error) {
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    error = systemMessage(GetLastError());
    return false;
  }
  if (!FlushFileBuffers(file)) {
    error = systemMessage(GetLastError());
    return false;
  }
  return true;
}

std::string hostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return "unknown";
  return name;
}
