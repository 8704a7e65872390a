// The whole window program on the headless window system: the real form
// schema, serial backend, timer and hosted schemas against the simulated
// device over a pty, seen as the operator sees it.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
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
#include "runtime/memoryStream.h"
#include "runtime/startList.h"
#include "tools/devsim/deviceSimulator.h"
#include "ui/headlessWindowSystem.h"

namespace {

using devsim::AnswerPick;
using Upload = TClassMultiElementEx_2168BB0;
using namespace std::chrono_literals;

std::string firmwareImage() {
  std::unique_ptr<TMemoryStream> image(loadResourceStream("STREAM0"));
  return std::string(image->bytes());
}

// CRC-16/MODBUS of the whole image as four upper-case hexadecimal digits.
std::string imageCrcText() {
  uint16_t crc = 0xFFFF;
  for (const char c : firmwareImage()) {
    crc = static_cast<uint16_t>(crc ^ static_cast<uint8_t>(c));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
  }
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(crc));
  return text;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class ProgramTest : public ::testing::Test {
 protected:
  // Starts the device, then the program with the device's pty in its port
  // list, up to the form shown in the choosing state.
  void start(devsim::SimulatorOptions options) {
    options.inactivityTimeout = 8000ms;
    device = std::make_unique<devsim::DeviceSimulator>(std::move(options));
    ASSERT_TRUE(device->start()) << device->error();
    setenv("QUILMATRONX_EXTRA_PORTS", device->portPath().c_str(), 1);
    installWindowSystem(createHeadlessWindowSystem());
    ui = static_cast<THeadlessWindowSystem*>(&windowSystem());
    program = std::make_unique<TClassSimpleForm_20F8870>();
    program->sleepAfterDone.Delay = 100000;  // the product waits 15 s
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
    if (device) device->stop();
    unsetenv("QUILMATRONX_EXTRA_PORTS");
  }

  THeadlessControl& native(const TWindowElement& element) {
    return THeadlessWindowSystem::of(*element.nativeControl());
  }
  bool shown(const TWindowElement& element) { return native(element).isVisible(); }
  bool enabled(const TWindowElement& element) { return native(element).isEnabled(); }

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

  void expectWorkingControlsHidden() {
    EXPECT_FALSE(shown(program->comboPort));
    EXPECT_FALSE(shown(program->editStatus));
    EXPECT_FALSE(shown(program->progressBlocks));
    EXPECT_FALSE(shown(program->buttonWrite));
    EXPECT_FALSE(shown(program->labelVersion));
    EXPECT_TRUE(shown(program->buttonOk));
    EXPECT_TRUE(enabled(program->formMain));
    EXPECT_TRUE(shown(program->labelCrc));  // the check-sum labels stay
    EXPECT_TRUE(shown(program->labelCrcReceived));
    EXPECT_FALSE(shown(program->editCrc));
  }

  bool errorShown() {
    return shown(program->labelError) && shown(program->labelCheck) && shown(program->imageMark);
  }

  void expectErrorDisplay() {
    expectWorkingControlsHidden();
    EXPECT_TRUE(errorShown());
    EXPECT_FALSE(shown(program->labelSuccess));
    EXPECT_EQ(native(program->labelError).text(), texts::transferError());
    EXPECT_EQ(native(program->labelCheck).text(), texts::checkCables());
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

  std::unique_ptr<devsim::DeviceSimulator> device;
  std::unique_ptr<TClassSimpleForm_20F8870> program;
  THeadlessWindowSystem* ui = nullptr;
};

TEST_F(ProgramTest, StartShowsTheChoosingState) {
  start({});
  EXPECT_EQ(ClassSimpleForm_20F8870, program.get());
  THeadlessControl& form = native(program->formMain);
  EXPECT_EQ(form.text(), "Quilmatronx bootloader");
  EXPECT_TRUE(form.isVisible());
  EXPECT_NE(form.icon(), 0);
  EXPECT_EQ(form.bounds().width(), 616);

  THeadlessControl& combo = native(program->comboPort);
  EXPECT_TRUE(combo.isVisible() && combo.isEnabled());
  EXPECT_EQ(combo.selectedIndex(), -1);
  bool listed = false;
  for (const TComboItem& item : combo.items()) listed = listed || item.Text == device->portPath();
  EXPECT_TRUE(listed) << "the pty named in QUILMATRONX_EXTRA_PORTS is listed";

  EXPECT_EQ(native(program->editStatus).text(), texts::choosePort());
  EXPECT_TRUE(shown(program->editStatus));
  EXPECT_TRUE(shown(program->buttonWrite));
  EXPECT_FALSE(enabled(program->buttonWrite));
  EXPECT_EQ(native(program->buttonWrite).text(), utf8To1251("Записать"));
  EXPECT_TRUE(shown(program->labelVersion));
  THeadlessControl& bar = native(program->progressBlocks);
  EXPECT_TRUE(bar.isVisible());
  EXPECT_EQ(bar.progressPosition(), 0);
  EXPECT_EQ(bar.progressHigh(), 507);
  for (const TWindowElement* hidden : std::initializer_list<const TWindowElement*>{
           &program->labelError, &program->labelCheck, &program->labelSuccess, &program->imageMark,
           &program->buttonOk, &program->editCrc})
    EXPECT_FALSE(shown(*hidden));
  EXPECT_EQ(native(program->editCrc).text(), "FFFF");
  // The error mark is the embedded 290 x 290 picture.
  EXPECT_EQ(program->imageMark.Bitmap.Width, 290);
  EXPECT_EQ(program->imageMark.Bitmap.Height, 290);
}

TEST_F(ProgramTest, WholeUploadEndsInTheSuccessDisplay) {
  start({});
  chooseAndIdentify();
  EXPECT_EQ(cp1251ToUtf8(native(program->editStatus).text()),
            "Устройство: QX1   Текущая версия ПО: 1.00");
  EXPECT_FALSE(enabled(program->comboPort));

  ui->click(*program->buttonWrite.nativeControl());
  // Block 1 went out on this thread; the rest waits for the reader's hand-off.
  EXPECT_FALSE(enabled(program->buttonWrite));
  EXPECT_FALSE(enabled(program->formMain));

  // A generous bound: every image byte passes the check-sum field on the UI
  // thread, which is slow under the sanitizers.
  ASSERT_TRUE(waitUntil([&] { return shown(program->labelSuccess); }, 120s));
  expectWorkingControlsHidden();
  EXPECT_FALSE(errorShown());
  const std::string successText = native(program->labelSuccess).text();
  EXPECT_EQ(successText, std::string(29, ' ') + texts::successLine1() + "\r\n" +
                             std::string(24, ' ') + texts::successLine2());
  EXPECT_EQ(native(program->progressBlocks).progressPosition(), 507);
  EXPECT_EQ(upper(native(program->editCrc).text()), imageCrcText());
  ASSERT_TRUE(device->waitFor(5s));
  EXPECT_EQ(device->outcome(), devsim::SessionOutcome::Complete);
  EXPECT_TRUE(device->received() == firmwareImage()) << "the device got other bytes";

  // A late error after success changes nothing.
  fireUploadError();
  EXPECT_FALSE(errorShown());
  EXPECT_TRUE(shown(program->labelSuccess));

  pressOkAndExpectTheEnd();
}

// The reader hands every check-sum update to the UI thread; closing the
// program meanwhile joins the reader on that thread, which must keep serving
// the reader's calls instead of waiting for it forever.
TEST_F(ProgramTest, ClosingDuringTheTransferEndsPromptly) {
  start({});
  chooseAndIdentify();
  ui->click(*program->buttonWrite.nativeControl());
  ASSERT_TRUE(waitUntil([&] { return native(program->progressBlocks).progressPosition() >= 3; }));
  TData none;
  program->formMain.inClose(none, 0);
  EXPECT_TRUE(ui->quitRequested());
  const int blocksAtClose = device->blocks();
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(device->blocks(), blocksAtClose + 1) << "the transfer went on after the close";
  program.reset();  // joins the reader and stops the watchdog
}

TEST_F(ProgramTest, WrongAnswerShowsTheErrorDisplayAndARepeatShowsItAgain) {
  devsim::SimulatorOptions options;
  options.wrongCrc = AnswerPick::at(3);
  start(options);
  chooseAndIdentify();
  ui->click(*program->buttonWrite.nativeControl());
  ASSERT_TRUE(waitUntil([&] { return errorShown(); }));
  expectErrorDisplay();
  EXPECT_EQ(device->blocks(), 3);

  native(program->labelError).setVisible(false);
  fireUploadError();
  EXPECT_TRUE(shown(program->labelError));

  pressOkAndExpectTheEnd();
}

TEST_F(ProgramTest, SilentDeviceTimesOutIntoTheErrorDisplay) {
  devsim::SimulatorOptions options;
  options.silentFrom = 2;
  start(options);
  chooseAndIdentify();
  ui->click(*program->buttonWrite.nativeControl());
  // Three one-second watchdog ticks, reported from the timer's thread.
  ASSERT_TRUE(waitUntil([&] { return errorShown(); }, 10s));
  expectErrorDisplay();
  EXPECT_EQ(native(program->progressBlocks).progressPosition(), 1);
}

TEST_F(ProgramTest, BytesAfterTheIdentityShowTheErrorBeforeAnyWrite) {
  devsim::SimulatorOptions options;
  options.stray = "\x01\x02";
  start(options);
  chooseAndIdentify();
  ASSERT_TRUE(waitUntil([&] { return errorShown(); }, 5s));
  expectErrorDisplay();
  EXPECT_EQ(device->blocks(), 0);
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

  // Runs fn on the UI thread once the form is shown; false when the time ran
  // out first.
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

// Any other first argument starts the program.
void expectNormalStart(std::vector<const char*> argv) {
  TRunningProgram program(std::move(argv));
  std::string caption;
  ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
    caption = form.formMain.nativeControl()->text();
    TData none;
    form.formMain.inClose(none, 0);
    return true;
  }));
  EXPECT_EQ(program.join(), 0);
  EXPECT_EQ(caption, "Quilmatronx bootloader");
  EXPECT_TRUE(program.ui().messageBoxes().empty());
  EXPECT_EQ(ClassSimpleForm_20F8870, nullptr);
}

