// Windows, before any code of the program runs: the lowest Windows version
// (README) is checked with one clear line, and DLLs loaded at run time come
// from the system folder alone, never from the program's own folder, where
// a planted one (in Downloads, say) would run inside the program. The
// program imports only known system DLLs, which Windows always takes from
// there.
#include <windows.h>

#include <initializer_list>

namespace {
// Windows 7 with Service Pack 1: the oldest the programs are built for (no
// import newer than it; the rest is looked up at run time).
bool windowsNewEnough() {
  OSVERSIONINFOEXW wanted{};
  wanted.dwOSVersionInfoSize = sizeof wanted;
  wanted.dwMajorVersion = 6;
  wanted.dwMinorVersion = 1;
  wanted.wServicePackMajor = 1;
  DWORDLONG condition = 0;
  for (const DWORD part :
       {DWORD{VER_MAJORVERSION}, DWORD{VER_MINORVERSION}, DWORD{VER_SERVICEPACKMAJOR}})
    condition = VerSetConditionMask(condition, part, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            condition) != 0;
}

// The command-line uploader has standard error; the window program started
// from Explorer has none and says it in a box, in the operator's language.
[[noreturn]] void refuseOldWindows() {
  static const char line[] = "This program needs Windows 7 with Service Pack 1 or later.\r\n";
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (error == nullptr || error == INVALID_HANDLE_VALUE ||
      !WriteFile(error, line, sizeof line - 1, &written, nullptr)) {
    MessageBoxW(nullptr, L"Для этой программы нужна Windows 7 с пакетом обновления 1 или новее.",
                L"Quilmatronx bootloader", MB_OK | MB_ICONERROR);
  }
  ExitProcess(ERROR_OLD_WIN_VERSION);
}

[[gnu::constructor]] void startOnSupportedWindows() {
  if (!windowsNewEnough()) refuseOldWindows();
  // Windows 7 has SetDefaultDllDirectories only with update KB2533623 (a
  // static import would keep the program from starting without it). Then
  // the fallback takes the current folder out of the search; the program's
  // own folder still comes first for DLLs that Windows itself loads by name
  // later, which the README's note on that update covers.
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<TSetDefaultDllDirectories>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}
}  // namespace
