#include <io.h>
#include <windows.h>

#include <cerrno>
#include <system_error>

#include "app/flash/host.h"

namespace {
void (*interruptHandler)() = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  interruptHandler();
  return TRUE;
}

HANDLE consoleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}
}  // namespace

void prepareConsole() { SetConsoleOutputCP(CP_UTF8); }

bool liveConsole(std::FILE* stream) {
  // Redrawing in place needs the console's escape sequences (Windows 10 on).
  DWORD mode = 0;
  const HANDLE console = consoleOf(stream);
  return _isatty(_fileno(stream)) != 0 && GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int consoleColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(consoleOf(stream), &info)) return 80;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void onInterrupt(void (*handler)()) {
  interruptHandler = handler;
  SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

bool portPresent(const std::string& port) {
  char target[1024];
  return QueryDosDeviceA(port.c_str(), target, sizeof target) != 0;
}

bool replaceFile(const std::string& path, const std::string& bytes, std::string& error) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = std::generic_category().message(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                       std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
  if (!written) error = std::generic_category().message(errno);
  std::fclose(file);
  if (written && MoveFileExA(temporary.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (written) error = std::system_category().message(static_cast<int>(GetLastError()));
  DeleteFileA(temporary.c_str());
  return false;
}
