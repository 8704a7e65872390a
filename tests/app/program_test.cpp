// The whole window program on the headless window system: the real form
// schema, serial backend, timer and hosted schemas against the simulated
// device over a pty, seen as the operator sees it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/formSchema.h"
#include "app/programEntry.h"
#include "app/texts.h"
#include "app/uploadSchema.h"
#include "runtime/codepage.h"
#include "runtime/startList.h"
#include "support/firmwareImage.h"
#include "tools/devsim/crc16Modbus.h"
#include "tools/devsim/deviceSimulator.h"
#include "ui/headlessWindowSystem.h"

namespace {

using devsim::AnswerPick;
using Upload = TClassMultiElementEx_2168BB0;
using namespace std::chrono_literals;

THeadlessControl& native(const TWindowElement& element) {
  return THeadlessWindowSystem::of(*element.nativeControl());
}
bool shown(const TWindowElement& element) { return native(element).isVisible(); }
bool enabled(const TWindowElement& element) { return native(element).isEnabled(); }

// A simulated device whose pty the program lists.
struct TDevice : devsim::DeviceSimulator {
  explicit TDevice(devsim::SimulatorOptions options) : DeviceSimulator(withTimeout(options)) {
    if (!start()) ADD_FAILURE() << error();
    setenv("QUILMATRONX_EXTRA_PORTS", portPath().c_str(), 1);
  }
  ~TDevice() {
    stop();
    unsetenv("QUILMATRONX_EXTRA_PORTS");
  }
  static devsim::SimulatorOptions withTimeout(devsim::SimulatorOptions options) {
    options.inactivityTimeout = 8000ms;
    return options;
  }
};

class ProgramTest : public ::testing::Test {
 protected:
  // Starts the program with the device in its port list, up to the form
  // shown in the choosing state; the pause after an upload is shortened.
  void start(devsim::SimulatorOptions options) {
    device = std::make_unique<TDevice>(std::move(options));
    installWindowSystem(createHeadlessWindowSystem());
    ui = static_cast<THeadlessWindowSystem*>(&windowSystem());
    program = std::make_unique<TClassSimpleForm_20F8870>();
    program->sleepAfterDone.Delay = 100000;
    startApplication(program->formMain);
  }

  void TearDown() override {
    if (program) {
      TData none;
      program->formMain.inClose(none, 0);
    }
    disableDispatch();
    program.reset();
    // A process runs one program; the next test starts a fresh one.
    StartList.clear();
    Started = false;
    device.reset();
  }

  // Serves the display changes of the reader and timer threads until the
  // condition holds or the time is up.
  bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    waitPumping([&] { return condition() || std::chrono::steady_clock::now() > deadline; });
    return condition();
  }

  void choosePort() {
    THeadlessControl& combo = native(program->comboPort);
    for (int32_t i = 0; i < combo.itemCount(); ++i) {
      if (combo.itemText(i) == device->portPath()) {
        ui->chooseItem(combo, i);
        return;
      }
    }
    ADD_FAILURE() << "the simulator's port " << device->portPath() << " is not listed";
  }

  void chooseAndIdentify() {
    choosePort();
    ASSERT_TRUE(waitUntil([&] { return enabled(program->buttonWrite); }))
        << "status: " << cp1251ToUtf8(native(program->editStatus).text());
  }

  // Only "OK" and the result are left, and the window takes input again.
  void expectFinishedState() {
    for (const TWindowElement* gone : std::initializer_list<const TWindowElement*>{
             &program->comboPort, &program->editStatus, &program->progressBlocks,
             &program->buttonWrite, &program->labelVersion, &program->editCrc})
      EXPECT_FALSE(shown(*gone));
    EXPECT_TRUE(shown(program->buttonOk));
    EXPECT_TRUE(enabled(program->formMain));
  }

  bool errorShown() {
    return shown(program->labelError) && shown(program->labelCheck) && shown(program->imageMark);
  }

  void pressOkAndExpectTheEnd() {
    ui->click(*program->buttonOk.nativeControl());
    EXPECT_TRUE(ui->quitRequested());
    EXPECT_FALSE(shown(program->formMain));
  }

  void fireUploadError() {
    TData d;
    makeInteger(d, 0);
    fireEvent(program->upload.outEvent[Upload::outError], d);
  }

  std::unique_ptr<TDevice> device;
  std::unique_ptr<TClassSimpleForm_20F8870> program;
  THeadlessWindowSystem* ui = nullptr;
};

