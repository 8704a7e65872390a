#include <windows.h>

#include <cstdint>

#include "app/station/appendFile.h"

namespace {
std::string systemMessage(DWORD code) {
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text != nullptr ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

std::wstring wide(const std::string& utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring text(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), size);
  text.resize(text.size() - 1);
  return text;
}
}  // namespace

TAppendFile::~TAppendFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool TAppendFile::open(const std::string& path, std::string& error) {
  // Append access only: every write goes to the end of the file.
  HANDLE file = CreateFileW(wide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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
