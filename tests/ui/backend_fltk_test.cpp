// The FLTK backend on a real (virtual) X display: widgets at the exact
// rectangles, Cyrillic texts, what the screen shows, input a user makes
// with xdotool, and calls from other threads.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "backendSuite.h"
#include "ui/bitmap.h"
#include "ui/os/fltk/backend.h"

namespace {
// Runs the UI loop until done() or the time is up.
bool waitFor(const std::function<bool()>& done, double seconds = 5.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Fl::wait(0.02);
  }
  return true;
}

// Runs a shell command (xdotool) on another thread while the UI loop runs.
bool runWhileLooping(const std::string& command) {
  std::atomic<bool> finished{false};
  std::atomic<int> status{-1};
  std::thread runner([&] {
    status = std::system(command.c_str());
    finished = true;
  });
  waitFor([&] { return finished.load(); }, 20.0);
  runner.join();
  return status == 0;
}

std::string utf8Property(Window window, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(fl_display, window, XInternAtom(fl_display, name, False), 0, 1024, False,
                     AnyPropertyType, &type, &format, &count, &after, &data);
  std::string value = data != nullptr ? std::string(reinterpret_cast<char*>(data), count) : "";
  if (data != nullptr) XFree(data);
  return value;
}

struct TRgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const TRgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TRgb& c) {
  return out << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

TRgb rgbOf(TColor color) {
  return {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
          static_cast<int>((color >> 16) & 0xFF)};
}

// A screenshot of the whole screen, as the X server shows it.
class TScreenshot {
 public:
  TScreenshot() {
    XSync(fl_display, False);
    const Window root = RootWindow(fl_display, fl_screen);
    XWindowAttributes attributes{};
    XGetWindowAttributes(fl_display, root, &attributes);
    image_ = XGetImage(fl_display, root, 0, 0, static_cast<unsigned>(attributes.width),
                       static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  }
  ~TScreenshot() {
    if (image_ != nullptr) XDestroyImage(image_);
  }
  TScreenshot(const TScreenshot&) = delete;
  TScreenshot& operator=(const TScreenshot&) = delete;

  TRgb at(int x, int y) const {
    const unsigned long pixel = XGetPixel(image_, x, y);
    return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
            static_cast<int>(pixel & 0xFF)};
  }
  // Pixels in the rectangle darker than mid grey (text strokes).
  int darkPixels(int x, int y, int w, int h) const {
    int n = 0;
    for (int j = y; j < y + h; ++j) {
      for (int i = x; i < x + w; ++i) {
        const TRgb c = at(i, j);
        n += c.r + c.g + c.b < 3 * 100 ? 1 : 0;
      }
    }
    return n;
  }
  bool valid() const { return image_ != nullptr; }

 private:
  XImage* image_ = nullptr;
};

class FltkBackend : public TBackendSuite {
 protected:
  // In the font the window elements use, so that texts measure the same.
  std::unique_ptr<TNativeControl> child(const char* className, uint32_t style, TRect bounds,
                                        TControlEvents* events, const std::string& text = {}) {
    auto control = TBackendSuite::child(className, style, bounds, events, text);
    control->setFont({"MS Sans Serif", -11, 0, 0, 1});
    return control;
  }

  // Root coordinates of a point in the form's client area.
  std::string rootPoint(int x, int y) {
    const Fl_Window* window = static_cast<Fl_Window*>(nativeWidget(*form));
    return std::to_string(window->x() + x) + " " + std::to_string(window->y() + y);
  }
};
}  // namespace

TEST_F(FltkBackend, TheFormIsFoundByItsClassAndItsUtf8Caption) {
  Fl::check();
  auto* window = static_cast<Fl_Window*>(nativeWidget(*form));
  ASSERT_TRUE(window->shown());
  const Window xid = fl_xid(window);
  EXPECT_EQ(utf8Property(xid, "_NET_WM_NAME"), "Загрузчик прошивки");
  EXPECT_EQ(utf8Property(xid, "WM_NAME"), "Загрузчик прошивки");
  form->setText(cp("Quilmatronx bootloader"));
  EXPECT_EQ(utf8Property(xid, "_NET_WM_NAME"), "Quilmatronx bootloader");
  EXPECT_EQ(form->text(), "Quilmatronx bootloader");

  FILE* search = popen("xdotool search --classname quilmatronx", "r");
  ASSERT_NE(search, nullptr);
  char line[64] = {};
  std::string found;
  while (fgets(line, sizeof line, search) != nullptr) found += line;
  pclose(search);
  EXPECT_NE(found.find(std::to_string(xid)), std::string::npos) << found;

  // Only the form is on the screen; the application window has no picture.
  EXPECT_FALSE(static_cast<Fl_Window*>(nativeWidget(*suiteWindows->app))->shown());
  // The client area is the window's rectangle less the Windows frame.
  EXPECT_EQ(form->bounds(), (TRect{200, 200, 816, 371}));
  EXPECT_EQ(form->clientSize(), (TSize{610, 142}));
  EXPECT_EQ(window->x(), 203);
  EXPECT_EQ(window->y(), 226);
}

