// What the suites of the real window backends share: the program's two
// top-level windows, made once per suite (under Wine without a window
// manager every top-level window that goes away costs a two-second wait),
// and a fixture that puts child controls on the form.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "backendEvents.h"
#include "runtime/codepage.h"

inline std::string cp(const char* utf8Text) { return utf8To1251(utf8Text); }

struct TTopLevel {
  explicit TTopLevel(TWindowSystem& system) {
    TControlSpec appSpec = controlSpec(WinClass::App, BackendStyles::App, {0, 0, 0, 0}, nullptr,
                                       &appEvents, "Quilmatronx");
    appSpec.ExStyle = WinExStyle::AppWindow;
    app = system.createControl(appSpec);
    TControlSpec formSpec = controlSpec(WinClass::Form, BackendStyles::Form, {200, 200, 816, 371},
                                        nullptr, &formEvents, cp("Загрузчик прошивки"));
    formSpec.Owner = app.get();
    form = system.createControl(formSpec);
    form->setBackgroundColor(systemColorRgb(15));
    form->setVisible(true);
  }

  TRecordingEvents appEvents;
  TRecordingEvents formEvents;
  std::unique_ptr<TNativeControl> app;
  std::unique_ptr<TNativeControl> form;
};

class TBackendSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    suiteSystem = createPlatformWindowSystem().release();
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
                                        TControlEvents* events, const std::string& text = {}) {
    auto control = system->createControl(controlSpec(className, style, bounds, form, events, text));
    control->setVisible(true);
    return control;
  }

  static inline TWindowSystem* suiteSystem = nullptr;
  static inline TTopLevel* suiteWindows = nullptr;
  TWindowSystem* system = suiteSystem;
  TNativeControl* app = suiteWindows->app.get();
  TNativeControl* form = suiteWindows->form.get();
  TRecordingEvents& formEvents = suiteWindows->formEvents;
};
