// The window library on Win32: real controls of the standard classes, created
// and addressed through the W functions so that the 1251 texts show the same
// on every Windows locale. Every window is subclassed by one procedure that
// turns its messages, and the notifications its children send it, into
// calls of the control's TControlEvents.
#include "windowSystemWin32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "runtime/codepage.h"
#include "ui/bitmap.h"

namespace {
// Private messages: to the wake window (run the queued synchronous calls, end
// the loop) and to a combo box after its selection changed.
constexpr UINT RunPendingMessage = WM_APP + 0x100;
constexpr UINT QuitLoopMessage = WM_APP + 0x101;
constexpr UINT_PTR PumpTimerId = 1;
constexpr UINT SelectionChangedMessage = WM_APP + 0x102;

const wchar_t* const ControlProperty = L"QuilNativeControl";
const wchar_t* const WakeClassName = L"QuilWake";

// The first child control identifier; WM_MEASUREITEM names a child by it.
constexpr UINT FirstChildId = 100;

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

class TGdiPainter final : public TPainter {
 public:
  explicit TGdiPainter(HDC dc) : dc_(dc) {}

  void fillRect(const TRect& r, TColor color) override {
    const RECT area{r.left, r.top, r.right, r.bottom};
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc_, &area, brush);
    DeleteObject(brush);
  }

  void drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) override {
    if (bitmap.empty()) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = bitmap.Width;
    info.bmiHeader.biHeight = -bitmap.Height;  // rows top to bottom
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc_, static_cast<int>(mode));
    // HALFTONE needs the brush origin reset after the mode is set.
    SetBrushOrgEx(dc_, 0, 0, nullptr);
    StretchDIBits(dc_, dest.left, dest.top, dest.width(), dest.height(), 0, 0, bitmap.Width,
                  bitmap.Height, bitmap.Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  }

 private:
  HDC dc_;
};

LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
}  // namespace

class TWin32WindowSystem;

class TWin32Control final : public TNativeControl {
 public:
  TWin32Control(TWin32WindowSystem& system, const TControlSpec& params, UINT childId);
  ~TWin32Control() override;
  TWin32Control(const TWin32Control&) = delete;
  TWin32Control& operator=(const TWin32Control&) = delete;

  static TWin32Control* of(HWND window) {
    return window != nullptr ? static_cast<TWin32Control*>(GetPropW(window, ControlProperty))
                             : nullptr;
  }
  HWND window() const { return window_; }

  const std::string& className() const override { return className_; }
  TNativeControl* parent() const override { return parent_; }
  void setEvents(TControlEvents* events) override { events_ = events; }

  void setText(const std::string& text) override { SetWindowTextW(window_, wide(text).c_str()); }
  std::string text() const override { return windowText(window_); }

  void setStyle(uint32_t style) override;
  uint32_t style() const override {
    return static_cast<uint32_t>(GetWindowLongW(window_, GWL_STYLE));
  }
  void setExStyle(uint32_t exStyle) override;
  uint32_t exStyle() const override {
    return static_cast<uint32_t>(GetWindowLongW(window_, GWL_EXSTYLE));
  }

