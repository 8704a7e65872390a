// "EDIT" on Win32: the caret and the selection through the EM_ messages.
#include "backend.h"

int32_t TWin32Control::caretPosition() const {
  DWORD start = 0;
  SendMessageW(window_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int32_t>(start);
}

void TWin32Control::setSelection(int32_t start, int32_t end) {
  SendMessageW(window_, EM_SETSEL, static_cast<WPARAM>(start), end);
}
