// The contract of every window backend (ui/windowSystem.h), run with each one's driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ranges>
#include <thread>
#include <vector>

#include "backendDriver.h"
#include "runtime/codepage.h"
#include "support/boundedWait.h"
#include "ui/bitmap.h"

namespace {
std::string cp(const char* utf8Text) { return utf8To1251(utf8Text); }

struct TRecordingEvents : TControlEvents {
  int clicks = 0, textChanges = 0, selections = 0, shows = 0, destroyed = 0;
  std::vector<bool> closeRequests;  // byUser of each
  std::vector<TKeyInfo> keys;
  std::vector<TMouseInfo> mice;
  std::vector<bool> focus;
  std::function<void(TKeyInfo&)> onKeyHook;  // may consume the key
  std::function<void(TPainter&)> onPaintHook;
  std::function<void()> onSelectionHook;  // sees the control as it reports

  void onClick() override { ++clicks; }
  void onTextChange() override { ++textChanges; }
  void onSelectionChange() override {
    ++selections;
    if (onSelectionHook) onSelectionHook();
  }
  void onShow() override { ++shows; }
  void onPaint(TPainter& painter) override {
    if (onPaintHook) onPaintHook(painter);
  }
  void onMouse(const TMouseInfo& info) override { mice.push_back(info); }
  void onKey(TKeyInfo& key) override {
    if (onKeyHook) onKeyHook(key);
    keys.push_back(key);
  }
  void onFocus(bool gained) override { focus.push_back(gained); }
  void onCloseRequest(bool byUser) override { closeRequests.push_back(byUser); }
  void onDestroyed() override { ++destroyed; }

  int count(TMouseAction action) const {
    return static_cast<int>(std::ranges::count(mice, action, &TMouseInfo::Action));
  }
};

// Style words of the controls as the window elements create them.
namespace Styles {
constexpr uint32_t Child =
    WinStyle::Child | WinStyle::Visible | WinStyle::ClipSiblings | WinStyle::ClipChildren;
constexpr uint32_t App = 0x90CA0000;
constexpr uint32_t Form = WinStyle::Popup | WinStyle::ClipChildren | WinStyle::Caption |
                          WinStyle::SysMenu | WinStyle::MinimizeBox;
constexpr uint32_t Label = Child | 0x018C;
constexpr uint32_t Button = Child | WinStyle::TabStop | 0x3000;
constexpr uint32_t Edit = Child | WinStyle::Border | WinStyle::TabStop | 0xC0;
constexpr uint32_t ReadOnly = 0x800;
constexpr uint32_t Combo = Child | WinStyle::VScroll | WinStyle::TabStop | 0x243;
constexpr uint32_t Sorted = 0x100;
constexpr uint32_t Progress = Child | 1;  // PBS_SMOOTH
}  // namespace Styles

TControlSpec controlParams(const char* className, uint32_t style, TRect bounds,
                           TNativeControl* parent, TControlEvents* events, std::string text = {}) {
  return {className, std::move(text), style, 0, bounds, parent, nullptr, events};
}

// Pixels darker than mid grey (text strokes) in a part of the control.
int darkPixels(TNativeControl& control, TRect area) {
  int dark = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      const TColor c = driver::pixel(control, x, y).value_or(0xFFFFFF);
      dark += (c & 0xFF) + ((c >> 8) & 0xFF) + (c >> 16) < 300 ? 1 : 0;
    }
  return dark;
}

// The program's two top-level windows.
struct TTopLevel {
  explicit TTopLevel(TWindowSystem& system) {
    TControlSpec appParams = controlParams(WinClass::App, Styles::App, {}, nullptr, nullptr, "App");
    appParams.ExStyle = WinExStyle::AppWindow;
    app = system.createControl(appParams);
    TControlSpec formParams = controlParams(WinClass::Form, Styles::Form, {200, 200, 816, 371},
                                            nullptr, &formEvents, cp("Загрузчик прошивки"));
    formParams.Owner = app.get();
    form = system.createControl(formParams);
    form->setBackgroundColor(systemColorRgb(15));
    form->setVisible(true);
  }

