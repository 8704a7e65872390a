// The whole window program against a simulated device, as the operator sees it.
#include <gtest/gtest.h>

#include "app/texts.h"
#include "elements/hexText.h"
#include "programHarness.h"
#include "runtime/codepage.h"
#include "support/deviceBehaviours.h"
#include "support/firmwareImage.h"
#include "tools/devsim/crc16Modbus.h"

namespace {

bool errorShown(Form& form) {
  return shown(form.labelError) && shown(form.labelCheck) && shown(form.imageMark);
}

// Each device behaviour as the window shows it: the success or the error
// display, or "no device" in the status line.
TEST(Program, EachDeviceBehaviourShowsItsOutcome) {
  for (const TDeviceBehaviour& b : deviceBehaviours) {
    SCOPED_TRACE(b.name);
    TDevice device(b.device);
    TRunningProgram program;
    ASSERT_TRUE(program.onForm([](Form& form) {
      form.sleepAfterDone.Delay = 1000;  // the pause after the upload, shortened
      EXPECT_TRUE(enabled(form.comboPort));
      EXPECT_FALSE(enabled(form.buttonWrite));
      EXPECT_FALSE(errorShown(form));
      return true;
    }));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.choose(device));
    if (b.upload && b.shown != TShown::NoDevice) {
      ASSERT_TRUE(program.onForm([&](Form& form) {
        if (!enabled(form.buttonWrite)) return false;
        EXPECT_EQ(cp1251ToUtf8(native(form.editStatus).text()),
                  "Устройство: QX1   Текущая версия ПО: 1.00");
        EXPECT_FALSE(enabled(form.comboPort));
        program.ui().click(*form.buttonWrite.nativeControl());
        // Block 1 went out on this thread; the rest comes from the reader.
        EXPECT_FALSE(enabled(form.buttonWrite));
        EXPECT_FALSE(enabled(form.formMain));
        return true;
      }));
    }
    bool succeeded = false;
    ASSERT_TRUE(program.onForm(
        [&](Form& form) {
          if (b.shown == TShown::NoDevice)
            return native(form.editStatus).text() == texts::noDevice();
          return (succeeded = shown(form.labelSuccess)) || errorShown(form);
        },
        60s));
    if (b.within.count() > 0) {
      EXPECT_LT(std::chrono::steady_clock::now() - started, b.within);
    }
    if (b.blocks >= 0) {
      EXPECT_EQ(device.blocks(), b.blocks);
    }
    if (b.shown == TShown::NoDevice) continue;
    if (b.shown != TShown::Either) {
      EXPECT_EQ(succeeded, b.shown == TShown::Done);
    }
    const bool whole = b.shown == TShown::Done && b.blocks == 508;
    if (whole) {
      EXPECT_TRUE(device.receivedAtEnd() == firmwareImage());
    }
    ASSERT_TRUE(program.onForm([&](Form& form) {
      // Only "OK" and the result are left, and the window takes input again.
      for (const TWindowElement* gone : std::initializer_list<const TWindowElement*>{
               &form.comboPort, &form.editStatus, &form.progressBlocks, &form.buttonWrite,
               &form.labelVersion, &form.editCrc})
        EXPECT_FALSE(shown(*gone));
      EXPECT_TRUE(shown(form.buttonOk));
      EXPECT_TRUE(enabled(form.formMain));
      EXPECT_EQ(errorShown(form), !succeeded);
      if (whole) {
        EXPECT_EQ(native(form.progressBlocks).progressPosition(), 507);
        EXPECT_EQ(native(form.editCrc).text(),
                  intToHex(devsim::crc16Modbus(devsim::kCrcInitial, firmwareImage()), 4));
      }
      if (succeeded) {
        // A late error after success changes nothing.
        fireEvent(form.upload.outEvent[Upload::outError], 0);
        EXPECT_FALSE(errorShown(form));
      } else {
        EXPECT_EQ(form.imageMark.stretchMode(), TStretchMode::Halftone);  // shrunk smoothed
        // The form shows a repeated error again.
        native(form.labelError).setVisible(false);
        fireEvent(form.upload.outEvent[Upload::outError], 0);
        EXPECT_TRUE(shown(form.labelError));
      }
      program.ui().click(*form.buttonOk.nativeControl());
      return true;
    }));
    EXPECT_EQ(program.join(), 0);
  }
}

