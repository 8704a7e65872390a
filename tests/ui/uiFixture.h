// A fresh headless window system and a main form for each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "runtime/startList.h"
#include "support/recorder.h"
#include "ui/headlessWindowSystem.h"
#include "ui/zkSimpleForm.h"

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installWindowSystem(createHeadlessWindowSystem());
    system_ = static_cast<THeadlessWindowSystem*>(&windowSystem());
    form = std::make_unique<TZKSimpleForm>();
    form->Width = 616;
    form->Height = 171;
    form->Ctl3D = 1;
    form->init();
    enableDispatch();
  }

  void TearDown() override {
    disableDispatch();
    form.reset();
    StartList.clear();
  }

  THeadlessWindowSystem& ui() { return *system_; }
  TNativeControl* formControl() { return form->nativeControl(); }
  THeadlessControl& native(const TWindowElement& element) {
    return THeadlessWindowSystem::of(*element.nativeControl());
  }

  std::unique_ptr<TZKSimpleForm> form;

 private:
  THeadlessWindowSystem* system_ = nullptr;
};

inline TMouseInfo mouseAt(TMouseAction action, int32_t button, uint32_t state, int16_t x = 0,
                          int16_t y = 0) {
  return TMouseInfo{action, button, state, x, y};
}
