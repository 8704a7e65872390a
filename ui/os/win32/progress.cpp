// "msctls_progress32" on Win32: range, position and colours through the PBM_
// messages.
#include "backend.h"

void TWin32Control::setProgressRange(int32_t low, int32_t high) {
  send(PBM_SETRANGE32, static_cast<WPARAM>(low), high);
}

void TWin32Control::setProgressPosition(int32_t position) {
  send(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int32_t TWin32Control::progressPosition() const { return send(PBM_GETPOS, 0, 0); }

void TWin32Control::setBarColor(TColor color) {
  send(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color));
}