TEST_F(FltkBackend, ControlsSitAtTheirRectanglesWithTheirTexts) {
  TRecordingEvents events;
  auto label = child(WinClass::Static, BackendStyles::Label, {110, 55, 382, 75}, &events,
                     cp("Версия ПО для обновления"));
  auto button =
      child(WinClass::Button, BackendStyles::Button, {5, 50, 90, 80}, &events, cp("Записать"));
  auto edit = child(WinClass::Edit, BackendStyles::Edit | BackendStyles::ReadOnly,
                    {110, 10, 430, 35}, &events, cp("Выберите порт"));
  auto combo = child(WinClass::ComboBox, BackendStyles::Combo, {10, 10, 95, 34}, &events);
  auto progress = child(WinClass::Progress, BackendStyles::Progress, {5, 90, 605, 120}, &events);

  for (auto* control : {label.get(), button.get(), edit.get(), progress.get()}) {
    const Fl_Widget* widget = nativeWidget(*control);
    const TRect r = control->bounds();
    EXPECT_EQ(
        (TRect{widget->x(), widget->y(), widget->x() + widget->w(), widget->y() + widget->h()}), r);
    EXPECT_EQ(widget->window(), nativeWidget(*form));
  }
  EXPECT_EQ(button->bounds(), (TRect{5, 50, 90, 80}));
  EXPECT_EQ(progress->bounds(), (TRect{5, 90, 605, 120}));
  // A drop-down list is one line high; the given height is for the list.
  EXPECT_EQ(nativeWidget(*combo)->x(), 10);
  EXPECT_EQ(nativeWidget(*combo)->w(), 85);
  EXPECT_LE(nativeWidget(*combo)->h(), 24);
  EXPECT_GE(nativeWidget(*combo)->h(), 18);

  EXPECT_EQ(label->text(), cp("Версия ПО для обновления"));
  EXPECT_EQ(std::string(static_cast<Fl_Input*>(nativeWidget(*edit))->value()), "Выберите порт");
  edit->setText(cp("Устройство: ё № ещё"));
  EXPECT_EQ(edit->text(), cp("Устройство: ё № ещё"));
  EXPECT_EQ(events.textChanges, 1);  // as EN_CHANGE after WM_SETTEXT

  EXPECT_EQ(combo->addItem("COM7"), 0);
  EXPECT_EQ(combo->insertItem(0, cp("Порт/1 & @2")), 0);
  EXPECT_EQ(combo->itemText(0), cp("Порт/1 & @2"));
  EXPECT_EQ(combo->itemData(1), 0);
  combo->setItemData(1, 12);
  EXPECT_EQ(combo->itemData(1), 12);
  combo->selectItem(1);
  EXPECT_EQ(combo->text(), "COM7");
  combo->deleteItem(0);
  EXPECT_EQ(combo->selectedIndex(), 0);
  combo->selectItem(5);
  EXPECT_EQ(combo->selectedIndex(), -1);

  // Style words read back as set; visibility and the enabled state as they are.
  EXPECT_EQ(label->style(), BackendStyles::Label);
  label->setEnabled(false);
  EXPECT_EQ(label->style() & WinStyle::Disabled, WinStyle::Disabled);
  EXPECT_FALSE(nativeWidget(*label)->active());

  progress->setProgressRange(0, 507);
  progress->setProgressPosition(900);
  EXPECT_EQ(progress->progressPosition(), 507);
  progress->setProgressPosition(-3);
  EXPECT_EQ(progress->progressPosition(), 0);

  // The caret counts characters, not UTF-8 bytes.
  edit->setSelection(3, 3);
  EXPECT_EQ(edit->caretPosition(), 3);
  EXPECT_EQ(static_cast<Fl_Input*>(nativeWidget(*edit))->position(), 6);
}

