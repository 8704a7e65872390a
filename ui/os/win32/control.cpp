// The Win32 backend's control: every window is subclassed by one procedure
// that turns its messages, and the notifications its children send it, into
// calls of the control's TControlEvents. The parts of one kind of control
// are in the file of that kind.
#include "backend.h"
// After windows.h, which it needs.
#include <windowsx.h>

#include <algorithm>

#include "runtime/codepage.h"

HINSTANCE moduleInstance() { return GetModuleHandleW(nullptr); }

std::wstring wide(const std::string& cp1251) { return cp1251ToWide(cp1251); }

std::string windowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, buffer.data(), length + 1);
  buffer.resize(static_cast<size_t>(std::max(copied, 0)));
  return wideTo1251(buffer);
}

HFONT createFont(const TFontSpec& font) {
  LOGFONTW log{};
  log.lfHeight = font.Height;
  log.lfWeight = (font.Style & 1) != 0 ? FW_BOLD : FW_DONTCARE;
  log.lfItalic = (font.Style & 2) != 0 ? 1 : 0;
  log.lfUnderline = (font.Style & 4) != 0 ? 1 : 0;
  log.lfStrikeOut = (font.Style & 8) != 0 ? 1 : 0;
  log.lfCharSet = font.Charset;
  const std::wstring face = wide(font.Name).substr(0, LF_FACESIZE - 1);
  std::copy(face.begin(), face.end(), log.lfFaceName);
  return CreateFontIndirectW(&log);
}

namespace {
uint32_t heldModifiers() {
  uint32_t modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= KeyState::Shift;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= KeyState::Ctrl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= KeyState::Alt;
  return modifiers;
}

// The MK_ flags of a mouse message (without the X buttons, whose bit 0x20
// the interface gives to Alt), plus Alt.
uint32_t mouseKeyState(WPARAM wParam) {
  uint32_t state = LOWORD(wParam) & 0x1F;
  if (GetKeyState(VK_MENU) < 0) state |= KeyState::Alt;
  return state;
}

void trackMouse(HWND window, DWORD flags) {
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof(track);
  track.dwFlags = flags;
  track.hwndTrack = window;
  track.dwHoverTime = HOVER_DEFAULT;
  TrackMouseEvent(&track);
}

LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
}  // namespace

TWin32Control::TWin32Control(TWin32WindowSystem& system, const TControlSpec& params, UINT childId)
    : system_(system),
      className_(params.ClassName),
      parent_(params.Parent),
      events_(params.Events) {
  const bool child = (params.Style & WinStyle::Child) != 0;
  HWND parentWindow = nullptr;
  if (child && params.Parent != nullptr) parentWindow = nativeWindow(*params.Parent);
  if (!child && params.Owner != nullptr) parentWindow = nativeWindow(*params.Owner);
  // Created hidden; setVisible shows it.
  const DWORD style = params.Style & ~WinStyle::Visible;
  system_.Creating = this;
  window_ = CreateWindowExW(
      params.ExStyle, wide(params.ClassName).c_str(), wide(params.Text).c_str(), style,
      params.Bounds.left, params.Bounds.top, params.Bounds.width(), params.Bounds.height(),
      parentWindow, child ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(childId)) : nullptr,
      moduleInstance(), nullptr);
  system_.Creating = nullptr;
  if (window_ == nullptr) return;
  SetPropW(window_, ControlProperty, this);
  previousProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&controlProc)));
  if (droppedListHeight() > 0) setBounds(params.Bounds);
}

TWin32Control::~TWin32Control() {
  destroying_ = true;
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
  if (background_ != nullptr) DeleteObject(background_);
  if (icon_ != nullptr) DestroyIcon(icon_);
}

void TWin32Control::applyStyleChange() {
  // Frame styles are cached by the system until told that the frame changed.
  SetWindowPos(window_, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InvalidateRect(window_, nullptr, TRUE);
}

void TWin32Control::setStyle(uint32_t style) {
  if (window_ == nullptr) return;
  constexpr uint32_t StateBits = WinStyle::Visible | WinStyle::Disabled;
  const uint32_t next = (style & ~StateBits) | (this->style() & StateBits);
  SetWindowLongW(window_, GWL_STYLE, static_cast<LONG>(next));
  // A button keeps its own copy of the type (default push button or not).
  if (className_ == WinClass::Button) send(BM_SETSTYLE, next & 0xFFFF, TRUE);
  applyStyleChange();
}

void TWin32Control::setExStyle(uint32_t exStyle) {
  if (window_ == nullptr) return;
  SetWindowLongW(window_, GWL_EXSTYLE, static_cast<LONG>(exStyle));
  applyStyleChange();
}

TRect TWin32Control::bounds() const {
  RECT outer{};
  GetWindowRect(window_, &outer);
  if (!isTopLevel()) {
    // Relative to the parent's client area.
    MapWindowPoints(HWND_DESKTOP, GetParent(window_), reinterpret_cast<POINT*>(&outer), 2);
  }
  return {outer.left, outer.top, outer.right, outer.bottom};
}

void TWin32Control::setFont(const TFontSpec& font) {
  HFONT next = createFont(font);
  textColor_ = font.Color;
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(next), TRUE);
  if (font_ != nullptr) DeleteObject(font_);
  font_ = next;
}