TEST(ProgramEntry, OtherSpellingOrPositionOfTheSwitchStartsTheProgram) {
  expectNormalStart({"quilmatronx-bootloader", "/IH"});
  expectNormalStart({"quilmatronx-bootloader", "x", "/ih"});
  expectNormalStart({"quilmatronx-bootloader"});
}

// The task bar's close reaches the application window, which ends the loop
// at once without the form's close; the entry then takes the schema down
// while the reader sends blocks, or sits in the pause after the last answer.
TEST(ProgramEnd, ClosingTheApplicationWindowEndsTheProgramWithinASecond) {
  for (const bool inThePause : {false, true}) {
    SCOPED_TRACE(inThePause ? "in the pause" : "during the transfer");
    devsim::SimulatorOptions options;
    options.inactivityTimeout = 8000ms;
    if (inThePause) options.earlyFinal = 1;  // done after one block
    devsim::DeviceSimulator device(options);
    ASSERT_TRUE(device.start()) << device.error();
    setenv("QUILMATRONX_EXTRA_PORTS", device.portPath().c_str(), 1);
    TRunningProgram program({"quilmatronx-bootloader"});
    THeadlessWindowSystem& ui = program.ui();
    ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
      THeadlessControl& combo = THeadlessWindowSystem::of(*form.comboPort.nativeControl());
      for (int32_t i = 0; i < combo.itemCount(); ++i)
        if (combo.itemText(i) == device.portPath()) ui.chooseItem(combo, i);
      return true;
    }));
    ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
      if (!THeadlessWindowSystem::of(*form.buttonWrite.nativeControl()).isEnabled()) return false;
      ui.click(*form.buttonWrite.nativeControl());
      return true;
    }));
    if (inThePause) {
      ASSERT_TRUE(device.waitFor(10s));
      std::this_thread::sleep_for(200ms);
    } else {
      ASSERT_TRUE(program.onForm([&](TClassSimpleForm_20F8870& form) {
        return THeadlessWindowSystem::of(*form.progressBlocks.nativeControl()).progressPosition() >=
               3;
      }));
    }
    const auto closed = std::chrono::steady_clock::now();
    ui.invokeSync([&] { ui.userClose(*ApplicationWindow); });
    EXPECT_EQ(program.join(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 1s);
    const int blocks = device.blocks();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(device.blocks(), blocks) << "blocks went out after the end";
    device.stop();
    unsetenv("QUILMATRONX_EXTRA_PORTS");
  }
}

}  // namespace