TEST_F(FltkBackend, TheScreenShowsTheControlsInTheWindowsColours) {
  const TColor face = systemColorRgb(15), light = systemColorRgb(22);
  const TColor shadow = systemColorRgb(16), darkShadow = systemColorRgb(21);
  TRecordingEvents events, imageEvents;
  auto label = child(WinClass::Static, BackendStyles::Label, {10, 100, 300, 124}, &events,
                     cp("Ошибка при передаче данных!"));
  label->setExStyle(WinExStyle::ClientEdge);
  auto edit = child(WinClass::Edit, BackendStyles::Edit | BackendStyles::ReadOnly,
                    {110, 10, 430, 35}, &events, cp("Выберите порт"));
  edit->setBackgroundColor(light);
  auto progress = child(WinClass::Progress, BackendStyles::Progress, {5, 50, 605, 80}, &events);
  progress->setProgressRange(0, 507);
  progress->setProgressPosition(300);
  progress->setBarColor(shadow);
  progress->setBackgroundColor(face);
  TBitmap red{2, 2, {0x00FF0000, 0x00FF0000, 0x00FF0000, 0x00FF0000}};
  imageEvents.onPaintHook = [&](TPainter& painter) {
    painter.fillRect({0, 0, 15, 2}, 0x0000FF00);
    painter.drawBitmap(red, {0, 2, 15, 14}, TStretchMode::Halftone);
  };
  auto image = child(WinClass::Static, BackendStyles::Label, {145, 85, 160, 99}, &imageEvents);
  Fl::flush();
  ASSERT_TRUE(waitFor([&] { return imageEvents.paints > 0; }));
  Fl::flush();

  const TScreenshot screen;
  ASSERT_TRUE(screen.valid());
  auto* window = static_cast<Fl_Window*>(nativeWidget(*form));
  const int ox = window->x(), oy = window->y();
  // Form background away from the controls.
  EXPECT_EQ(screen.at(ox + 400, oy + 120), rgbOf(face));
  // The read-only edit in its own colour, with its text drawn.
  EXPECT_EQ(screen.at(ox + 425, oy + 30), rgbOf(light));
  EXPECT_GT(screen.darkPixels(ox + 112, oy + 12, 200, 21), 20);
  // The smooth bar: filled to 300/507 of its inside, background after that.
  EXPECT_EQ(screen.at(ox + 100, oy + 65), rgbOf(shadow));
  EXPECT_EQ(screen.at(ox + 500, oy + 65), rgbOf(face));
  // The label's sunken client edge, and its Cyrillic text inside.
  EXPECT_EQ(screen.at(ox + 10, oy + 110), rgbOf(shadow));
  EXPECT_EQ(screen.at(ox + 11, oy + 110), rgbOf(darkShadow));
  EXPECT_GT(screen.darkPixels(ox + 12, oy + 102, 280, 20), 30);
  // The owner-drawn image: a green band, then the bitmap stretched.
  EXPECT_EQ(screen.at(ox + 150, oy + 86), (TRgb{0, 255, 0}));
  EXPECT_EQ(screen.at(ox + 150, oy + 93), (TRgb{255, 0, 0}));
}

TEST_F(FltkBackend, ATransparentLabelLeavesNoOldTextBehind) {
  TRecordingEvents events;
  auto label = child(WinClass::Static, BackendStyles::Label, {300, 100, 600, 124}, &events,
                     cp("Проверьте все соединения и попробуйте ещё раз."));
  label->setTransparent(true);
  waitFor([] { return false; }, 0.2);
  label->setText("OK");
  waitFor([] { return false; }, 0.2);
  const TScreenshot screen;
  auto* window = static_cast<Fl_Window*>(nativeWidget(*form));
  EXPECT_GT(screen.darkPixels(window->x() + 300, window->y() + 100, 30, 24), 5);
  EXPECT_EQ(screen.darkPixels(window->x() + 340, window->y() + 100, 250, 24), 0);
}

TEST_F(FltkBackend, AClickOnTheScreenReachesTheButtonButNotThroughADisabledForm) {
  TRecordingEvents events;
  auto button =
      child(WinClass::Button, BackendStyles::Button, {5, 50, 90, 80}, &events, cp("Записать"));
  Fl::flush();
  ASSERT_TRUE(runWhileLooping("xdotool mousemove --sync " + rootPoint(40, 65) + " click 1"));
  ASSERT_TRUE(waitFor([&] { return events.clicks == 1; }));
  EXPECT_EQ(events.count(TMouseAction::Down), 1);
  EXPECT_EQ(events.count(TMouseAction::Up), 1);

  form->setEnabled(false);
  ASSERT_TRUE(runWhileLooping("xdotool click 1"));
  waitFor([] { return false; }, 0.3);
  EXPECT_EQ(events.clicks, 1);
  // Disabling the form blocks input without greying its controls.
  EXPECT_TRUE(nativeWidget(*button)->active_r());
}

