// Windows: message boxes through the wide API (texts converted from 1251),
// the screen's resolution from the desktop's device context, resources of
// type 100 from the program's own module, the arguments from the wide
// command line, sleep held off for the calling thread.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "../codepage.h"
#include "../systemSeams.h"
#include "../windowsText.h"

namespace {
void win32MessageBox(const std::string& text, const std::string& caption) {
  const std::wstring wideText = cp1251ToWide(text);
  const std::wstring wideCaption = cp1251ToWide(caption);
  MessageBoxW(GetActiveWindow(), wideText.c_str(), wideCaption.c_str(), MB_OK);
}

int desktopPixelsPerInch() {
  HDC dc = GetDC(nullptr);
  const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return ppi;
}

std::string_view moduleResource(const std::string& name) {
  HRSRC info = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(100));
  if (info == nullptr) return findEmbeddedResource(name);
  HGLOBAL handle = LoadResource(nullptr, info);
  const DWORD size = SizeofResource(nullptr, info);
  const void* bytes = LockResource(handle);
  if (bytes == nullptr) return {};
  return {static_cast<const char*>(bytes), size};
}

void threadKeepAwake(bool awake) {
  SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}
}  // namespace

std::vector<std::string> programArguments(int argc, const char* const* argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

TSystemSeams platformSystemSeams() {
  return TSystemSeams{&win32MessageBox, &desktopPixelsPerInch, &moduleResource, &threadKeepAwake};
}
