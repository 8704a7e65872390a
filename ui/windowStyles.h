// The words the window library speaks on every backend: geometry, colours,
// the Win32 style words and class names the elements create, key-state
// flags and the Windows system colour palette.
#pragma once

#include <cstdint>

using TColor = uint32_t;         // 0x00BBGGRR
using TIconHandle = intptr_t;    // 0 = none
using TCursorHandle = intptr_t;  // 0 = the class cursor

struct TRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool operator==(const TRect&) const = default;
};

struct TSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const TSize&) const = default;
};

// Win32 style words, used by the portable style arithmetic on every backend.
namespace WinStyle {
constexpr uint32_t Popup = 0x80000000;
constexpr uint32_t Child = 0x40000000;
constexpr uint32_t Visible = 0x10000000;
constexpr uint32_t Disabled = 0x08000000;
constexpr uint32_t ClipSiblings = 0x04000000;
constexpr uint32_t ClipChildren = 0x02000000;
constexpr uint32_t Caption = 0x00C00000;
constexpr uint32_t Border = 0x00800000;
constexpr uint32_t VScroll = 0x00200000;
constexpr uint32_t SysMenu = 0x00080000;
constexpr uint32_t SizeFrame = 0x00040000;
constexpr uint32_t MinimizeBox = 0x00020000;
constexpr uint32_t MaximizeBox = 0x00010000;
constexpr uint32_t TabStop = 0x00010000;
constexpr uint32_t FlatLook = 0x8000;
}  // namespace WinStyle

namespace WinExStyle {
constexpr uint32_t DlgModalFrame = 0x1;
constexpr uint32_t Topmost = 0x8;
constexpr uint32_t ToolWindow = 0x80;
constexpr uint32_t WindowEdge = 0x100;
constexpr uint32_t ClientEdge = 0x200;
constexpr uint32_t StaticEdge = 0x20000;
constexpr uint32_t AppWindow = 0x40000;
}  // namespace WinExStyle

// Window class names the elements create (Win32 names on every backend).
namespace WinClass {
inline constexpr const char* Button = "BUTTON";
inline constexpr const char* Static = "STATIC";
inline constexpr const char* Edit = "EDIT";
inline constexpr const char* ComboBox = "COMBOBOX";
inline constexpr const char* Progress = "msctls_progress32";
inline constexpr const char* Tooltip = "tooltips_class32";
// The owner of the form that carries the task-bar button; a backend
// without such owner windows may keep it as an invisible stand-in.
inline constexpr const char* App = "App";
inline constexpr const char* Form = "Form";
}  // namespace WinClass

// Key-state flags of mouse and key notifications (the Win32 MK_ bits, plus
// Alt).
namespace KeyState {
constexpr uint32_t LeftButton = 1;
constexpr uint32_t RightButton = 2;
constexpr uint32_t Shift = 4;
constexpr uint32_t Ctrl = 8;
constexpr uint32_t MiddleButton = 16;
constexpr uint32_t Alt = 32;
}  // namespace KeyState

// Windows' default value of each system colour index 0..30 (Windows 10
// scheme), so that the headless and FLTK backends agree; 0 outside.
TColor systemColorRgb(int32_t index);
