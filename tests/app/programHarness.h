// The window program with its UI thread of its own, and a device it lists.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "app/formSchema.h"
#include "app/programEntry.h"
#include "app/uploadSchema.h"
#include "runtime/startList.h"
#include "support/boundedWait.h"
#include "support/simulatedDevice.h"
#include "ui/headlessWindowSystem.h"

namespace {

using Form = TClassSimpleForm_20F8870;
using Upload = TClassMultiElementEx_2168BB0;
using namespace std::chrono_literals;

THeadlessControl& native(const TWindowElement& element) {
  return THeadlessWindowSystem::of(*element.nativeControl());
}
bool shown(const TWindowElement& element) { return native(element).isVisible(); }
bool enabled(const TWindowElement& element) { return native(element).isEnabled(); }

struct TDevice : TSimulatedDevice {
  explicit TDevice(devsim::SimulatorOptions options) : TSimulatedDevice(std::move(options)) {
    setenv("QUILMATRONX_EXTRA_PORTS", portPath().c_str(), 1);
  }
  ~TDevice() { unsetenv("QUILMATRONX_EXTRA_PORTS"); }
};

class TRunningProgram {
 public:
  explicit TRunningProgram(std::vector<const char*> argv = {"quilmatronx-bootloader"})
      : argv_(std::move(argv)) {
    installWindowSystem(createHeadlessWindowSystem());
    ui_ = static_cast<THeadlessWindowSystem*>(&windowSystem());
    std::atomic<bool> bound{false};
    entry_.emplace(
        "the program",
        [&] {
          ui_->bindToCurrentThread();
          bound = true;
          exitCode_ = runBootloader(static_cast<int>(argv_.size()), argv_.data());
        },
        20s);
    if (!eventually("the program's UI thread", bound)) endHungTest("the program's UI thread");
  }
  ~TRunningProgram() {
    // A test that stopped early leaves the form open.
    ui_->invokeSync([] {
      TData none;
      if (ClassSimpleForm_20F8870 != nullptr) ClassSimpleForm_20F8870->formMain.inClose(none, 0);
    });
    entry_->join();
    StartList.clear();
    Started = false;
  }

  // Runs fn on the UI thread once the form is shown, again until it answers
  // true; false when the time ran out first.
  testing::AssertionResult onForm(const std::function<bool(Form&)>& fn,
                                  std::chrono::milliseconds limit = 10s) {
    return eventually(
        "the form's state",
        [&] {
          bool done = false;
          ui_->invokeSync([&] {
            Form* form = ClassSimpleForm_20F8870;
            done = form != nullptr && form->formMain.shownOnce() && fn(*form);
          });
          return done;
        },
        limit);
  }
  testing::AssertionResult choose(const TDevice& device) {
    return onForm([&](Form& form) {
      THeadlessControl& combo = native(form.comboPort);
      for (int32_t i = 0; i < combo.itemCount(); ++i)
        if (combo.itemText(i) == device.portPath()) ui_->chooseItem(combo, i);
      return true;
    });
  }
  // Chooses the device's port and presses write once it is identified.
  testing::AssertionResult startUpload(const TDevice& device) {
    if (auto chosen = choose(device); !chosen) return chosen;
    return onForm([&](Form& form) {
      if (!enabled(form.buttonWrite)) return false;
      ui_->click(*form.buttonWrite.nativeControl());
      return true;
    });
  }
  int join() {
    entry_->join();
    return exitCode_;
  }
  THeadlessWindowSystem& ui() { return *ui_; }

 private:
  std::vector<const char*> argv_;
  THeadlessWindowSystem* ui_ = nullptr;
  std::optional<TTestThread> entry_;
  int exitCode_ = -1;
};

}  // namespace
