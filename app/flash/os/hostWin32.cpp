#include <io.h>
#include <windows.h>

#include "app/flash/console.h"

namespace {
void (*interruptHandler)() = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  interruptHandler();
  return TRUE;
}
}  // namespace

void prepareConsole() { SetConsoleOutputCP(CP_UTF8); }

bool isTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void onInterrupt(void (*handler)()) {
  interruptHandler = handler;
  SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}