  TRecordingEvents formEvents;
  std::unique_ptr<TNativeControl> app;
  std::unique_ptr<TNativeControl> form;
};

// One system and form per suite: under Wine each top-level window that goes costs two seconds.
class Backend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    suiteSystem = driver::createSystem().release();
    suiteWindows = new TTopLevel(*suiteSystem);
  }
  static void TearDownTestSuite() {
    delete suiteWindows;
    delete suiteSystem;
  }
  void SetUp() override {
    suiteWindows->formEvents = TRecordingEvents();
    form->setEnabled(true);
  }

  std::unique_ptr<TNativeControl> child(const char* className, uint32_t style, TRect bounds,
                                        TControlEvents* handler, const std::string& text = {}) {
    auto control =
        system->createControl(controlParams(className, style, bounds, form, handler, text));
    control->setFont({"MS Sans Serif", -11, 0, 0, 1});
    control->setVisible(true);
    return control;
  }

  TRecordingEvents events;  // outlives the test's controls
  static inline TWindowSystem* suiteSystem = nullptr;
  static inline TTopLevel* suiteWindows = nullptr;
  TWindowSystem* system = suiteSystem;
  TNativeControl* form = suiteWindows->form.get();
  TRecordingEvents& formEvents = suiteWindows->formEvents;
};
}  // namespace

TEST_F(Backend, ControlsAreCreatedHiddenAndTheStyleReportsTheirState) {
  auto label = system->createControl(
      controlParams(WinClass::Static, Styles::Label, {0, 0, 50, 20}, form, &events));
  EXPECT_FALSE(label->isVisible());
  EXPECT_EQ(label->style() & WinStyle::Visible, 0u);
  label->setVisible(true);
  label->setVisible(true);
  EXPECT_EQ(events.shows, 1);
  EXPECT_EQ(label->style() & WinStyle::Visible, WinStyle::Visible);
  label->setEnabled(false);
  EXPECT_FALSE(label->isEnabled());
  // The word asks for hidden and enabled: setStyle keeps the state.
  label->setStyle((Styles::Label & ~0xCu & ~WinStyle::Visible) | 1);  // SS_CENTER
  EXPECT_EQ(label->style() & 0x1F, 1u);
  EXPECT_TRUE(label->isVisible());
  EXPECT_EQ(label->style() & WinStyle::Disabled, WinStyle::Disabled);
  // A frame counts at once: the client area shrinks by the sunken edge.
  label->setExStyle(WinExStyle::ClientEdge);
  EXPECT_EQ(label->exStyle(), WinExStyle::ClientEdge);
  EXPECT_EQ(label->clientSize().width, 50 - 4);
}

TEST_F(Backend, ChildrenSitAtTheirRectanglesInTheFormsClientArea) {
  const std::tuple<const char*, uint32_t, TRect> cases[] = {
      {WinClass::Static, Styles::Label, {110, 55, 382, 75}},
      {WinClass::Button, Styles::Button, {5, 50, 90, 80}},
      {WinClass::Edit, Styles::Edit, {110, 10, 430, 35}},
      {WinClass::Progress, Styles::Progress, {5, 90, 605, 120}}};
  for (const auto& [className, style, bounds] : cases)
    EXPECT_EQ(child(className, style, bounds, &events)->bounds(), bounds) << className;
  // A drop-down list reports the closed box it was given, not its list.
  auto combo = child(WinClass::ComboBox, Styles::Combo, {10, 10, 95, 34}, &events);
  combo->addItem("COM1");
  combo->setBounds({10, 10, 95, 34});
  EXPECT_EQ(combo->bounds().left, 10);
  EXPECT_LE(combo->bounds().height(), 24);
  EXPECT_GE(driver::listRoom(*combo).value_or(4), 4);  // yet its list opens
  EXPECT_EQ(form->bounds(), (TRect{200, 200, 816, 371}));
  const TSize client = form->clientSize();
  EXPECT_LT(client.width, 616);        // less the frame
  EXPECT_LT(client.height, 171 - 20);  // less the caption
}

