// Works another program's windows as an operator would, for the window
// program's test under Wine; texts go to standard output in UTF-8.
//   texts TITLE [SECONDS]  print the window and its children as
//                          "class|visible|enabled|text", combo items "item|text"
//   click TITLE TEXT       click the enabled button TEXT
//   choose TITLE ITEM      choose ITEM in the window's combo box
//   close TITLE CLASS      post WM_CLOSE as the task bar's close does
//   version FILE           "Fixed|a.b.c.d", then "Name|value" per U.S. string
//   hold FILE              hold FILE open as a scanner does until a line comes
//   console-close EXE      close EXE's console as its close button does
//   sign-out EXE           sign the session out; prints "answered N"
// Exit status: 0 done, 1 no such window or program, 2 no such control, item,
// version resource or console routine, or a disabled button, 64 bad usage.
#include <windows.h>

#include <shellapi.h>  // after windows.h
#include <tlhelp32.h>  // after windows.h

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "runtime/windowsText.h"

namespace {

// Bounded: a hung program fails the test instead of hanging it.
LRESULT sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &result);
  return static_cast<LRESULT>(result);
}

std::wstring windowText(HWND window) {
  const auto length = static_cast<size_t>(sendTo(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<size_t>(
      sendTo(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
  text.resize(copied);
  return text;
}

std::wstring className(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

HWND findWindow(const wchar_t* className, const std::wstring& title, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (HWND window = FindWindowW(className, title.c_str())) return window;
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

bool isCombo(HWND window) { return _wcsicmp(className(window).c_str(), L"ComboBox") == 0; }

// One line per window: line breaks and backslashes in texts are escaped.
std::string escaped(const std::wstring& text) {
  std::string result;
  for (char c : utf8FromWide(text))
    result += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
  return result;
}

void printWindow(HWND window) {
  std::printf("%s|%d|%d|%s\n", utf8FromWide(className(window)).c_str(),
              IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0,
              escaped(windowText(window)).c_str());
  if (!isCombo(window)) return;
  const auto count = sendTo(window, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = static_cast<size_t>(sendTo(window, CB_GETLBTEXTLEN, i, 0));
    std::wstring item(length + 1, L'\0');
    sendTo(window, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(length);
    std::printf("item|%s\n", escaped(item).c_str());
  }
}

int clickButton(HWND window, const std::wstring& caption) {
  for (HWND child : children(window)) {
    if (_wcsicmp(className(child).c_str(), L"Button") != 0 || windowText(child) != caption)
      continue;
    if (!IsWindowEnabled(child) || !IsWindowVisible(child)) {
      std::fprintf(stderr, "the button is disabled or hidden\n");
      return 2;
    }
    // Posted: the click may start work that outlasts a sent message's time-out.
    PostMessageW(child, BM_CLICK, 0, 0);
    return 0;
  }
  std::fprintf(stderr, "no such button\n");
  return 2;
}

int chooseItem(HWND window, const std::wstring& item) {
  for (HWND child : children(window)) {
    if (!isCombo(child)) continue;
    const LRESULT index = sendTo(child, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(item.c_str()));
    if (index == CB_ERR) break;
    sendTo(child, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    // What the combo box tells its parent when the operator picks an item.
    const auto id = static_cast<WORD>(GetDlgCtrlID(child));
    PostMessageW(GetParent(child), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(child));
    return 0;
  }
  std::fprintf(stderr, "no combo box with that item\n");
  return 2;
}

int printVersion(const std::wstring& file) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(file.c_str(), &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (data.empty() ||
      !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    std::fprintf(stderr, "no version resource\n");
    return 2;
  }
  std::printf("Fixed|%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  for (const wchar_t* name :
       {L"FileDescription", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), (std::wstring(L"\\StringFileInfo\\040904b0\\") + name).c_str(),
                       reinterpret_cast<void**>(&value), &length))
      std::printf("%s|%s\n", utf8FromWide(name).c_str(), escaped(value).c_str());
  }
  return 0;
}

int holdOpen(const wchar_t* path) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  std::printf("held\n");
  std::fflush(stdout);
  char line[16];
  std::fgets(line, sizeof line, stdin);
  CloseHandle(file);
  return 0;
}

DWORD processOf(const std::wstring& exe) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && found == 0;
       more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, exe.c_str()) == 0) found = entry.th32ProcessID;
  CloseHandle(snapshot);
  return found;
}

// The console sends its events by starting the system's control routine in
// the program; no public call sends CTRL_CLOSE_EVENT.
int closeConsole(const std::wstring& exe) {
  const DWORD id = processOf(exe);
  const HANDLE process = id == 0 ? nullptr : OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
  if (process == nullptr) {
    std::fprintf(stderr, "no running %s\n", utf8FromWide(exe).c_str());
    return 1;
  }
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (routine == nullptr) {
    std::fprintf(stderr, "no console control routine\n");
    return 2;
  }
  const HANDLE thread = CreateRemoteThread(process, nullptr, 0, routine,
                                           reinterpret_cast<void*>(CTRL_CLOSE_EVENT), 0, nullptr);
  if (thread == nullptr) return 2;
  WaitForSingleObject(thread, 30000);
  TerminateProcess(process, STATUS_CONTROL_C_EXIT);
  CloseHandle(thread);
  CloseHandle(process);
  return 0;
}

// Windows asks every top-level window, then tells it the session ends, and
// ends the process soon after its answer.
int signOut(const std::wstring& exe) {
  const HWND window = FindWindowW(L"QuilmatronxFlashSession", nullptr);
  DWORD id = 0;
  if (window != nullptr) GetWindowThreadProcessId(window, &id);
  const HANDLE process =
      id == processOf(exe) ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, id) : nullptr;
  if (process == nullptr) {
    std::fprintf(stderr, "no window of a running %s\n", utf8FromWide(exe).c_str());
    return 1;
  }
  DWORD_PTR answer = 0, ended = 0;
  SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                      &answer);
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &ended);
  TerminateProcess(process, 1);
  std::printf("answered %d\n", static_cast<int>(answer));
  CloseHandle(process);
  return 0;
}

}  // namespace

int main() {
  // The wide command line: the ANSI one would lose the Cyrillic captions.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) {
    std::fprintf(stderr,
                 "usage: texts TITLE [SECONDS] | click TITLE TEXT | choose TITLE ITEM | "
                 "close TITLE CLASS | version FILE | hold FILE | console-close EXE | "
                 "sign-out EXE\n");
    return 64;
  }
  const std::wstring command = argv[1];
  if (command == L"version") return printVersion(argv[2]);
  if (command == L"hold") return holdOpen(argv[2]);
  if (command == L"console-close") return closeConsole(argv[2]);
  if (command == L"sign-out") return signOut(argv[2]);
  const std::wstring title = argv[2];
  const int seconds = command == L"texts" && argc > 3 ? _wtoi(argv[3]) : 0;
  const wchar_t* className = command == L"close" && argc > 3 ? argv[3] : nullptr;
  HWND window = findWindow(className, title, seconds);
  if (window == nullptr) {
    std::fprintf(stderr, "no window %s\n", utf8FromWide(title).c_str());
    return 1;
  }
  if (command == L"texts") {
    printWindow(window);
    for (HWND child : children(window)) printWindow(child);
    return 0;
  }
  if (command == L"click" && argc > 3) return clickButton(window, argv[3]);
  if (command == L"choose" && argc > 3) return chooseItem(window, argv[3]);
  if (command == L"close" && className != nullptr)
    return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 2;
  std::fprintf(stderr, "bad command\n");
  return 64;
}