TEST_F(ProgramTest, WholeUploadFromTheChoosingStateToTheSuccessDisplay) {
  start({});
  EXPECT_TRUE(shown(program->formMain));
  EXPECT_TRUE(enabled(program->comboPort));
  EXPECT_FALSE(enabled(program->buttonWrite));
  EXPECT_FALSE(errorShown());
  chooseAndIdentify();
  EXPECT_EQ(cp1251ToUtf8(native(program->editStatus).text()),
            "Устройство: QX1   Текущая версия ПО: 1.00");
  EXPECT_FALSE(enabled(program->comboPort));

  ui->click(*program->buttonWrite.nativeControl());
  // Block 1 went out on this thread; the rest comes from the reader.
  EXPECT_FALSE(enabled(program->buttonWrite));
  EXPECT_FALSE(enabled(program->formMain));
  ASSERT_TRUE(waitUntil([&] { return shown(program->labelSuccess); }, 120s));
  expectFinishedState();
  EXPECT_FALSE(errorShown());
  EXPECT_EQ(native(program->labelSuccess).text(), std::string(29, ' ') + texts::successLine1() +
                                                      "\r\n" + std::string(24, ' ') +
                                                      texts::successLine2());
  EXPECT_EQ(native(program->progressBlocks).progressPosition(), 507);
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04X", devsim::crc16Modbus(devsim::kCrcInitial, firmwareImage()));
  EXPECT_EQ(native(program->editCrc).text(), crc);
  ASSERT_TRUE(device->waitFor(5s));
  EXPECT_EQ(device->outcome(), devsim::SessionOutcome::Complete);
  EXPECT_TRUE(device->received() == firmwareImage()) << "the device got other bytes";

  // A late error after success changes nothing.
  fireUploadError();
  EXPECT_FALSE(errorShown());
  pressOkAndExpectTheEnd();
}

// An error is reported on the reader thread (a wrong answer, bytes before
// the upload) or on the timer's (silence); the display is the same.
TEST_F(ProgramTest, ErrorsFromTheReaderOrTheTimerShowTheErrorDisplay) {
  struct TCase {
    const char* name;
    std::function<void(devsim::SimulatorOptions&)> fault;
    bool upload;
    int blocks;
  };
  const TCase cases[] = {
      {"wrong answer", [](devsim::SimulatorOptions& o) { o.wrongCrc = AnswerPick::at(3); }, true,
       3},
      {"silence", [](devsim::SimulatorOptions& o) { o.silentFrom = 2; }, true, 2},
      {"bytes after the identity", [](devsim::SimulatorOptions& o) { o.stray = "\x01\x02"; }, false,
       0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    devsim::SimulatorOptions options;
    c.fault(options);
    start(options);
    chooseAndIdentify();
    if (c.upload) ui->click(*program->buttonWrite.nativeControl());
    ASSERT_TRUE(waitUntil([&] { return errorShown(); }));
    expectFinishedState();
    EXPECT_FALSE(shown(program->labelSuccess));
    EXPECT_EQ(native(program->labelError).text(), texts::transferError());
    EXPECT_EQ(native(program->labelCheck).text(), texts::checkCables());
    // The big mark shrinks smoothed.
    EXPECT_EQ(program->imageMark.stretchMode(), TStretchMode::Halftone);
    EXPECT_EQ(device->blocks(), c.blocks);
    // The form shows a repeated error again.
    native(program->labelError).setVisible(false);
    fireUploadError();
    EXPECT_TRUE(shown(program->labelError));
    pressOkAndExpectTheEnd();
    TearDown();
  }
}

TEST_F(ProgramTest, ChoosingTheSamePortTwiceAsksTheDeviceAgain) {
  devsim::SimulatorOptions options;
  options.answerVers = false;
  start(options);
  const auto versCount = [&] {
    int count = 0;
    for (const std::string& line : device->log())
      count += line.find("VERS received") != std::string::npos ? 1 : 0;
    return count;
  };
  choosePort();
  ASSERT_TRUE(waitUntil([&] { return versCount() == 1; }, 5s));
  choosePort();
  ASSERT_TRUE(waitUntil([&] { return versCount() == 2; }, 5s));
  EXPECT_TRUE(enabled(program->comboPort));
  EXPECT_FALSE(enabled(program->buttonWrite));
}

TEST(ProgramEntry, InfoSwitchShowsOnlyTheMessageBox) {
  installWindowSystem(createHeadlessWindowSystem());
  auto& ui = static_cast<THeadlessWindowSystem&>(windowSystem());
  const char* const argv[] = {"quilmatronx-bootloader", "/ih"};
  EXPECT_EQ(runBootloader(2, argv), 0);
  ASSERT_EQ(ui.messageBoxes().size(), 1u);
  EXPECT_EQ(ui.messageBoxes()[0].Text, utf8To1251("Сделано в Zelkora."));
  EXPECT_EQ(ui.messageBoxes()[0].Caption, "Zelkora Info");
  EXPECT_TRUE(ui.controls().empty());
  EXPECT_EQ(ClassSimpleForm_20F8870, nullptr);
}

// The program entry on a thread of its own, which is the UI thread; the test
// works the window through calls to that thread.
class TRunningProgram {
 public:
  explicit TRunningProgram(std::vector<const char*> argv) : argv_(std::move(argv)) {
    installWindowSystem(createHeadlessWindowSystem());
    ui_ = static_cast<THeadlessWindowSystem*>(&windowSystem());
    std::atomic<bool> bound{false};
    entry_ = std::thread([&] {
      ui_->bindToCurrentThread();
      bound = true;
      exitCode_ = runBootloader(static_cast<int>(argv_.size()), argv_.data());
    });
    while (!bound) std::this_thread::yield();
  }
  ~TRunningProgram() {
    if (entry_.joinable()) entry_.join();
    StartList.clear();
    Started = false;
  }

  // Runs fn on the UI thread once the form is shown, again until it answers
  // true; false when the time ran out first.
  bool onForm(const std::function<bool(TClassSimpleForm_20F8870&)>& fn,
              std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      bool done = false;
      ui_->invokeSync([&] {
        TClassSimpleForm_20F8870* form = ClassSimpleForm_20F8870;
        done = form != nullptr && form->formMain.shownOnce() && fn(*form);
      });
      if (done) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
  }
  // Waits for the entry to return; its exit code.
  int join() {
    entry_.join();
    return exitCode_;
  }
  THeadlessWindowSystem& ui() { return *ui_; }

 private:
  std::vector<const char*> argv_;
  THeadlessWindowSystem* ui_ = nullptr;
  std::thread entry_;
  int exitCode_ = -1;
};

// Any first argument but "/ih" starts the program.
TEST(ProgramEntry, OtherSpellingOrPositionOfTheSwitchStartsTheProgram) {
  for (const std::vector<const char*>& argv :
       {std::vector<const char*>{"quilmatronx-bootloader", "/IH"},
        std::vector<const char*>{"quilmatronx-bootloader", "x", "/ih"}}) {
    TRunningProgram program(argv);
    ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
      TData none;
      form.formMain.inClose(none, 0);
      return true;
    }));
    EXPECT_EQ(program.join(), 0);
    EXPECT_TRUE(program.ui().messageBoxes().empty());
    EXPECT_EQ(ClassSimpleForm_20F8870, nullptr);
  }
}