TEST_F(Backend, CyrillicTextsTravelBothWaysAndAnEditReportsEachChange) {
  EXPECT_EQ(driver::shownTitle(*system, *form), "Загрузчик прошивки");
  form->setText(cp("Загрузчик: ещё"));
  EXPECT_EQ(driver::shownTitle(*system, *form), "Загрузчик: ещё");
  EXPECT_EQ(form->text(), cp("Загрузчик: ещё"));
  form->setText(cp("Загрузчик прошивки"));

  auto button = child(WinClass::Button, Styles::Button, {5, 50, 90, 80}, &events, cp("Записать"));
  EXPECT_EQ(button->text(), cp("Записать"));
  auto edit = child(WinClass::Edit, Styles::Edit, {110, 10, 430, 35}, &events);
  edit->setText(cp("Устройство: ё Ё № ещё"));
  EXPECT_EQ(edit->text(), cp("Устройство: ё Ё № ещё"));
  EXPECT_EQ(events.textChanges, 1);

  const TSize shortText = button->textExtent(cp("Ошибка"));
  const TSize longText = button->textExtent(cp("Ошибка при передаче данных!"));
  EXPECT_GT(shortText.width, 0);
  EXPECT_GT(longText.width, shortText.width);
  EXPECT_EQ(longText.height, shortText.height);
  button->setFont({"Tahoma", -20, 0, 0, 1});
  EXPECT_GT(button->textExtent(cp("Ошибка")).height, shortText.height);

  TTooltipSpec tip;
  tip.Font = {"Tahoma", -11, 0, 0, 1};
  auto tooltip = system->createTooltip(*button, tip);
  tooltip->setText(cp("Нажмите, чтобы записать"));
  EXPECT_EQ(driver::tooltipText(*tooltip, *button), "Нажмите, чтобы записать");
}

TEST_F(Backend, ComboItemsKeepTheirOrderDataAndSelection) {
  auto combo = child(WinClass::ComboBox, Styles::Combo, {10, 10, 95, 200}, &events);
  EXPECT_EQ(combo->addItem("COM7"), 0);
  EXPECT_EQ(combo->insertItem(0, cp("Порт/1 & @2")), 0);
  EXPECT_EQ(combo->itemText(0), cp("Порт/1 & @2"));
  EXPECT_EQ(combo->itemData(1), 0);   // as Win32 keeps it until set
  EXPECT_EQ(combo->itemData(2), -1);  // no third item
  combo->setItemData(1, 12);
  EXPECT_EQ(combo->itemData(1), 12);
  combo->selectItem(1);
  EXPECT_EQ(combo->text(), "COM7");
  combo->deleteItem(0);  // the selection moves with its item
  EXPECT_EQ(combo->selectedIndex(), 0);
  EXPECT_EQ(combo->itemData(0), 12);
  combo->selectItem(-1);
  EXPECT_EQ(combo->selectedIndex(), -1);
  combo->clearItems();
  EXPECT_EQ(combo->itemCount(), 0);

  auto sorted =
      child(WinClass::ComboBox, Styles::Combo | Styles::Sorted, {10, 40, 95, 200}, &events);
  for (const char* item : {"com2", "COM10", "Com1"}) sorted->addItem(item);
  EXPECT_EQ(sorted->itemText(0), "Com1");  // letter case does not count
  EXPECT_EQ(sorted->itemText(1), "COM10");
  EXPECT_EQ(sorted->itemText(2), "com2");
  EXPECT_EQ(events.selections, 0);
}

