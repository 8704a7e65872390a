#include <windows.h>

#include <cstdint>

#include "app/station/appendFile.h"
#include "runtime/windowsText.h"

TAppendFile::~TAppendFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool TAppendFile::open(const std::string& path, std::string& error) {
  // Append access only: every write goes to the end of the file. The path
  // is UTF-8.
  HANDLE file = CreateFileW(wideFromUtf8(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = systemErrorText(GetLastError());
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
    error = systemErrorText(GetLastError());
    return false;
  }
  if (!FlushFileBuffers(file)) {
    error = systemErrorText(GetLastError());
    return false;
  }
  return true;
}

std::string hostName() {
  // The DNS host name as the operator gave it: the NetBIOS name is cut to
  // 15 characters, upper case, and in the ANSI code page.
  wchar_t name[256] = {};
  DWORD size = sizeof name / sizeof name[0];
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "unknown";
  return utf8FromWide({name, size});
}