TSize TWin32Control::textExtent(const std::string& text) const {
  HDC dc = GetDC(window_);
  HGDIOBJ previous = font_ != nullptr ? SelectObject(dc, font_) : nullptr;
  const std::wstring wideText = wide(text);
  SIZE size{};
  GetTextExtentPoint32W(dc, wideText.c_str(), static_cast<int>(wideText.size()), &size);
  if (previous != nullptr) SelectObject(dc, previous);
  ReleaseDC(window_, dc);
  return {size.cx, size.cy};
}

void TWin32Control::setBackgroundColor(TColor color) {
  if (className_ == WinClass::Progress) {
    send(CCM_SETBKCOLOR, 0, static_cast<LPARAM>(color));
    return;
  }
  if (background_ != nullptr) DeleteObject(background_);
  background_ = CreateSolidBrush(color);
  InvalidateRect(window_, nullptr, TRUE);
}

void TWin32Control::setMouseCapture(bool capture) {
  if (capture && window_ != nullptr) {
    SetCapture(window_);
  } else if (!capture && GetCapture() == window_) {
    ReleaseCapture();
  }
}

void TWin32Control::setCursor(TCursorHandle cursor) {
  cursor_ = reinterpret_cast<HCURSOR>(cursor);
  // Takes effect at once when the mouse already rests over the control.
  POINT at{};
  if (cursor_ != nullptr && GetCapture() == nullptr && GetCursorPos(&at) &&
      WindowFromPoint(at) == window_) {
    SetCursor(cursor_);
  }
}

LRESULT TWin32Control::colorChild(HDC dc, HBRUSH parentBackground) {
  SetTextColor(dc, textColor_);
  if (transparent_) {
    // Filled with the parent's own background: a hollow brush would leave
    // the old text standing when the text changes.
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(parentBackground != nullptr ? parentBackground
                                                                 : GetSysColorBrush(COLOR_BTNFACE));
  }
  if (background_ != nullptr) {
    LOGBRUSH brush{};
    GetObjectW(background_, sizeof(brush), &brush);
    SetBkColor(dc, brush.lbColor);
    return reinterpret_cast<LRESULT>(background_);
  }
  // The class's own colour: white for a writable edit, the button face else.
  const bool writableEdit =
      className_ == WinClass::Edit && (style() & static_cast<uint32_t>(ES_READONLY)) == 0;
  const int index = writableEdit ? COLOR_WINDOW : COLOR_BTNFACE;
  SetBkColor(dc, GetSysColor(index));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(index));
}

bool TWin32Control::childNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND: {
      TWin32Control* child = of(reinterpret_cast<HWND>(lParam));
      if (child == nullptr || child->events_ == nullptr) return false;
      const UINT code = HIWORD(wParam);
      const std::string& kind = child->className_;
      if ((kind == WinClass::Button && code == BN_CLICKED) ||
          (kind == WinClass::Static && code == STN_CLICKED)) {
        child->events_->onClick();
      } else if (kind == WinClass::Edit && code == EN_CHANGE) {
        child->events_->onTextChange();
      } else if (kind == WinClass::ComboBox && code == CBN_SELCHANGE) {
        // Reported once the control has finished updating its edit field.
        PostMessageW(child->window_, SelectionChangedMessage, 0, 0);
      }
      return false;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
      TWin32Control* child = of(reinterpret_cast<HWND>(lParam));
      if (child == nullptr) return false;
      result = child->colorChild(reinterpret_cast<HDC>(wParam), background_);
      return true;
    }
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
      return drawnItemNotification(message, lParam, result);
    default:
      return false;
  }
}

void TWin32Control::mouse(TMouseAction action, int32_t button, WPARAM wParam, LPARAM lParam) {
  TMouseInfo info;
  info.Action = action;
  info.Button = button;
  info.State = mouseKeyState(wParam);
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (action == TMouseAction::Wheel) {
    info.State |= static_cast<uint32_t>(HIWORD(wParam)) << 16;
    ScreenToClient(window_, &at);  // the wheel message carries screen coordinates
  }
  info.X = static_cast<int16_t>(at.x);
  info.Y = static_cast<int16_t>(at.y);
  events_->onMouse(info);
}

LRESULT TWin32Control::key(TKeyAction action, UINT message, WPARAM wParam, LPARAM lParam) {
  TKeyInfo info;
  info.Action = action;
  info.Modifiers = heldModifiers();
  if (action == TKeyAction::Char) {
    info.Key = static_cast<unsigned char>(cp1251FromCodePoint(static_cast<char32_t>(wParam)));
  } else {
    info.Key = static_cast<int32_t>(wParam);
  }
  const int32_t original = info.Key;
  events_->onKey(info);
  if (info.Key == 0) return 0;  // consumed: the control never sees it
  if (info.Key != original) {
    wParam = action == TKeyAction::Char
                 ? static_cast<WPARAM>(cp1251CodePoint(static_cast<unsigned char>(info.Key)))
                 : static_cast<WPARAM>(info.Key);
  }
  return passOn(message, wParam, lParam);
}