TEST_F(Backend, ProgressPositionsAreClampedIntoTheRange) {
  auto progress = child(WinClass::Progress, Styles::Progress, {5, 90, 605, 120}, &events);
  progress->setProgressRange(0, 507);
  const std::pair<int32_t, int32_t> cases[] = {{300, 300}, {900, 507}, {-3, 0}, {507, 507}};
  for (auto [position, shown] : cases) {
    progress->setProgressPosition(position);
    EXPECT_EQ(progress->progressPosition(), shown) << position;
  }
  progress->setProgressRange(0, 100);  // a narrower range takes the position along
  EXPECT_EQ(progress->progressPosition(), 100);
}

TEST_F(Backend, CloseRequestsAreReportedAndTheWindowStays) {
  driver::userClose(*system, *form);
  form->close();
  EXPECT_EQ(formEvents.closeRequests, (std::vector<bool>{true, false}));  // the user, the program
  EXPECT_TRUE(form->isVisible());
}

TEST_F(Backend, KeysReachTheHandlerFirstAndTabMovesNoFocus) {
  auto edit = child(WinClass::Edit, Styles::Edit, {110, 10, 430, 35}, &events, cp("Порт"));
  events.onKeyHook = [](TKeyInfo& key) {
    if (key.Action == TKeyAction::Char && key.Key == 'x') key.Key = 0;
    if (key.Action == TKeyAction::Char && key.Key == 'b') key.Key = 'c';
  };
  edit->setFocus();
  ASSERT_EQ(system->focusedControl(), edit.get());
  ASSERT_FALSE(events.focus.empty());
  EXPECT_TRUE(events.focus.back());
  edit->setSelection(2, 2);  // characters, not bytes of any encoding
  driver::type(*system, *edit, "яxab");
  // The consumed character never reached the edit, the replaced one did not.
  EXPECT_EQ(edit->text(), cp("Пояacрт"));
  EXPECT_EQ(edit->caretPosition(), 5);
  const auto saw = [&](TKeyAction action, int32_t code) {
    return std::ranges::any_of(
        events.keys, [&](const TKeyInfo& k) { return k.Action == action && k.Key == code; });
  };
  EXPECT_TRUE(saw(TKeyAction::Down, 'A'));
  EXPECT_TRUE(saw(TKeyAction::Char, static_cast<unsigned char>(cp("я")[0])));

  // Navigation belongs to the elements: the key is reported, the focus stays.
  driver::type(*system, *edit, "\t");
  EXPECT_EQ(system->focusedControl(), edit.get());
  EXPECT_TRUE(events.focus.back());
  EXPECT_EQ(events.keys.back().Key, 9);
}

TEST_F(Backend, AUsersPickIsReportedOnceAfterTheBoxShowsItAndAProgramsPickNever) {
  auto combo = child(WinClass::ComboBox, Styles::Combo, {10, 10, 95, 200}, &events);
  combo->addItem("COM1");
  combo->addItem("COM7");
  combo->selectItem(1);
  driver::settle(*system);
  EXPECT_EQ(events.selections, 0);
  int32_t selectedWhenReported = -2;
  events.onSelectionHook = [&] { selectedWhenReported = combo->selectedIndex(); };
  driver::chooseItem(*system, *combo, 0);
  EXPECT_EQ(events.selections, 1);
  EXPECT_EQ(selectedWhenReported, 0);
  EXPECT_EQ(combo->text(), "COM1");
  ASSERT_EQ(system->focusedControl(), combo.get());
  driver::pressDown(*system, *combo);  // the closed box steps and reports too
  EXPECT_EQ(events.selections, 2);
  EXPECT_EQ(selectedWhenReported, 1);
}

TEST_F(Backend, AClickReachesTheButtonButNotThroughADisabledForm) {
  auto button = child(WinClass::Button, Styles::Button, {5, 50, 90, 80}, &events, cp("Записать"));
  driver::click(*system, *button);
  EXPECT_EQ(events.clicks, 1);
  EXPECT_EQ(events.count(TMouseAction::Down), 1);
  EXPECT_EQ(events.count(TMouseAction::Up), 1);
  // A label with SS_NOTIFY reports clicks as well.
  auto label = child(WinClass::Static, Styles::Label, {110, 55, 380, 75}, &events, "Port");
  driver::click(*system, *label);
  EXPECT_EQ(events.clicks, 2);
  if (!driver::NativeInput) return;  // sent straight to the button, past the form
  form->setEnabled(false);
  driver::click(*system, *button);
  EXPECT_EQ(events.clicks, 2);
  EXPECT_TRUE(button->isEnabled());  // its controls keep their look
}