  void setBounds(const TRect& bounds) override {
    SetWindowPos(window_, nullptr, bounds.left, bounds.top, bounds.width(),
                 bounds.height() + droppedListHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  TRect bounds() const override;
  TSize clientSize() const override {
    RECT client{};
    GetClientRect(window_, &client);
    return {client.right - client.left, client.bottom - client.top};
  }
  void bringToTop() override {
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }

  void setVisible(bool visible) override { ShowWindow(window_, visible ? SW_SHOW : SW_HIDE); }
  bool isVisible() const override { return (style() & WinStyle::Visible) != 0; }
  void setEnabled(bool enabled) override { EnableWindow(window_, enabled ? TRUE : FALSE); }
  bool isEnabled() const override { return window_ != nullptr && IsWindowEnabled(window_) != 0; }

  void setFont(const TFontSpec& font) override;
  TSize textExtent(const std::string& text) const override;
  void setBackgroundColor(TColor color) override;
  void setTransparent(bool transparent) override {
    transparent_ = transparent;
    invalidate();
  }
  void setCursor(TCursorHandle cursor) override;
  void setMouseCapture(bool capture) override {
    if (capture && window_ != nullptr) {
      SetCapture(window_);
    } else if (!capture && GetCapture() == window_) {
      ReleaseCapture();
    }
  }
  void setFocus() override {
    if (window_ != nullptr) SetFocus(window_);
  }
  void setIcon(TIconHandle icon) override;
  void invalidate() override { InvalidateRect(window_, nullptr, FALSE); }
  void setRedraw(bool redraw) override { SendMessageW(window_, WM_SETREDRAW, redraw ? 1 : 0, 0); }
  void dragWindow() override {
    if (window_ == nullptr) return;
    ReleaseCapture();
    // The system's move loop: returns once the mouse button is released.
    SendMessageW(window_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
  }
  void close() override { SendMessageW(window_, WM_CLOSE, 0, 1); }

  int32_t caretPosition() const override {
    DWORD start = 0;
    SendMessageW(window_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return static_cast<int32_t>(start);
  }
  void setSelection(int32_t start, int32_t end) override {
    SendMessageW(window_, EM_SETSEL, static_cast<WPARAM>(start), end);
  }

  int32_t addItem(const std::string& text) override {
    return send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
  }
  int32_t insertItem(int32_t index, const std::string& text) override {
    return send(CB_INSERTSTRING, static_cast<WPARAM>(index),
                reinterpret_cast<LPARAM>(wide(text).c_str()));
  }
  void deleteItem(int32_t index) override { send(CB_DELETESTRING, static_cast<WPARAM>(index), 0); }
  void clearItems() override { send(CB_RESETCONTENT, 0, 0); }
  int32_t itemCount() const override { return send(CB_GETCOUNT, 0, 0); }
  std::string itemText(int32_t index) const override;
  int32_t itemData(int32_t index) const override {
    return send(CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  }
  void setItemData(int32_t index, int32_t data) override {
    send(CB_SETITEMDATA, static_cast<WPARAM>(index), data);
  }
  int32_t selectedIndex() const override { return send(CB_GETCURSEL, 0, 0); }
  void selectItem(int32_t index) override { send(CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

  void setProgressRange(int32_t low, int32_t high) override {
    send(PBM_SETRANGE32, static_cast<WPARAM>(low), high);
  }
  void setProgressPosition(int32_t position) override {
    send(PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
  int32_t progressPosition() const override { return send(PBM_GETPOS, 0, 0); }
  void setBarColor(TColor color) override { send(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color)); }

  // The subclass procedure: the control's own messages.
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // WM_MEASUREITEM arrives while the combo box is still being created.
  int32_t measureItem() const { return events_ != nullptr ? events_->onMeasureItem() : 0; }

 private:
  int32_t send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return static_cast<int32_t>(SendMessageW(window_, message, wParam, lParam));
  }
  LRESULT passOn(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(previousProc_, window_, message, wParam, lParam);
  }
  bool isTopLevel() const { return (style() & WinStyle::Child) == 0; }
  void applyStyleChange();
  // A drop-down combo box's window height covers its opened list too, while
  // the rectangles the elements give are of the closed box (which is also
  // what the box reports): the list gets room for some items on top.
  int droppedListHeight() const {
    constexpr int ListItems = 8;
    if (className_ != WinClass::ComboBox || (style() & CBS_DROPDOWNLIST) < CBS_DROPDOWN) return 0;
    return ListItems * std::max(send(CB_GETITEMHEIGHT, 0, 0), 1) + 2;
  }

  // Notifications a child sends its parent window, handled for the child.
  bool childNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  LRESULT colorChild(HDC dc, HBRUSH parentBackground);
  void mouse(TMouseAction action, int32_t button, WPARAM wParam, LPARAM lParam);
  LRESULT key(TKeyAction action, UINT message, WPARAM wParam, LPARAM lParam);
  void paintOver();

  TWin32WindowSystem& system_;
  std::string className_;
  TNativeControl* parent_;
  TControlEvents* events_;
  HWND window_ = nullptr;
  WNDPROC previousProc_ = nullptr;
  bool destroying_ = false;
  HFONT font_ = nullptr;
  TColor textColor_ = 0;
  HBRUSH background_ = nullptr;  // null: the class's system colour
  bool transparent_ = false;
  HCURSOR cursor_ = nullptr;
  HICON icon_ = nullptr;
};

class TWin32Tooltip final : public TNativeTooltip {
 public:
  TWin32Tooltip(HWND owner, const TTooltipSpec& params);
  ~TWin32Tooltip() override;
  TWin32Tooltip(const TWin32Tooltip&) = delete;
  TWin32Tooltip& operator=(const TWin32Tooltip&) = delete;

  void setText(const std::string& text) override {
    text_ = wide(text);
    TOOLINFOW info = toolInfo();
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  }
  void setTitle(int32_t icon, const std::string& title) override {
    title_ = wide(title);
    SendMessageW(tip_, TTM_SETTITLEW, static_cast<WPARAM>(icon),
                 reinterpret_cast<LPARAM>(title_.c_str()));
  }
  void trackActivate(bool active) override {
    TOOLINFOW info = toolInfo();
    SendMessageW(tip_, TTM_TRACKACTIVATE, active ? TRUE : FALSE, reinterpret_cast<LPARAM>(&info));
  }
  // The tooltip control places by screen position; the callers speak in the
  // control's client coordinates.
  void trackPosition(int16_t x, int16_t y) override {
    POINT at{x, y};
    ClientToScreen(owner_, &at);
    SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
  }
  HWND window() const { return tip_; }

 private:
  TOOLINFOW toolInfo() {
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every comctl32 version
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT;
    info.hwnd = owner_;
    info.uId = reinterpret_cast<UINT_PTR>(owner_);
    info.lpszText = text_.data();
    return info;
  }

  HWND owner_;
  HWND tip_ = nullptr;
  HFONT font_ = nullptr;
  std::wstring text_;
  std::wstring title_;
};

class TWin32WindowSystem final : public TWindowSystem {
 public:
  TWin32WindowSystem();
  ~TWin32WindowSystem() override;
  TWin32WindowSystem(const TWin32WindowSystem&) = delete;
  TWin32WindowSystem& operator=(const TWin32WindowSystem&) = delete;

  std::unique_ptr<TNativeControl> createControl(const TControlSpec& params) override {
    const bool child = (params.Style & WinStyle::Child) != 0;
    return std::make_unique<TWin32Control>(*this, params, child ? nextChildId_++ : 0);
  }
  std::unique_ptr<TNativeTooltip> createTooltip(TNativeControl& owner,
                                                const TTooltipSpec& params) override {
    return std::make_unique<TWin32Tooltip>(nativeWindow(owner), params);
  }
  TIconHandle loadIcon(const std::string& name) override {
    return reinterpret_cast<TIconHandle>(
        LoadImageW(moduleInstance(), wide(name).c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  }
  TIconHandle copyIcon(TIconHandle icon) override {
    if (icon == 0) return 0;
    return reinterpret_cast<TIconHandle>(
        CopyImage(reinterpret_cast<HANDLE>(icon), IMAGE_ICON, 0, 0, 0));
  }
  void destroyIcon(TIconHandle icon) override {
    if (icon != 0) DestroyIcon(reinterpret_cast<HICON>(icon));
  }
  TColor systemColor(int32_t index) override { return GetSysColor(index); }
  bool halftoneAvailable() override;
  TNativeControl* focusedControl() const override {
    // The focus may sit in a part of a control (the edit of a combo box).
    for (HWND window = GetFocus(); window != nullptr; window = GetParent(window)) {
      if (TWin32Control* control = TWin32Control::of(window)) return control;
    }
    return nullptr;
  }
  void messageBox(const std::string& text, const std::string& caption) override {
    MessageBoxW(isUiThread() ? GetActiveWindow() : nullptr, wide(text).c_str(),
                wide(caption).c_str(), MB_OK);
  }
  int runMessageLoop() override;
  void quit(int exitCode) override {
    if (isUiThread()) {
      PostQuitMessage(exitCode);
    } else {
      PostMessageW(wake_, QuitLoopMessage, static_cast<WPARAM>(exitCode), 0);
    }
  }

  // A combo box being created, for WM_MEASUREITEM before it is subclassed.
  TWin32Control* Creating = nullptr;

 protected:
  // One wake-up message in flight at most, however long the UI thread waits
  // elsewhere.
  void wakeUiThread() override {
    if (!wakePending_.exchange(true)) PostMessageW(wake_, RunPendingMessage, 0, 0);
  }
  void pumpPendingAfter(std::chrono::milliseconds delay) override {
    SetTimer(wake_, PumpTimerId, static_cast<UINT>(delay.count()), nullptr);
  }

 private:
  std::atomic<bool> wakePending_{false};
  static LRESULT CALLBACK wakeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND wake_ = nullptr;
  UINT nextChildId_ = FirstChildId;
};

// --- TWin32Control -------------------------------------------------------

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

void TWin32Control::setCursor(TCursorHandle cursor) {
  cursor_ = reinterpret_cast<HCURSOR>(cursor);
  // Takes effect at once when the mouse already rests over the control.
  POINT at{};
  if (cursor_ != nullptr && GetCapture() == nullptr && GetCursorPos(&at) &&
      WindowFromPoint(at) == window_) {
    SetCursor(cursor_);
  }
}

void TWin32Control::setIcon(TIconHandle icon) {
  HICON next = reinterpret_cast<HICON>(icon);
  const auto previous = reinterpret_cast<HICON>(
      SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(next)));
  if (previous != nullptr && previous != next) DestroyIcon(previous);
  icon_ = next;
}

std::string TWin32Control::itemText(int32_t index) const {
  const int32_t length = send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const int32_t copied =
      send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<size_t>(std::max(copied, 0)));
  return wideTo1251(buffer);
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
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure->CtlType != ODT_COMBOBOX) return false;
      TWin32Control* child = of(GetDlgItem(window_, static_cast<int>(measure->CtlID)));
      if (child == nullptr) child = system_.Creating;
      if (child == nullptr) return false;
      const int32_t height = child->measureItem();
      if (height > 0) measure->itemHeight = static_cast<UINT>(height);
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      TWin32Control* child = of(draw->hwndItem);
      if (draw->CtlType != ODT_COMBOBOX || child == nullptr || child->events_ == nullptr) {
        return false;
      }
      TGdiPainter painter(draw->hDC);
      TDrawItemInfo item;
      item.Index = draw->itemID == static_cast<UINT>(-1) ? -1 : static_cast<int32_t>(draw->itemID);
      item.Rect = {draw->rcItem.left, draw->rcItem.top, draw->rcItem.right, draw->rcItem.bottom};
      item.Selected = (draw->itemState & ODS_SELECTED) != 0;
      item.InEditField = (draw->itemState & ODS_COMBOBOXEDIT) != 0;
      child->events_->onDrawItem(painter, item);
      result = TRUE;
      return true;
    }
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

// --- TWin32Tooltip -------------------------------------------------------

TWin32Tooltip::TWin32Tooltip(HWND owner, const TTooltipSpec& params) : owner_(owner) {
  DWORD style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
  if (params.Balloon) style |= TTS_BALLOON;
  tip_ =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, moduleInstance(), nullptr);
  font_ = createFont(params.Font);
  SendMessageW(tip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  SetWindowPos(tip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  TOOLINFOW info = toolInfo();
  SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tip_, TTM_SETTIPTEXTCOLOR, params.Font.Color, 0);
  SendMessageW(tip_, TTM_SETTIPBKCOLOR, params.BackColor, 0);
  SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_INITIAL, params.InitialDelay);
  SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, params.AutoPopDelay);
  RECT margin{params.Margin, params.Margin, params.Margin, params.Margin};
  SendMessageW(tip_, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
}

TWin32Tooltip::~TWin32Tooltip() {
  // The owner's destruction may have taken the tooltip window along.
  if (IsWindow(tip_) != 0) {
    TOOLINFOW info = toolInfo();
    SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    DestroyWindow(tip_);
  }
  DeleteObject(font_);
}

// --- TWin32WindowSystem --------------------------------------------------

TWin32WindowSystem::TWin32WindowSystem() {
  INITCOMMONCONTROLSEX classes{sizeof(classes), 0xFF};
  InitCommonControlsEx(&classes);

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

HWND nativeTooltipWindow(const TNativeTooltip& tooltip) {
  const auto* own = dynamic_cast<const TWin32Tooltip*>(&tooltip);
  return own != nullptr ? own->window() : nullptr;
}

std::unique_ptr<TWindowSystem> createPlatformWindowSystem() {
  return std::make_unique<TWin32WindowSystem>();
}
