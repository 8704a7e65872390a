// The window library under the window elements: native controls of the
// Win32 classes the elements use, addressed with Win32 style words on every
// platform, their notifications, the message loop and synchronous calls from
// other threads. Its words (geometry, colours, style words) are in
// windowStyles.h, drawing in painter.h.
//
// Backends: Win32 (ui/os/win32/), FLTK (ui/os/fltk/), both chosen at
// build time, and the in-memory headless one (ui/headlessWindowSystem.h),
// which tests and runs without a display install at run time.
//
// Rules every backend keeps:
// - Texts cross this interface as Windows-1251 bytes; the backend converts at
//   its own boundary (UTF-16 for the W functions, UTF-8 for FLTK).
// - Colours cross it as plain RGB words 0x00BBGGRR; the system-colour values
//   (top byte 0xFF) are resolved by the caller with resolveColor().
// - TNativeControl methods are called on the UI thread only. invokeSync(),
//   quit() and the functions marked so are the only ones safe elsewhere.
// - Controls are created hidden whatever the style says; setVisible shows
//   them. setStyle ignores WS_VISIBLE and WS_DISABLED; style() reports both
//   from the current state, as GetWindowLong does.
// - A backend does no dialog navigation of its own: no Tab or arrow focus
//   moves, no Enter to a default button (no IsDialogMessage, no FLTK
//   navigation keys). Every key goes to onKey of the focused control first;
//   a handler that sets the key to 0 consumes it and the native control
//   never sees it.
// - WM_CLOSE (caption button, Alt+F4, system or task-bar menu) only reports
//   onCloseRequest; the backend never closes or destroys a window itself.
// - Notifications go to the control's TControlEvents sink, synchronously on
//   the UI thread; none arrive after the control object was destroyed, and
//   none while the sink pointer is null.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "painter.h"
#include "runtime/helpers.h"
#include "windowStyles.h"

// The font a control shows its text in; the caller resolved the height
// (negative: character height in pixels) and the colour.
struct TFontSpec {
  std::string Name;  // at most 31 bytes, 1251
  int32_t Height = 0;
  uint8_t Style = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
  TColor Color = 0;
  uint8_t Charset = 1;
  bool operator==(const TFontSpec&) const = default;
};

enum class TMouseAction : uint8_t {
  Down,         // WM_xBUTTONDOWN
  Up,           // WM_xBUTTONUP
  Move,         // WM_MOUSEMOVE
  Wheel,        // WM_MOUSEWHEEL
  DoubleClick,  // WM_xBUTTONDBLCLK
  Hover,        // WM_MOUSEHOVER: the mouse rests over the control
  Leave,        // WM_MOUSELEAVE: the mouse left the control
};

struct TMouseInfo {
  TMouseAction Action = TMouseAction::Move;
  int32_t Button = 0;  // 1 left, 2 right, 3 middle; 0 for move, wheel, hover, leave
  // KeyState flags held during the message; for Wheel the wheel delta
  // (multiples of 120, up positive) sits in the high 16 bits.
  uint32_t State = 0;
  int16_t X = 0;  // client coordinates
  int16_t Y = 0;
};

enum class TKeyAction : uint8_t {
  Down,  // WM_KEYDOWN, WM_SYSKEYDOWN
  Up,    // WM_KEYUP, WM_SYSKEYUP
  Char,  // WM_CHAR, WM_SYSCHAR
};

struct TKeyInfo {
  TKeyAction Action = TKeyAction::Down;
  // Win32 virtual key code for Down and Up (VK_RETURN 13, VK_TAB 9, ...);
  // the 1251 character byte (0..255) for Char. A handler sets it to 0 to
  // consume the key, or replaces it.
  int32_t Key = 0;
  uint32_t Modifiers = 0;  // KeyState::Shift, Ctrl, Alt
};

// A control's notifications. Every method has a neutral default.
class TControlEvents {
 public:
  virtual ~TControlEvents() = default;
  virtual void onClick() {}       // BN_CLICKED, STN_CLICKED
  virtual void onTextChange() {}  // EN_CHANGE, also for setText on an EDIT
  // CBN_SELCHANGE by the user, delivered once the control finished updating
  // its edit field (posted, never inside the notification); not for
  // setSelection.
  virtual void onSelectionChange() {}
  virtual int32_t onMeasureItem() { return 0; }  // item height of a drawn combo box
  virtual void onDrawItem(TPainter&, const TDrawItemInfo&) {}
  virtual void onPaint(TPainter&) {}  // the control's own paint (the image)
  virtual void onMouse(const TMouseInfo&) {}
  virtual void onKey(TKeyInfo&) {}
  virtual void onFocus(bool /*gained*/) {}
  // WM_WINDOWPOSCHANGING with a size: the handler may change the requested
  // outer size before it is applied.
  virtual void onSizeRequest(int32_t& /*width*/, int32_t& /*height*/) {}
  virtual void onResize() {}  // WM_SIZE
  virtual void onMove() {}    // WM_MOVE
  // WM_SHOWWINDOW with show = true while the control was not yet visible.
  virtual void onShow() {}
  // WM_CLOSE of a top-level window; byUser is false for close() calls. The
  // handler does whatever closing means (the backend closes nothing).
  virtual void onCloseRequest(bool /*byUser*/) {}
  // The window system destroyed the control on its own (its parent went
  // first); the object stays inert until its owner deletes it.
  virtual void onDestroyed() {}
};