TEST_F(Backend, DraggingByTheClientAreaMovesTheFormUntilTheButtonIsUp) {
  if (!driver::NativeInput) GTEST_SKIP() << "the move loop needs a real pointer";
  struct TDragOnDown : TRecordingEvents {
    TNativeControl* form = nullptr;
    void onMouse(const TMouseInfo& info) override {
      TRecordingEvents::onMouse(info);
      if (info.Action == TMouseAction::Down) form->dragWindow();
    }
  } drag;
  drag.form = form;
  auto area = child(WinClass::Static, Styles::Label & ~0x100u, {300, 100, 600, 130}, &drag);
  form->setEvents(&drag);  // the label lets the mouse through to the form
  const TRect before = form->bounds();
  driver::drag(*system, *area, 50, 30);
  form->setEvents(&formEvents);
  const TRect after = form->bounds();
  form->setBounds(before);
  EXPECT_EQ(after.left - before.left, 50);
  EXPECT_EQ(after.top - before.top, 30);
  // The move took the button's release, as the system's move loop does.
  EXPECT_EQ(drag.count(TMouseAction::Down), 1);
  EXPECT_EQ(drag.count(TMouseAction::Up), 0);
}

TEST_F(Backend, TheScreenShowsTheControlsAndTheOwnersPainting) {
  const TColor face = systemColorRgb(15), light = systemColorRgb(22), shadow = systemColorRgb(16);
  TRecordingEvents imageEvents;
  auto edit = child(WinClass::Edit, Styles::Edit | Styles::ReadOnly, {110, 10, 430, 35}, &events,
                    cp("Выберите порт"));
  edit->setBackgroundColor(light);
  auto progress = child(WinClass::Progress, Styles::Progress, {5, 50, 605, 80}, &events);
  progress->setProgressRange(0, 507);
  progress->setProgressPosition(300);
  progress->setBarColor(shadow);
  progress->setBackgroundColor(face);
  const TBitmap red{2, 2, {0x00FF0000, 0x00FF0000, 0x00FF0000, 0x00FF0000}};
  imageEvents.onPaintHook = [&](TPainter& painter) {
    painter.fillRect({0, 0, 15, 2}, 0x0000FF00);  // 0x00BBGGRR
    painter.drawBitmap(red, {0, 2, 15, 14}, TStretchMode::Halftone);
  };
  auto image = child(WinClass::Static, Styles::Label, {145, 85, 160, 99}, &imageEvents);
  driver::settle(*system);
  if (!driver::pixel(*image, 0, 0)) GTEST_SKIP() << "nothing is drawn";
  EXPECT_EQ(driver::pixel(*image, 5, 1), 0x0000FF00u);
  EXPECT_EQ(driver::pixel(*image, 5, 8), 0x000000FFu);
  EXPECT_EQ(driver::pixel(*form, 400, 120), face);
  // The read-only edit in its own colour, with its text drawn.
  EXPECT_EQ(driver::pixel(*edit, 310, 15), light);
  EXPECT_GT(darkPixels(*edit, {2, 2, 200, 20}), 20);
  // The smooth bar filled to 300/507 of its inside (x = 354); themes pick the colours.
  const auto bar = driver::pixel(*progress, 100, 15), rest = driver::pixel(*progress, 500, 15);
  EXPECT_NE(bar, rest);
  EXPECT_EQ(driver::pixel(*progress, 340, 15), bar);
  EXPECT_EQ(driver::pixel(*progress, 370, 15), rest);
}

