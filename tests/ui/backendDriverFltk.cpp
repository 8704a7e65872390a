// The FLTK driver on a private Xvfb display: xdotool input while the UI loop runs.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <utility>

#include "backendDriver.h"
#include "ui/os/fltk/backend.h"

namespace driver {
namespace {
// Runs the UI loop until done() or the time is up.
void loopUntil(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done() && std::chrono::steady_clock::now() <= end) Fl::wait(0.02);
}

// xdotool on another thread while the UI loop runs, then the UI thread handles what it caused.
void xdotool(const std::string& arguments) {
  Fl::flush();
  auto status = std::async(
      std::launch::async, [&] { return std::system(("timeout 20 xdotool " + arguments).c_str()); });
  loopUntil([&] { return status.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            25.0);
  EXPECT_EQ(status.get(), 0) << "xdotool " << arguments;
  loopUntil([] { return false; }, 0.3);
}

// Root coordinates of a point of the control.
std::pair<int, int> rootPoint(TNativeControl& control, int x, int y) {
  Fl_Widget* widget = nativeWidget(control);
  const Fl_Window* window = widget->as_window() != nullptr ? widget->as_window() : widget->window();
  if (widget == window) return {window->x() + x, window->y() + y};
  return {window->x() + widget->x() + x, window->y() + widget->y() + y};
}

// The pointer to the control's middle; --sync waits for a move, so it leaves first.
std::string pointAt(TNativeControl& control) {
  const Fl_Widget* widget = nativeWidget(control);
  const auto [x, y] = rootPoint(control, widget->w() / 2, widget->h() / 2);
  return "mousemove 0 0 mousemove --sync " + std::to_string(x) + " " + std::to_string(y);
}

// xdotool binds a keyless character to a spare key only for the press, and a busy window
// reading it later loses it: bind such characters to spare keys for good first.
void bindToSpareKeys(const std::string& utf8) {
  int low = 0, high = 0;
  XDisplayKeycodes(fl_display, &low, &high);
  for (const char *at = utf8.data(), *end = at + utf8.size(); at < end;) {
    int length = 0;
    const KeySym symbol = 0x01000000 | fl_utf8decode(at, end, &length);  // a Unicode key
    at += length;
    if (symbol < 0x01000080 || XKeysymToKeycode(fl_display, symbol) != 0) continue;
    int perCode = 0;
    KeySym* map =
        XGetKeyboardMapping(fl_display, static_cast<KeyCode>(low), high - low + 1, &perCode);
    int spare = high;
    while (spare > low &&
           std::any_of(map + (spare - low) * perCode, map + (spare - low + 1) * perCode,
                       [](KeySym s) { return s != NoSymbol; }))
      --spare;
    XFree(map);
    XChangeKeyboardMapping(fl_display, spare, 1, const_cast<KeySym*>(&symbol), 1);
    XSync(fl_display, False);
  }
}
}  // namespace

const bool NativeInput = true;

std::unique_ptr<TWindowSystem> createSystem() { return createPlatformWindowSystem(); }

void settle(TWindowSystem&) {
  loopUntil([] { return false; }, 0.2);
}

void click(TWindowSystem&, TNativeControl& control) { xdotool(pointAt(control) + " click 1"); }

// Without a window manager the keyboard follows the pointer.
void type(TWindowSystem&, TNativeControl& control, const std::string& text) {
  bindToSpareKeys(text);
  xdotool(pointAt(control) + " type --delay 30 '" + text + "'");
}

void chooseItem(TWindowSystem&, TNativeControl& combo, int32_t index) {
  // The list opens with the selected item lit; the arrows move the light.
  const int32_t steps = index - combo.selectedIndex();
  std::string keys;
  for (int32_t i = 0; i < std::abs(steps); ++i) keys += steps < 0 ? " key Up" : " key Down";
  xdotool(pointAt(combo) + " click 1 sleep 0.5" + keys + " key Return");
}

void pressDown(TWindowSystem&, TNativeControl& combo) { xdotool(pointAt(combo) + " key Down"); }

void userClose(TWindowSystem&, TNativeControl& window) { nativeWidget(window)->do_callback(); }

void drag(TWindowSystem&, TNativeControl& control, int dx, int dy) {
  xdotool(pointAt(control) + " mousedown 1 sleep 0.2 mousemove_relative --sync " +
          std::to_string(dx) + " " + std::to_string(dy) + " sleep 0.2 mouseup 1");
}

std::string shownTitle(TWindowSystem&, TNativeControl& window) {
  Fl::check();
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(fl_display, fl_xid(static_cast<Fl_Window*>(nativeWidget(window))),
                     XInternAtom(fl_display, "_NET_WM_NAME", False), 0, 1024, False,
                     AnyPropertyType, &type, &format, &count, &after, &data);
  std::string value = data != nullptr ? std::string(reinterpret_cast<char*>(data), count) : "";
  if (data != nullptr) XFree(data);
  return value;
}

std::string tooltipText(TNativeTooltip&, TNativeControl& owner) {
  const char* text = nativeWidget(owner)->tooltip();
  return text != nullptr ? text : "";
}

// The drop-down menu opens as long as its items.
std::optional<int> listRoom(TNativeControl&) { return std::nullopt; }

std::optional<TColor> pixel(TNativeControl& control, int x, int y) {
  const auto [rootX, rootY] = rootPoint(control, x, y);
  XImage* image = XGetImage(fl_display, RootWindow(fl_display, fl_screen), rootX, rootY, 1, 1,
                            AllPlanes, ZPixmap);
  if (image == nullptr) return std::nullopt;
  const unsigned long rgb = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return static_cast<TColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}
}  // namespace driver