void TWin32Control::paintOver() {
  HDC dc = GetDC(window_);
  TGdiPainter painter(dc);
  events_->onPaint(painter);
  ReleaseDC(window_, dc);
}

LRESULT TWin32Control::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
    RemovePropW(window_, ControlProperty);
    const LRESULT result = passOn(message, wParam, lParam);
    window_ = nullptr;
    if (!destroying_ && events_ != nullptr) events_->onDestroyed();
    return result;
  }
  LRESULT result = 0;
  if (childNotification(message, wParam, lParam, result)) return result;
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSEWHEEL) trackMouse(window_, TME_LEAVE);
  if (className_ == WinClass::Form && sessionEnd(message, wParam, result)) return result;
  if (message == WM_CLOSE) {
    // Closing is the handler's decision; the window stays.
    if (events_ != nullptr) events_->onCloseRequest(lParam == 0);
    return 0;
  }
  if (events_ == nullptr) return passOn(message, wParam, lParam);

  switch (message) {
    case WM_LBUTTONDOWN:
      mouse(TMouseAction::Down, 1, wParam, lParam);
      break;
    case WM_RBUTTONDOWN:
      mouse(TMouseAction::Down, 2, wParam, lParam);
      break;
    case WM_MBUTTONDOWN:
      mouse(TMouseAction::Down, 3, wParam, lParam);
      break;
    case WM_LBUTTONUP:
      mouse(TMouseAction::Up, 1, wParam, lParam);
      break;
    case WM_RBUTTONUP:
      mouse(TMouseAction::Up, 2, wParam, lParam);
      break;
    case WM_MBUTTONUP:
      mouse(TMouseAction::Up, 3, wParam, lParam);
      break;
    case WM_LBUTTONDBLCLK:
      mouse(TMouseAction::DoubleClick, 1, wParam, lParam);
      break;
    case WM_RBUTTONDBLCLK:
      mouse(TMouseAction::DoubleClick, 2, wParam, lParam);
      break;
    case WM_MBUTTONDBLCLK:
      mouse(TMouseAction::DoubleClick, 3, wParam, lParam);
      break;
    case WM_MOUSEMOVE:
      mouse(TMouseAction::Move, 0, wParam, lParam);
      break;
    case WM_MOUSEWHEEL:
      mouse(TMouseAction::Wheel, 0, wParam, lParam);
      break;
    case WM_MOUSEHOVER:
      mouse(TMouseAction::Hover, 0, wParam, lParam);
      break;
    case WM_MOUSELEAVE:
      mouse(TMouseAction::Leave, 0, 0, 0);
      trackMouse(window_, TME_HOVER);
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      return key(TKeyAction::Down, message, wParam, lParam);
    case WM_KEYUP:
    case WM_SYSKEYUP:
      return key(TKeyAction::Up, message, wParam, lParam);
    case WM_CHAR:
    case WM_SYSCHAR:
      return key(TKeyAction::Char, message, wParam, lParam);
    case WM_SETFOCUS:
      events_->onFocus(true);
      break;
    case WM_KILLFOCUS:
      events_->onFocus(false);
      break;
    case WM_WINDOWPOSCHANGING: {
      auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
      if ((position->flags & SWP_NOSIZE) == 0) events_->onSizeRequest(position->cx, position->cy);
      break;
    }
    case WM_SIZE:
      events_->onResize();
      break;
    case WM_MOVE:
      events_->onMove();
      break;
    case WM_SHOWWINDOW:
      if (wParam != 0 && !isVisible()) events_->onShow();
      break;
    case WM_SETCURSOR:
      if (cursor_ != nullptr && LOWORD(lParam) == HTCLIENT && GetCapture() == nullptr) {
        SetCursor(cursor_);
        return TRUE;
      }
      break;
    case WM_ERASEBKGND:
      if (isTopLevel() && background_ != nullptr) {
        RECT client{};
        GetClientRect(window_, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, background_);
        return TRUE;
      }
      break;
    case WM_PAINT: {
      // The control paints itself first; the owner may draw over it.
      const LRESULT painted = passOn(message, wParam, lParam);
      if (window_ != nullptr && events_ != nullptr) paintOver();
      return painted;
    }
    case SelectionChangedMessage:
      events_->onSelectionChange();
      return 0;
    default:
      break;
  }
  return window_ != nullptr ? passOn(message, wParam, lParam) : 0;
}

namespace {
LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TWin32Control* control = TWin32Control::of(window);
  if (control == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return control->handleMessage(message, wParam, lParam);
}
}  // namespace

HWND nativeWindow(const TNativeControl& control) {
  const auto* own = dynamic_cast<const TWin32Control*>(&control);
  return own != nullptr ? own->window() : nullptr;
}