TEST_F(Backend, ATransparentLabelLeavesNoOldTextBehind) {
  auto label = child(WinClass::Static, Styles::Label, {300, 100, 600, 124}, &events,
                     cp("Проверьте все соединения и попробуйте ещё раз."));
  label->setTransparent(true);
  driver::settle(*system);
  label->setText("OK");
  driver::settle(*system);
  if (!driver::pixel(*label, 0, 0)) GTEST_SKIP() << "nothing is drawn";
  EXPECT_GT(darkPixels(*label, {0, 0, 30, 24}), 5);
  EXPECT_EQ(darkPixels(*label, {40, 0, 290, 24}), 0);
}

TEST_F(Backend, ChildrenOutlivedByTheirWindowAreToldAndStayInert) {
  auto windows = std::make_unique<TTopLevel>(*system);
  auto label = system->createControl(
      controlParams(WinClass::Static, Styles::Label, {0, 0, 50, 20}, windows->form.get(), &events));
  windows.reset();
  EXPECT_EQ(events.destroyed, 1);
  label->setText("ignored");  // no window: nothing happens, nothing crashes
  label.reset();
  EXPECT_EQ(events.destroyed, 1);
}

TEST_F(Backend, CallsFromAnotherThreadRunInOrderWhileTheUiThreadWaitsForThatThread) {
  const auto uiThread = std::this_thread::get_id();
  std::vector<int32_t> order;
  bool allOnUiThread = true;
  std::atomic<bool> finished{false};
  TTestThread worker("the calls from another thread", [&] {
    for (int32_t i = 1; i <= 507; ++i) {
      system->invokeSync([&, i] {
        order.push_back(i);
        allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
      });
    }
    finished = true;
  });
  bounded("the calls while the UI thread waits",
          [&] { system->waitPumping([&] { return finished.load(); }); });
  worker.join();
  EXPECT_TRUE(std::ranges::equal(order, std::views::iota(1, 508)));
  EXPECT_TRUE(allOnUiThread);
  int nested = 0;  // on the UI thread a call runs at once
  system->invokeSync([&] { system->invokeSync([&] { ++nested; }); });
  EXPECT_EQ(nested, 1);
}

TEST_F(Backend, TheLoopServesCallsAndPostsAndEndsOnQuitFromAnotherThread) {
  auto own = driver::createSystem();
  auto label = own->createControl(
      controlParams(WinClass::Static, Styles::Label, {0, 0, 100, 20}, form, &events));
  std::atomic<bool> lastPostRan{false};
  TTestThread worker("the calls and posts", [&] {
    own->invokeSync([&] { label->setText(cp("Готово")); });
    // A post while the UI thread rests after the first: only the backend's timer brings it.
    own->invokeAsync(label.get(), [&] { label->setText("1"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    own->invokeAsync(label.get(), [&] {
      label->setText("2");
      lastPostRan = true;
    });
    EXPECT_TRUE(eventually("the last post", lastPostRan));
    own->quit(lastPostRan ? 3 : 1);
  });
  EXPECT_EQ(bounded("the loop's end", [&] { return own->runMessageLoop(); }), 3);
  worker.join();
  EXPECT_EQ(label->text(), "2");
  // After the loop the window system is shut down: calls return at once.
  bool ran = false;
  TTestThread late("a call after the loop", [&] { own->invokeSync([&] { ran = true; }); });
  late.join();
  EXPECT_FALSE(ran);
}

// The caller wakes after the window system has gone and must not touch it.
TEST_F(Backend, DestroyingTheWindowSystemReleasesACallerStillQueued) {
  std::unique_ptr<TWindowSystem> own = driver::createSystem();
  bool ran = false;
  TTestThread caller("the queued caller",
                     [&, raw = own.get()] { raw->invokeSync([&] { ran = true; }); });
  ASSERT_TRUE(eventually("the queued call", [&] { return own->queuedCalls() == 1; }));
  own.reset();
  caller.join();  // bounded: a caller left waiting fails
  EXPECT_FALSE(ran);
}
