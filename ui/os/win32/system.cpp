// The window system on Win32: real controls of the standard classes, created
// and addressed through the W functions so that the 1251 texts show the same
// on every Windows locale. Other threads hand their calls over to a message
// window of the UI thread.
#include "backend.h"

namespace {
const wchar_t* const WakeClassName = L"QuilWake";
}  // namespace

std::unique_ptr<TNativeControl> TWin32WindowSystem::createControl(const TControlSpec& params) {
  const bool child = (params.Style & WinStyle::Child) != 0;
  return std::make_unique<TWin32Control>(*this, params, child ? nextChildId_++ : 0);
}

std::unique_ptr<TNativeTooltip> TWin32WindowSystem::createTooltip(TNativeControl& owner,
                                                                  const TTooltipSpec& params) {
  return std::make_unique<TWin32Tooltip>(nativeWindow(owner), params);
}

TIconHandle TWin32WindowSystem::loadIcon(const std::string& name) {
  return reinterpret_cast<TIconHandle>(
      LoadImageW(moduleInstance(), wide(name).c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
}

TIconHandle TWin32WindowSystem::copyIcon(TIconHandle icon) {
  if (icon == 0) return 0;
  return reinterpret_cast<TIconHandle>(
      CopyImage(reinterpret_cast<HANDLE>(icon), IMAGE_ICON, 0, 0, 0));
}

void TWin32WindowSystem::destroyIcon(TIconHandle icon) {
  if (icon != 0) DestroyIcon(reinterpret_cast<HICON>(icon));
}

TNativeControl* TWin32WindowSystem::focusedControl() const {
  // The focus may sit in a part of a control (the edit of a combo box).
  for (HWND window = GetFocus(); window != nullptr; window = GetParent(window)) {
    if (TWin32Control* control = TWin32Control::of(window)) return control;
  }
  return nullptr;
}

void TWin32WindowSystem::messageBox(const std::string& text, const std::string& caption) {
  MessageBoxW(isUiThread() ? GetActiveWindow() : nullptr, wide(text).c_str(), wide(caption).c_str(),
              MB_OK);
}

void TWin32WindowSystem::quit(int exitCode) {
  if (isUiThread()) {
    PostQuitMessage(exitCode);
  } else {
    PostMessageW(wake_, QuitLoopMessage, static_cast<WPARAM>(exitCode), 0);
  }
}

// One wake-up message in flight at most, however long the UI thread waits
// elsewhere.
void TWin32WindowSystem::wakeUiThread() {
  if (!wakePending_.exchange(true)) PostMessageW(wake_, RunPendingMessage, 0, 0);
}

void TWin32WindowSystem::pumpPendingAfter(std::chrono::milliseconds delay) {
  SetTimer(wake_, PumpTimerId, static_cast<UINT>(delay.count()), nullptr);
}

TWin32WindowSystem::TWin32WindowSystem() {
  // comctl32 is no known DLL: Windows would look for it beside the program
  // first (a Downloads folder), so it is loaded by its full path in the
  // system folder (which needs no update on Windows 7, unlike the search
  // flags).
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring comctlPath =
      std::wstring(system, length < MAX_PATH ? length : 0) + L"\\comctl32.dll";
  if (const HMODULE comctl = length > 0 ? LoadLibraryW(comctlPath.c_str()) : nullptr) {
    using TInitCommonControlsEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = reinterpret_cast<TInitCommonControlsEx>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    if (init != nullptr) init(&classes);
  }

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &DefWindowProcW;
  windowClass.hInstance = moduleInstance();
  windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  for (const char* name : {WinClass::App, WinClass::Form}) {
    const std::wstring className = wide(name);
    windowClass.lpszClassName = className.c_str();
    RegisterClassExW(&windowClass);
  }

  WNDCLASSEXW wakeClass{};
  wakeClass.cbSize = sizeof(wakeClass);
  wakeClass.lpfnWndProc = &wakeProc;
  wakeClass.hInstance = moduleInstance();
  wakeClass.lpszClassName = WakeClassName;
  RegisterClassExW(&wakeClass);
  wake_ = CreateWindowExW(0, WakeClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          moduleInstance(), nullptr);
  SetWindowLongPtrW(wake_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWin32WindowSystem::~TWin32WindowSystem() {
  shutdown();
  SetWindowLongPtrW(wake_, GWLP_USERDATA, 0);
  DestroyWindow(wake_);
}

LRESULT CALLBACK TWin32WindowSystem::wakeProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* system = reinterpret_cast<TWin32WindowSystem*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (system != nullptr && message == RunPendingMessage) {
    system->wakePending_ = false;
    system->pumpPending();
    return 0;
  }
  if (system != nullptr && message == WM_TIMER && wParam == PumpTimerId) {
    KillTimer(window, PumpTimerId);
    system->pumpPending();
    return 0;
  }
  if (message == QuitLoopMessage) {
    PostQuitMessage(static_cast<int>(wParam));
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool TWin32WindowSystem::halftoneAvailable() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetVersionExW(&version) != 0 && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

int TWin32WindowSystem::runMessageLoop() {
  int exitCode = 0;
  bool running = true;
  while (running) {
    WaitMessage();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
      if (message.message == WM_QUIT) {
        exitCode = static_cast<int>(message.wParam);
        running = false;
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    pumpPending();
  }
  shutdown();
  return exitCode;
}

std::unique_ptr<TWindowSystem> createPlatformWindowSystem() {
  return std::make_unique<TWin32WindowSystem>();
}