// The program ends within a second and sends nothing more, however it is
// closed: the form's own close during the transfer, or the task bar's close,
// which reaches the application window and ends the loop without the form's
// close, during the transfer or in the pause after the last answer. The
// entry then takes the schema down while the reader still sends blocks or
// sits in the pause.
TEST(ProgramEnd, ClosingAtAnyMomentEndsTheProgramWithinASecond) {
  struct TCase {
    const char* name;
    bool byTaskBar;
    bool inThePause;
  };
  for (const TCase& c : {TCase{"form's close during the transfer", false, false},
                         TCase{"task bar during the transfer", true, false},
                         TCase{"task bar in the pause", true, true}}) {
    SCOPED_TRACE(c.name);
    devsim::SimulatorOptions options;
    if (c.inThePause) options.earlyFinal = 1;  // done after one block
    TDevice device(options);
    TRunningProgram program({"quilmatronx-bootloader"});
    THeadlessWindowSystem& ui = program.ui();
    ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
      THeadlessControl& combo = native(form.comboPort);
      for (int32_t i = 0; i < combo.itemCount(); ++i)
        if (combo.itemText(i) == device.portPath()) ui.chooseItem(combo, i);
      return true;
    }));
    ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
      if (!enabled(form.buttonWrite)) return false;
      ui.click(*form.buttonWrite.nativeControl());
      return true;
    }));
    if (c.inThePause) {
      ASSERT_TRUE(device.waitFor(10s));
      std::this_thread::sleep_for(200ms);
    } else {
      ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
        return native(form.progressBlocks).progressPosition() >= 3;
      }));
    }
    const auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
      if (c.byTaskBar) {
        ui.userClose(*ApplicationWindow);
      } else {
        TData none;
        form.formMain.inClose(none, 0);
      }
      return true;
    }));
    EXPECT_EQ(program.join(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 1s);
    const int blocks = device.blocks();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(device.blocks(), blocks) << "blocks went out after the end";
  }
}

}  // namespace