struct TControlSpec {
  std::string ClassName;  // one of WinClass
  std::string Text;       // 1251
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  // Outer rectangle, used exactly (the caller resolved the class default
  // sizes); relative to the parent's client area, on screen for top-level.
  TRect Bounds;
  class TNativeControl* Parent = nullptr;  // children: the form; top-level: null
  class TNativeControl* Owner = nullptr;   // top-level: the window that owns it
  TControlEvents* Events = nullptr;
};

// One native window or control. Destroying the object destroys the window.
class TNativeControl {
 public:
  virtual ~TNativeControl() = default;

  virtual const std::string& className() const = 0;
  virtual TNativeControl* parent() const = 0;
  virtual void setEvents(TControlEvents* events) = 0;

  virtual void setText(const std::string& text) = 0;
  virtual std::string text() const = 0;

  virtual void setStyle(uint32_t style) = 0;  // takes effect at once
  virtual uint32_t style() const = 0;
  virtual void setExStyle(uint32_t exStyle) = 0;
  virtual uint32_t exStyle() const = 0;

  // Outer rectangle relative to the parent's client area.
  virtual void setBounds(const TRect& bounds) = 0;
  virtual TRect bounds() const = 0;
  virtual TSize clientSize() const = 0;
  virtual void bringToTop() = 0;  // first among its siblings

  virtual void setVisible(bool visible) = 0;
  virtual bool isVisible() const = 0;  // own flag, regardless of the parents
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() const = 0;

  virtual void setFont(const TFontSpec& font) = 0;
  // Extent of a text in the control's current font (GetTextExtentPoint32).
  virtual TSize textExtent(const std::string& text) const = 0;
  virtual void setBackgroundColor(TColor color) = 0;  // CCM_SETBKCOLOR or the brush
  virtual void setTransparent(bool transparent) = 0;
  virtual void setCursor(TCursorHandle cursor) = 0;
  virtual void setMouseCapture(bool capture) = 0;  // SetCapture / ReleaseCapture
  virtual void setFocus() = 0;
  virtual void setIcon(TIconHandle icon) = 0;  // top-level: takes it, frees the previous one
  virtual void invalidate() = 0;
  virtual void setRedraw(bool redraw) = 0;  // WM_SETREDRAW
  // The form's "move by caption": drags the window with the mouse and
  // returns when the button is released.
  virtual void dragWindow() = 0;
  // Sends WM_CLOSE as a program request (onCloseRequest with byUser false).
  virtual void close() = 0;

  // EDIT: the caret (selection start) and the selection.
  virtual int32_t caretPosition() const = 0;
  virtual void setSelection(int32_t start, int32_t end) = 0;

  // COMBOBOX items. Indexes are 0-based; -1 answers "none" or failure.
  virtual int32_t addItem(const std::string& text) = 0;  // sorted when CBS_SORT
  virtual int32_t insertItem(int32_t index, const std::string& text) = 0;
  virtual void deleteItem(int32_t index) = 0;
  virtual void clearItems() = 0;
  virtual int32_t itemCount() const = 0;
  virtual std::string itemText(int32_t index) const = 0;
  // 0 until set (as Win32 keeps it), -1 when there is no such item.
  virtual int32_t itemData(int32_t index) const = 0;
  virtual void setItemData(int32_t index, int32_t data) = 0;
  virtual int32_t selectedIndex() const = 0;
  virtual void selectItem(int32_t index) = 0;  // -1 clears; no notification

  // msctls_progress32: the position is clamped into the range.
  virtual void setProgressRange(int32_t low, int32_t high) = 0;
  virtual void setProgressPosition(int32_t position) = 0;
  virtual int32_t progressPosition() const = 0;
  virtual void setBarColor(TColor color) = 0;
};

// Settings a tooltip keeps from its creation.
struct TTooltipSpec {
  bool Balloon = false;
  TFontSpec Font;  // Font.Color is the text colour
  TColor BackColor = 0;
  int32_t InitialDelay = 500;   // ms
  int32_t AutoPopDelay = 5000;  // ms
  int32_t Margin = 0;           // px, all four sides
};

// A tooltip window attached to one control ("tooltips_class32").
class TNativeTooltip {
 public:
  virtual ~TNativeTooltip() = default;
  virtual void setText(const std::string& text) = 0;
  virtual void setTitle(int32_t icon, const std::string& title) = 0;
  virtual void trackActivate(bool active) = 0;
  virtual void trackPosition(int16_t x, int16_t y) = 0;  // client coordinates of the control
};

