// The Win32 driver: input messages sent to the control, pixels read from its device context.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>

#include "backendDriver.h"
#include "runtime/codepage.h"
#include "ui/os/win32/backend.h"

namespace driver {
namespace {
// Dispatches what is queued for this thread (posted notifications).
void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// A key pressed and released, then what it caused.
void key(HWND window, WPARAM virtualKey, wchar_t character) {
  if (virtualKey != 0) SendMessageW(window, WM_KEYDOWN, virtualKey, 0);
  if (character != 0) SendMessageW(window, WM_CHAR, character, 0);
  if (virtualKey != 0) SendMessageW(window, WM_KEYUP, virtualKey, 0);
  pumpMessages();
}
}  // namespace

const bool NativeInput = false;

std::unique_ptr<TWindowSystem> createSystem() { return createPlatformWindowSystem(); }

void settle(TWindowSystem&) { pumpMessages(); }

void click(TWindowSystem&, TNativeControl& control) {
  const TSize size = control.clientSize();
  const LPARAM middle = MAKELPARAM(size.width / 2, size.height / 2);
  SendMessageW(nativeWindow(control), WM_LBUTTONDOWN, MK_LBUTTON, middle);
  SendMessageW(nativeWindow(control), WM_LBUTTONUP, 0, middle);
  pumpMessages();
}

void type(TWindowSystem&, TNativeControl& control, const std::string& text) {
  for (const wchar_t c : cp1251ToWide(utf8To1251(text)))
    key(nativeWindow(control), c < 0x80 ? static_cast<WPARAM>(towupper(c)) : 0, c);
}

void chooseItem(TWindowSystem&, TNativeControl& combo, int32_t index) {
  combo.setFocus();  // the user's click
  const int32_t steps = index - combo.selectedIndex();
  for (int32_t i = 0; i < std::abs(steps); ++i)
    key(nativeWindow(combo), steps < 0 ? VK_UP : VK_DOWN, 0);
}

void pressDown(TWindowSystem&, TNativeControl& combo) { key(nativeWindow(combo), VK_DOWN, 0); }

void userClose(TWindowSystem&, TNativeControl& window) {
  SendMessageW(nativeWindow(window), WM_CLOSE, 0, 0);
}

// The system's move loop needs a real pointer.
void drag(TWindowSystem&, TNativeControl&, int, int) { ADD_FAILURE() << "no pointer to drag"; }

std::string shownTitle(TWindowSystem&, TNativeControl& window) {
  wchar_t title[256] = {};
  GetWindowTextW(nativeWindow(window), title, 256);
  return cp1251ToUtf8(wideTo1251(title));
}

std::string tooltipText(TNativeTooltip& tooltip, TNativeControl& owner) {
  wchar_t text[128] = {};
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = nativeWindow(owner);
  info.uId = reinterpret_cast<UINT_PTR>(nativeWindow(owner));
  info.lpszText = text;
  SendMessageW(nativeTooltipWindow(tooltip), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&info));
  return cp1251ToUtf8(wideTo1251(text));
}

std::optional<int> listRoom(TNativeControl& combo) {
  RECT opened{};
  SendMessageW(nativeWindow(combo), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&opened));
  const auto itemHeight = SendMessageW(nativeWindow(combo), CB_GETITEMHEIGHT, 0, 0);
  return static_cast<int>((opened.bottom - opened.top - combo.bounds().height()) /
                          std::max<LRESULT>(itemHeight, 1));
}

std::optional<TColor> pixel(TNativeControl& control, int x, int y) {
  HWND window = nativeWindow(control);
  HDC dc = GetDC(window);
  const COLORREF color = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  if (color == CLR_INVALID) return std::nullopt;
  return static_cast<TColor>(color);
}
}  // namespace driver