TEST_F(FltkBackend, DraggingByTheClientAreaMovesTheFormUntilTheButtonIsUp) {
  formEvents.onMouseHook = [&](const TMouseInfo& info) {
    if (info.Action == TMouseAction::Down) form->dragWindow();
  };
  const TRect before = form->bounds();
  Fl::flush();
  ASSERT_TRUE(runWhileLooping("xdotool mousemove --sync " + rootPoint(400, 130) +
                              " mousedown 1 sleep 0.2 mousemove_relative --sync 50 30"
                              " sleep 0.2 mouseup 1"));
  waitFor([] { return false; }, 0.3);
  formEvents.onMouseHook = nullptr;
  const TRect after = form->bounds();
  EXPECT_EQ(after.left - before.left, 50);
  EXPECT_EQ(after.top - before.top, 30);
  // The drag took the button's release, as the system's move loop does.
  EXPECT_EQ(formEvents.count(TMouseAction::Down), 1);
  EXPECT_EQ(formEvents.count(TMouseAction::Up), 0);
  form->setBounds(before);
}

TEST_F(FltkBackend, PickingAnItemFromTheDropDownIsReportedOnceAfterItCloses) {
  TRecordingEvents events;
  auto combo = child(WinClass::ComboBox, BackendStyles::Combo, {10, 10, 95, 34}, &events);
  combo->addItem("COM1");
  combo->addItem("COM7");
  int32_t selectedWhenReported = -2;
  events.onSelectionHook = [&] { selectedWhenReported = combo->selectedIndex(); };
  Fl::flush();
  ASSERT_TRUE(runWhileLooping("xdotool mousemove --sync " + rootPoint(40, 20) +
                              " click 1 sleep 0.5 key Down key Down key Return"));
  ASSERT_TRUE(waitFor([&] { return events.selections > 0; }));
  waitFor([] { return false; }, 0.2);
  EXPECT_EQ(events.selections, 1);
  EXPECT_EQ(selectedWhenReported, 1);
  EXPECT_EQ(combo->text(), "COM7");

  // With the list closed, the arrow keys step the selection and report it.
  ASSERT_EQ(system->focusedControl(), combo.get());
  ASSERT_TRUE(runWhileLooping("xdotool key Up"));
  ASSERT_TRUE(waitFor([&] { return events.selections == 2; }));
  EXPECT_EQ(selectedWhenReported, 0);
}

TEST_F(FltkBackend, TypedKeysPassTheHandlerFirstAndTabMovesNoFocus) {
  TRecordingEvents events;
  auto edit = child(WinClass::Edit, BackendStyles::Edit, {110, 10, 430, 35}, &events);
  events.onKeyHook = [](TKeyInfo& key) {
    if (key.Action == TKeyAction::Char && key.Key == 'b') key.Key = 0;
  };
  edit->setFocus();
  ASSERT_EQ(system->focusedControl(), edit.get());
  ASSERT_TRUE(runWhileLooping("xdotool type --delay 30 abc && xdotool key Tab"));
  ASSERT_TRUE(waitFor([&] { return edit->text() == "ac"; }));
  waitFor([] { return false; }, 0.2);
  // Tab stays with the control: navigation belongs to the elements.
  EXPECT_EQ(system->focusedControl(), edit.get());
  bool sawDownA = false, sawCharA = false, sawTab = false;
  for (const TKeyInfo& key : events.keys) {
    sawDownA = sawDownA || (key.Action == TKeyAction::Down && key.Key == 'A');
    sawCharA = sawCharA || (key.Action == TKeyAction::Char && key.Key == 'a');
    sawTab = sawTab || (key.Action == TKeyAction::Down && key.Key == 9);
  }
  EXPECT_TRUE(sawDownA);
  EXPECT_TRUE(sawCharA);
  EXPECT_TRUE(sawTab);
}

TEST_F(FltkBackend, ChildrenOutlivedByTheirWindowAreToldAndStayInert) {
  auto windows = std::make_unique<TTopLevel>(*system);
  TRecordingEvents events;
  auto label = system->createControl(controlSpec(WinClass::Static, BackendStyles::Label,
                                                 {0, 0, 50, 20}, windows->form.get(), &events));
  windows.reset();
  EXPECT_EQ(events.destroyed, 1);
  EXPECT_EQ(nativeWidget(*label)->window(), nullptr);
  label->setText("ignored");
  label.reset();
  EXPECT_EQ(events.destroyed, 1);
}
