// The Win32 backend's shared parts: the one control class behind the
// interface, whose code is split by kind of control (comboBox.cpp, edit.cpp,
// form.cpp, ...), the tooltip, the window system and the helpers these files
// share. Tests use it to check the real windows behind the interface
// (styles, texts, messages).
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <optional>
#include <string>

#include "runtime/systemSeams.h"
#include "ui/windowSystem.h"

// Private messages: to the wake window (run the queued synchronous calls, end
// the loop) and to a combo box after its selection changed.
constexpr UINT RunPendingMessage = WM_APP + 0x100;
constexpr UINT QuitLoopMessage = WM_APP + 0x101;
constexpr UINT_PTR PumpTimerId = 1;
constexpr UINT SelectionChangedMessage = WM_APP + 0x102;

// The first child control identifier; WM_MEASUREITEM names a child by it.
constexpr UINT FirstChildId = 100;

// Where each window keeps its TWin32Control.
inline const wchar_t* const ControlProperty = L"QuilNativeControl";

HINSTANCE moduleInstance();
std::wstring wide(const std::string& cp1251);
std::string windowText(HWND window);
HFONT createFont(const TFontSpec& font);

class TGdiPainter final : public TPainter {
 public:
  explicit TGdiPainter(HDC dc) : dc_(dc) {}
  void fillRect(const TRect& r, TColor color) override;
  void drawBitmap(const TBitmap& bitmap, const TRect& dest, TStretchMode mode) override;

 private:
  HDC dc_;
};

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
  void setEnabled(bool enabled) override;
  bool isEnabled() const override { return window_ != nullptr && IsWindowEnabled(window_) != 0; }

  void setFont(const TFontSpec& font) override;
  TSize textExtent(const std::string& text) const override;
  void setBackgroundColor(TColor color) override;
  void setTransparent(bool transparent) override {
    transparent_ = transparent;
    invalidate();
  }
  void setCursor(TCursorHandle cursor) override;
  void setMouseCapture(bool capture) override;
  void setFocus() override {
    if (window_ != nullptr) SetFocus(window_);
  }
  void setIcon(TIconHandle icon) override;
  void invalidate() override { InvalidateRect(window_, nullptr, FALSE); }
  void setRedraw(bool redraw) override { SendMessageW(window_, WM_SETREDRAW, redraw ? 1 : 0, 0); }
  void dragWindow() override;
  void close() override;

  int32_t caretPosition() const override;
  void setSelection(int32_t start, int32_t end) override;

  int32_t addItem(const std::string& text) override;
  int32_t insertItem(int32_t index, const std::string& text) override;
  void deleteItem(int32_t index) override;
  void clearItems() override;
  int32_t itemCount() const override;
  std::string itemText(int32_t index) const override;
  int32_t itemData(int32_t index) const override;
  void setItemData(int32_t index, int32_t data) override;
  int32_t selectedIndex() const override;
  void selectItem(int32_t index) override;

  void setProgressRange(int32_t low, int32_t high) override;
  void setProgressPosition(int32_t position) override;
  int32_t progressPosition() const override;
  void setBarColor(TColor color) override;

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
  int droppedListHeight() const;

  // Notifications a child sends its parent window, handled for the child.
  bool childNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // WM_MEASUREITEM and WM_DRAWITEM of an owner-drawn combo box child.
  bool drawnItemNotification(UINT message, LPARAM lParam, LRESULT& result);
  LRESULT colorChild(HDC dc, HBRUSH parentBackground);
  void mouse(TMouseAction action, int32_t button, WPARAM wParam, LPARAM lParam);
  LRESULT key(TKeyAction action, UINT message, WPARAM wParam, LPARAM lParam);
  void paintOver();
  // A form's answers to the end of the session (form.cpp).
  bool sessionEnd(UINT message, WPARAM wParam, LRESULT& result);

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
  // A form disabled by the program: its work under way (form.cpp).
  std::optional<TAwakeHold> working_;
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

  std::unique_ptr<TNativeControl> createControl(const TControlSpec& params) override;
  std::unique_ptr<TNativeTooltip> createTooltip(TNativeControl& owner,
                                                const TTooltipSpec& params) override;
  TIconHandle loadIcon(const std::string& name) override;
  TIconHandle copyIcon(TIconHandle icon) override;
  void destroyIcon(TIconHandle icon) override;
  TColor systemColor(int32_t index) override { return GetSysColor(index); }
  bool halftoneAvailable() override;
  TNativeControl* focusedControl() const override;
  void messageBox(const std::string& text, const std::string& caption) override;
  int runMessageLoop() override;
  void quit(int exitCode) override;

  // A combo box being created, for WM_MEASUREITEM before it is subclassed.
  TWin32Control* Creating = nullptr;

 protected:
  void wakeUiThread() override;
  void pumpPendingAfter(std::chrono::milliseconds delay) override;

 private:
  static LRESULT CALLBACK wakeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::atomic<bool> wakePending_{false};
  HWND wake_ = nullptr;
  UINT nextChildId_ = FirstChildId;
};

// The window of a control made by the Win32 backend; null for any other
// control or once the window is gone.
HWND nativeWindow(const TNativeControl& control);
// The tooltip window of a tooltip made by the Win32 backend.
HWND nativeTooltipWindow(const TNativeTooltip& tooltip);
