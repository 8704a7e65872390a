// The "App" and "Form" windows on Win32: the icon, the close request, the
// system's move loop and the end of the session.
#include "backend.h"

namespace {
// The program disables its form only while it writes the firmware, from
// "Записать" to the outcome: the work that neither idle sleep nor a
// sign-out or shutdown may cut.
const wchar_t* const WorkReason = L"Идёт запись ПО";
}  // namespace

void TWin32Control::setEnabled(bool enabled) {
  EnableWindow(window_, enabled ? TRUE : FALSE);
  if (className_ != WinClass::Form || enabled != working_.has_value()) return;
  // On the UI thread, which the reason must be created on and the hold
  // belongs to.
  if (enabled) {
    ShutdownBlockReasonDestroy(window_);
    working_.reset();
  } else {
    working_.emplace();
    ShutdownBlockReasonCreate(window_, WorkReason);
  }
}

bool TWin32Control::sessionEnd(UINT message, WPARAM wParam, LRESULT& result) {
  if (message == WM_QUERYENDSESSION) {
    // Windows waits and shows the reason; the user may still end the
    // session.
    result = working_ ? FALSE : TRUE;
    return true;
  }
  if (message == WM_ENDSESSION) {
    // The process ends once this returns: the form closes now, as at its
    // own close, so the port is drained and closed.
    if (wParam != FALSE && events_ != nullptr) events_->onCloseRequest(false);
    result = 0;
    return true;
  }
  return false;
}

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
