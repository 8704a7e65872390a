#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "app/flash/host.h"
#include "runtime/windowsText.h"

namespace {
void (*interruptHandler)(int) = nullptr;
HANDLE endEvent = nullptr;
// Windows ends the process 5 s after a close, logoff or shutdown event, and
// may end it once WM_ENDSESSION has been answered.
constexpr DWORD endHoldMs = 4500;
// Sign-out and shutdown reach a console program that loads user32 through
// a top-level window only (a message-only window gets no broadcasts).
HWND sessionWindow = nullptr;
std::atomic<bool> busyNow{false};
// Posted to the session window: ShutdownBlockReason* work only on the
// thread that made the window.
constexpr UINT busyChanged = WM_APP + 1;
// How long a report someone holds open is waited for.
constexpr auto replaceRetryLimit = std::chrono::seconds(2);

// What prepareConsole() changed, to put back at the end.
struct TConsoleState {
  bool saved = false;
  UINT outputCodePage = 0;
  HANDLE input = INVALID_HANDLE_VALUE;
  DWORD inputMode = 0;
  bool inputModeSaved = false;
  HANDLE outputs[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  DWORD outputModes[2] = {0, 0};
  bool outputModeSaved[2] = {false, false};
} console;

// As a second Ctrl-C, then held until the records and the report are
// written: the process ends when the caller's call returns.
void endNow() {
  interruptHandler(2);
  WaitForSingleObject(endEvent, endHoldMs);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      interruptHandler(1);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      endNow();
      return TRUE;
    default:
      return FALSE;
  }
}

LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      // Busy: Windows shows the reason and waits for the user's word.
      return busyNow.load() ? FALSE : TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) endNow();
      return 0;
    case busyChanged:
      if (busyNow.load())
        ShutdownBlockReasonCreate(window, L"Идёт запись ПО");
      else
        ShutdownBlockReasonDestroy(window);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The session window's thread: it lives as long as the process and touches
// nothing but the interrupt handler's counter.
DWORD WINAPI sessionWindowLoop(void* made) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &onSessionMessage;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"QuilmatronxFlashSession";
  RegisterClassW(&windowClass);
  // Never shown: WS_OVERLAPPED without WS_VISIBLE.
  sessionWindow = CreateWindowExW(0, windowClass.lpszClassName, L"quilmatronx-flash", WS_OVERLAPPED,
                                  0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
  SetEvent(static_cast<HANDLE>(made));
  if (sessionWindow == nullptr) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

HANDLE consoleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool sharingViolation(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}
}  // namespace

void prepareConsole() {
  console.saved = true;
  console.outputCodePage = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  // A click into a console with QuickEdit starts a selection that blocks
  // every write to it until Esc.
  console.input = GetStdHandle(STD_INPUT_HANDLE);
  if (GetConsoleMode(console.input, &console.inputMode)) {
    console.inputModeSaved = true;
    SetConsoleMode(console.input,
                   (console.inputMode | ENABLE_EXTENDED_FLAGS) & ~DWORD{ENABLE_QUICK_EDIT_MODE});
  }
  // liveConsole() may switch the escape sequences on.
  const DWORD streams[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int i = 0; i < 2; ++i) {
    console.outputs[i] = GetStdHandle(streams[i]);
    console.outputModeSaved[i] = GetConsoleMode(console.outputs[i], &console.outputModes[i]) != 0;
  }
}

void restoreConsole() {
  if (!console.saved) return;
  for (int i = 0; i < 2; ++i)
    if (console.outputModeSaved[i]) SetConsoleMode(console.outputs[i], console.outputModes[i]);
  if (console.inputModeSaved) SetConsoleMode(console.input, console.inputMode);
  SetConsoleOutputCP(console.outputCodePage);
}

bool liveConsole(std::FILE* stream) {
  // Redrawing in place needs the console's escape sequences (Windows 10 on).
  DWORD mode = 0;
  const HANDLE handle = consoleOf(stream);
  return _isatty(_fileno(stream)) != 0 && GetConsoleMode(handle, &mode) &&
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int consoleColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(consoleOf(stream), &info)) return 80;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void onInterrupt(void (*handler)(int)) {
  interruptHandler = handler;
  endEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
  const HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const HANDLE thread = CreateThread(nullptr, 0, &sessionWindowLoop, made, 0, nullptr);
  if (thread == nullptr) return;
  CloseHandle(thread);
  // setBusy() posts to the window: it must exist first. The thread still
  // sets the event after a wait that gave up, so that one stays open.
  if (WaitForSingleObject(made, 5000) == WAIT_OBJECT_0) CloseHandle(made);
}

void endReached() {
  if (endEvent != nullptr) SetEvent(endEvent);
}

void setBusy(bool busy) {
  if (busyNow.exchange(busy) != busy && sessionWindow != nullptr)
    PostMessageW(sessionWindow, busyChanged, 0, 0);
}

bool portPresent(const std::string& port) {
  char target[1024];
  return QueryDosDeviceA(port.c_str(), target, sizeof target) != 0;
}

bool replaceFile(const std::string& path, const std::string& bytes, std::string& error) {
  // A name no other run uses, in the report's own folder (the rename stays
  // on one volume): GetTempFileName creates it. Paths are UTF-8: the W
  // functions take every letter the folder's name has.
  const std::wstring target = wideFromUtf8(path);
  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash + 1);
  wchar_t temporary[MAX_PATH + 1];
  if (GetTempFileNameW(folder.c_str(), L"qxr", 0, temporary) == 0) {
    error = systemErrorText(GetLastError());
    return false;
  }
  const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool complete =
      file != INVALID_HANDLE_VALUE &&
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && FlushFileBuffers(file);
  if (!complete) error = systemErrorText(GetLastError());
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (complete) {
    const auto deadline = std::chrono::steady_clock::now() + replaceRetryLimit;
    for (;;) {
      if (MoveFileExW(temporary, target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
      const DWORD failure = GetLastError();
      if (!sharingViolation(failure) || std::chrono::steady_clock::now() >= deadline) {
        error = systemErrorText(failure);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  DeleteFileW(temporary);
  return false;
}
