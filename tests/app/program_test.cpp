// The whole window program on the headless window system: the program
// entry, the real form schema, serial backend, timer and hosted schemas
// against the simulated device over a pty, seen as the operator sees it.
#include <gtest/gtest.h>

#include <cstdio>

#include "programHarness.h"
#include "runtime/codepage.h"
#include "support/firmwareImage.h"
#include "tools/devsim/crc16Modbus.h"

namespace {

// Only "OK" and the result are left, and the window takes input again.
void expectFinishedState(Form& form) {
  for (const TWindowElement* gone : std::initializer_list<const TWindowElement*>{
           &form.comboPort, &form.editStatus, &form.progressBlocks, &form.buttonWrite,
           &form.labelVersion, &form.editCrc})
    EXPECT_FALSE(shown(*gone));
  EXPECT_TRUE(shown(form.buttonOk));
  EXPECT_TRUE(enabled(form.formMain));
}

void fireUploadError(Form& form) {
  TData d;
  makeInteger(d, 0);
  fireEvent(form.upload.outEvent[Upload::outError], d);
}

TEST(Program, WholeUploadFromTheChoosingStateToTheSuccessDisplay) {
  TDevice device({});
  TRunningProgram program;
  ASSERT_TRUE(program.onForm([](Form& form) {
    form.sleepAfterDone.Delay = 100000;  // the pause after the upload, shortened
    EXPECT_TRUE(enabled(form.comboPort));
    EXPECT_FALSE(enabled(form.buttonWrite));
    EXPECT_FALSE(errorShown(form));
    return true;
  }));
  ASSERT_TRUE(program.choose(device));
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
  ASSERT_TRUE(program.onForm([](Form& form) { return shown(form.labelSuccess); }, 120s));
  EXPECT_TRUE(device.receivedAtEnd() == firmwareImage()) << "the device got other bytes";
  EXPECT_EQ(device.outcome(), devsim::SessionOutcome::Complete);
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04X", devsim::crc16Modbus(devsim::kCrcInitial, firmwareImage()));
  ASSERT_TRUE(program.onForm([&](Form& form) {
    expectFinishedState(form);
    EXPECT_EQ(native(form.progressBlocks).progressPosition(), 507);
    EXPECT_EQ(native(form.editCrc).text(), crc);
    // A late error after success changes nothing.
    fireUploadError(form);
    EXPECT_FALSE(errorShown(form));
    return true;
  }));
  EXPECT_EQ(program.pressOk(), 0);
}

// An error is reported on the reader thread (a wrong answer, bytes before
// the upload), on the timer's (silence) or on the window's own (block 1
// cannot be written: the window is held for the write's limit, 3 s, not for
// the 26.6 s its 256 bytes would be given); the display is the same.
TEST(Program, ErrorsFromTheReaderOrTheTimerShowTheErrorDisplay) {
  const struct {
    const char* name;
    devsim::SimulatorOptions fault;
    bool upload;
    int blocks;
  } cases[] = {
      {"wrong answer", {.wrongCrc = AnswerPick::at(3)}, true, 3},
      {"silence", {.silentFrom = 2}, true, 2},
      {"bytes after the identity", {.gap = 500ms, .stray = "\x01\x02"}, false, 0},
      {"stalled transmit", {.stallAfter = 4}, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TDevice device(c.fault);
    TRunningProgram program;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.upload ? program.startUpload(device) : program.choose(device));
    // The watchdog's three ticks and a second.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4000ms);
    ASSERT_TRUE(program.onForm([](Form& form) { return errorShown(form); }));
    ASSERT_TRUE(program.onForm([](Form& form) {
      expectFinishedState(form);
      EXPECT_FALSE(shown(form.labelSuccess));
      // The big mark shrinks smoothed.
      EXPECT_EQ(form.imageMark.stretchMode(), TStretchMode::Halftone);
      // The form shows a repeated error again.
      native(form.labelError).setVisible(false);
      fireUploadError(form);
      EXPECT_TRUE(shown(form.labelError));
      return true;
    }));
    EXPECT_EQ(device.blocks(), c.blocks);
    EXPECT_EQ(program.pressOk(), 0);
  }
}

// Answers cut by a USB-serial adapter's latency timer (the device line,
// block answers, the final answer between the check sum and "FZ"): every
// upload succeeds.
TEST(Program, UploadsThroughAnAdapterThatCutsAnswers) {
  for (const uint32_t seed : {11,   274,  397,  600,  618,  952,  954,  1134, 1275, 1529,
                              1616, 1651, 1917, 2085, 2218, 2426, 2474, 2886, 2968, 3577}) {
    SCOPED_TRACE(seed);
    TDevice device({.adapter = {devsim::AdapterOptions::Kind::LatencyTimer, 16ms, 62, seed}});
    TRunningProgram program;
    ASSERT_TRUE(program.onForm([](Form& form) {
      form.sleepAfterDone.Delay = 1000;  // the pause after the upload, shortened
      return true;
    }));
    ASSERT_TRUE(program.startUpload(device));
    bool succeeded = false;
    ASSERT_TRUE(program.onForm(
        [&](Form& form) { return (succeeded = shown(form.labelSuccess)) || errorShown(form); },
        60s));
    ASSERT_TRUE(succeeded) << "the transfer error was shown";
    EXPECT_TRUE(device.receivedAtEnd() == firmwareImage());
    EXPECT_GE(device.adapterCuts(), 6);
    EXPECT_EQ(program.pressOk(), 0);
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

// "/ih" shows who made the program; a trace file that cannot be written is
// said before anything else happens. Either way no window and no port.
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
// closed: the form's own close during the transfer, or the task bar's close,
// which reaches the application window and ends the loop without the form's
// close, during the transfer or in the pause after the last answer. The
// entry then takes the schema down while the reader still sends blocks or
// sits in the pause. Any first argument but "/ih" starts the program.
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
      ASSERT_TRUE(device.waitFor(10s));
      std::this_thread::sleep_for(200ms);
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
