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

  THeadlessWindowSystem& ui() { return static_cast<THeadlessWindowSystem&>(windowSystem()); }
  TNativeControl* formControl() { return form->nativeControl(); }
  THeadlessControl& native(const TWindowElement& element) {
    return THeadlessWindowSystem::of(*element.nativeControl());
  }

  std::unique_ptr<TZKSimpleForm> form;
};
