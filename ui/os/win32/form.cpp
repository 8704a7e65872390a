// The "App" and "Form" windows on Win32: the icon, the close request and the
// system's move loop.
#include "backend.h"

void TWin32Control::setIcon(TIconHandle icon) {
  HICON next = reinterpret_cast<HICON>(icon);
  const auto previous = reinterpret_cast<HICON>(
      SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(next)));
  if (previous != nullptr && previous != next) DestroyIcon(previous);
  icon_ = next;
}

void TWin32Control::dragWindow() {
  if (window_ == nullptr) return;
  ReleaseCapture();
  // The system's move loop: returns once the mouse button is released.
  SendMessageW(window_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

void TWin32Control::close() { SendMessageW(window_, WM_CLOSE, 0, 1); }
