// The Win32 backend's native handles, for tests that check the real windows
// behind the interface (styles, texts, messages).
#pragma once

#include <windows.h>

#include "ui/windowSystem.h"

// The window of a control made by the Win32 backend; null for any other
// control or once the window is gone.
HWND nativeWindow(const TNativeControl& control);
// The tooltip window of a tooltip made by the Win32 backend.
HWND nativeTooltipWindow(const TNativeTooltip& tooltip);