TEST(Program, ChoosingTheSamePortTwiceAsksTheDeviceAgain) {
  TDevice device({.answerVers = false});
  TRunningProgram program;
  const auto asked = [&](int times) {
    return program.onForm(
        [&](Form&) {
          int count = 0;
          for (const std::string& line : device.log())
            count += line.find("VERS received") != std::string::npos ? 1 : 0;
          return count == times;
        },
        5s);
  };
  ASSERT_TRUE(program.choose(device) && asked(1));
  ASSERT_TRUE(program.choose(device) && asked(2));
  ASSERT_TRUE(program.onForm([](Form& form) {
    EXPECT_TRUE(enabled(form.comboPort));
    EXPECT_FALSE(enabled(form.buttonWrite));
    return true;
  }));
}

// "/ih", or a trace file that cannot be written: a box alone, no window, no port.
TEST(ProgramEntry, ABoxAloneForTheInfoSwitchOrATraceThatCannotBeWritten) {
  const struct {
    std::vector<const char*> argv;
    int exitCode;
    std::string text;
    const char* caption;
  } cases[] = {
      {{"quilmatronx-bootloader", "/ih"}, 0, utf8To1251("Сделано в Zelkora."), "Zelkora Info"},
      {{"quilmatronx-bootloader", "--trace", "/nonexistent/trace.txt"},
       2,
       "--trace: cannot write /nonexistent/trace.txt: No such file or directory",
       "Quilmatronx bootloader"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    installWindowSystem(createHeadlessWindowSystem());
    auto& ui = static_cast<THeadlessWindowSystem&>(windowSystem());
    EXPECT_EQ(runBootloader(static_cast<int>(c.argv.size()), c.argv.data()), c.exitCode);
    ASSERT_EQ(ui.messageBoxes().size(), 1u);
    EXPECT_EQ(ui.messageBoxes()[0].Text, c.text);
    EXPECT_EQ(ui.messageBoxes()[0].Caption, c.caption);
    EXPECT_TRUE(ui.controls().empty());
    EXPECT_EQ(ClassSimpleForm_20F8870, nullptr);
  }
}

// The program ends within a second and sends nothing more, however it is
// closed: the form's close or the task bar's (which bypasses the form), during
// the transfer or in the pause after the last answer. Any first argument but
// "/ih" starts the program.
TEST(ProgramEnd, ClosingAtAnyMomentEndsTheProgramWithinASecond) {
  struct TCase {
    const char* name;
    std::vector<const char*> argv;
    bool byTaskBar;
    bool inThePause;
  };
  for (const TCase& c :
       {TCase{"form's close during the transfer", {"quilmatronx-bootloader"}, false, false},
        TCase{"task bar during the transfer", {"quilmatronx-bootloader", "/IH"}, true, false},
        TCase{"task bar in the pause", {"quilmatronx-bootloader", "x", "/ih"}, true, true}}) {
    SCOPED_TRACE(c.name);
    TDevice device({.earlyFinal = c.inThePause ? 1 : 0});  // in the pause: done after one block
    TRunningProgram program(c.argv);
    ASSERT_TRUE(program.startUpload(device));
    if (c.inThePause) {
      ASSERT_TRUE(device.waitFor(10s));  // it has the start command: the pause began
    } else {
      ASSERT_TRUE(program.onForm(
          [](Form& form) { return native(form.progressBlocks).progressPosition() >= 3; }));
    }
    const auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.onForm([&](Form& form) {
      if (c.byTaskBar) {
        program.ui().userClose(*ApplicationWindow);
      } else {
        TData none;
        form.formMain.inClose(none, 0);
      }
      return true;
    }));
    EXPECT_EQ(program.join(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 1s);
    EXPECT_TRUE(program.ui().messageBoxes().empty());
    EXPECT_EQ(ClassSimpleForm_20F8870, nullptr);
    const int blocks = device.blocks();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(device.blocks(), blocks) << "blocks went out after the end";
  }
}

}  // namespace