class TWindowSystem {
 public:
  // The thread that constructs the window system is its UI thread.
  TWindowSystem();
  virtual ~TWindowSystem();
  TWindowSystem(const TWindowSystem&) = delete;
  TWindowSystem& operator=(const TWindowSystem&) = delete;

  virtual std::unique_ptr<TNativeControl> createControl(const TControlSpec& params) = 0;
  virtual std::unique_ptr<TNativeTooltip> createTooltip(TNativeControl& owner,
                                                        const TTooltipSpec& params) = 0;
  // Icon from the program's icon resource; 0 when there is none.
  virtual TIconHandle loadIcon(const std::string& name) = 0;
  // A second handle of the same picture (CopyImage), for a second window.
  virtual TIconHandle copyIcon(TIconHandle icon) = 0;
  virtual void destroyIcon(TIconHandle icon) = 0;

  // RGB of a Win32 system colour index (GetSysColor). The default answers
  // the portable palette, systemColorRgb().
  virtual TColor systemColor(int32_t index);
  // Whether bitmaps can be stretched with smoothing (the NT family's HALFTONE).
  virtual bool halftoneAvailable() { return true; }
  // The control that has the keyboard focus, or null.
  virtual TNativeControl* focusedControl() const = 0;

  // Modal box with an OK button; any thread.
  virtual void messageBox(const std::string& text, const std::string& caption) = 0;

  // Runs until quit(); serves pending synchronous calls meanwhile. Ends with
  // shutdown().
  virtual int runMessageLoop() = 0;
  // Ends the loop (PostQuitMessage); any thread.
  virtual void quit(int exitCode) = 0;

  // Runs fn on the UI thread and returns when it has run. On the UI thread
  // itself fn runs at once; after shutdown() it returns at once without
  // running fn. Any thread.
  void invokeSync(const std::function<void()>& fn);
  // Runs fn on the UI thread later and returns at once; on the UI thread fn
  // runs at once, after pending posts of the same key were dropped (they are
  // older). Posts and synchronous calls run in the order they were made,
  // except that a post replaces a pending post of the same key when only
  // posts of other keys were made after it: a key names one value of one
  // control (a text, a position), values of different keys are independent,
  // and the latest value of each wins. Posts reach the controls at most
  // every PostInterval (a synchronous call takes them along at once), so a
  // thread that sets a value per byte sent costs the UI thread no more than
  // a display refresh. Dropped after shutdown(). Any thread.
  void invokeAsync(const void* key, std::function<void()> fn);
  // Drops the pending posts of the key (its control goes away). UI thread.
  void cancelAsync(const void* key);
  static constexpr std::chrono::milliseconds PostInterval{20};
  // Runs the synchronous calls queued so far (UI thread; elsewhere nothing).
  void pumpPending();
  // Waits until finished() answers true. On the UI thread it keeps running
  // synchronous calls meanwhile, so a thread it waits for (joins) may still
  // call invokeSync without a deadlock.
  void waitPumping(const std::function<bool()>& finished);
  // From now on invokeSync returns at once and posts are dropped; queued
  // calls are dropped (their callers return). Calls already running finish
  // first. Returns once no other thread is still waking the UI thread, so a
  // backend calls it first in its destructor.
  void shutdown();
  bool isShutDown() const;
  bool isUiThread() const;
  // Tests: makes the calling thread the UI thread.
  void bindToCurrentThread();
  // Tests: the synchronous calls waiting for the UI thread. Any thread.
  size_t queuedCalls() const;

 protected:
  // Makes the UI thread call pumpPending() soon (a posted message, Fl::awake).
  // Called from other threads, without locks held.
  virtual void wakeUiThread() = 0;
  // UI thread: makes it call pumpPending() once more after the delay (a
  // timer of its own).
  virtual void pumpPendingAfter(std::chrono::milliseconds delay) = 0;

 private:
  struct TPendingCalls;
  void wakeAfterQueueing(TPendingCalls& pending);
  // Shared with the callers waiting in invokeSync, which may wake only after
  // the window system is gone.
  std::shared_ptr<TPendingCalls> pending_;
};

// A colour property: 0x00BBGGRR as is; top byte 0xFF: system colour of the
// low byte, through the installed window system.
TColor resolveColor(uint32_t color);

// The installed window system; the first call installs the platform's own
// backend, or the headless one when QUIL_HEADLESS is set in the environment.
TWindowSystem& windowSystem();
// Replaces the installed window system (tests, command-line choice) and
// points systemSeams().messageBox at it. Call before other threads run.
void installWindowSystem(std::unique_ptr<TWindowSystem> system);
// The backend chosen at build time (Win32 on Windows, FLTK on Linux).
std::unique_ptr<TWindowSystem> createPlatformWindowSystem();
std::unique_ptr<TWindowSystem> createHeadlessWindowSystem();

// Shorthands on the installed window system, for waits outside the UI layer
// (the serial port's close routine joining its reader): any thread.
void pumpPendingCalls();
void waitPumping(const std::function<bool()>& finished);
