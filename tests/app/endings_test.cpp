// Transfers ended every way a run can end; under the sanitizers, races
// between the closing thread, the serial reader and the watchdog show here.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "app/flash/flashRun.h"
#include "elements/timerSeam.h"
#include "flashHarness.h"
#include "serial/fakeSerial.h"
#include "tools/devsim/deviceSimulator.h"

namespace {

using namespace std::chrono_literals;

enum class TEnding { ClosePort, TwoCloses, DeviceVanishes, TearDown, Count };

TEST(Endings, UploadsEndedAtRandomMomentsEndCleanlyAndAtOnce) {
  std::mt19937 random(20261207);
  TScratchBoard console;
  const TDispatchScope dispatch;
  for (int run = 0; run < 200; ++run) {
    const auto ending = static_cast<TEnding>(random() % static_cast<unsigned>(TEnding::Count));
    const auto moment = std::chrono::milliseconds(random() % 40);
    SCOPED_TRACE("run " + std::to_string(run));
    devsim::SimulatorOptions options;
    options.inactivityTimeout = 2000ms;
    devsim::DeviceSimulator device(options);
    ASSERT_TRUE(device.start()) << device.error();
    auto schema = std::make_unique<TFlashSchema>(device.portPath(), &console.board);
    runStartProcs();
    schema->selectPort();
    const auto never = [] { return false; };
    // A lost probe outcome ends the runs here, not after two hundred waits.
    if (schema->outcome.waitPast(TFlashStage::Probing, WaitLimit, never) != TFlashStage::Found) {
      ADD_FAILURE() << "the probe did not find the device";
      break;
    }
    schema->startUpload();
    std::this_thread::sleep_for(moment);

    const auto started = std::chrono::steady_clock::now();
    if (ending == TEnding::ClosePort) schema->closePort();
    if (ending == TEnding::DeviceVanishes) device.stop();
    if (ending == TEnding::TwoCloses) {
      TTestThread other("the other close", [&] { schema->closePort(); });
      schema->closePort();
      other.join();
      EXPECT_FALSE(schema->comPort.opened());
    }
    schema.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
  }
}

// A port that vanishes, keeps a line error, or takes part of block 1's one
// write fails the transfer at once (no watchdog ticks), saying why.
TEST(Endings, APortThatFailsUnderTheTransferFailsItAtOnceSayingWhy) {
  const TTimerSeamScope noTicks(
      {[](uint32_t, uint32_t, uintptr_t) -> uint32_t { return 1; }, [](uint32_t) {}});
  const TDispatchScope dispatch;
  enum TFault { Vanishing, LineError, ShortWrite };
  for (const TFault fault : {Vanishing, LineError, ShortWrite}) {
    const bool lineError = fault == LineError;
    TFakeSystem serial;
    TFlashSchema schema("COM1", nullptr, serial);
    runStartProcs();
    schema.selectPort();
    // A line end completes the device line: no quiet gap to wait for.
    serial.Port.pushEvent(serial::EvRxChar, "QUILMATRONX QX1 1.00\r\n");
    const auto never = [] { return false; };
    ASSERT_EQ(schema.outcome.waitPast(TFlashStage::Probing, 2s, never), TFlashStage::Found);
    serial.Port.set([&] {
      if (lineError) serial.Port.LineError = serial.Port.LineErrorStuck = true;
      if (fault == ShortWrite) serial.Port.Takes = 100;
    });
    schema.startUpload();
    serial.Port.set([&] {
      if (fault == Vanishing) serial.Port.WaitsEnd = TSerialWaiter::TResult::Failed;
    });
    EXPECT_EQ(schema.outcome.waitPast(TFlashStage::Found, 2s, never), TFlashStage::TransferError);
    const TPortFacts facts = schema.record.facts();
    EXPECT_EQ(facts.failure,
              fault == Vanishing ? TFailureKind::Vanished : TFailureKind::WriteFailed);
    EXPECT_EQ(facts.failingBlock, 1);
    EXPECT_EQ(facts.writeFailure, lineError ? "line error" : "");
    if (fault == ShortWrite) {
      serial.Port.set([&] {
        EXPECT_EQ(serial.Port.Writes, 2) << "VERS and block 1, each in one write";
        EXPECT_TRUE(serial.Port.Written == "VERS" + firmwareImage().substr(0, 100));
      });
    }
  }
}

// After an interrupt, eight ports with 1.5 s drains close side by side.
TEST(Endings, AfterAnInterruptThePortsCloseSideBySide) {
  TScratchBoard console;
  const TDispatchScope dispatch;
  TFakeSystem serial;
  serial.Port.OnDrain = [] { std::this_thread::sleep_for(1500ms); };
  std::vector<std::string> ports;
  for (int i = 1; i <= 8; ++i) ports.push_back("COM" + std::to_string(i));
  TFlashRun run({ports, false, &console.board, nullptr, &serial});
  runStartProcs();
  const auto interrupted = [] { return 1; };
  const auto started = std::chrono::steady_clock::now();
  for (const TPortResult& result : run.run(interrupted))
    EXPECT_EQ(result.outcome, TPortOutcome::Interrupted);
  EXPECT_TRUE(run.waitForClose(interrupted));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
}

// A console that takes no output for 10 s mid-upload (Ctrl-S) stops no upload.
TEST(Endings, AConsoleThatStopsTakingOutputStopsNoUpload) {
  static std::atomic<bool> blocked{false};
  cookie_io_functions_t blocking{};
  blocking.write = [](void*, const char* bytes, size_t size) -> ssize_t {
    if (std::string_view(bytes, size).find("progress") != std::string_view::npos &&
        !blocked.exchange(true)) {
      std::this_thread::sleep_for(10s);
    }
    return static_cast<ssize_t>(size);
  };
  std::FILE* console = fopencookie(nullptr, "w", blocking);
  TSimulatedDevice a, b, c;
  {
    TConsoleBoard board(console, console, false);
    TDispatchScope dispatch;
    TFlashRun run({{a.portPath(), b.portPath(), c.portPath()}, false, &board});
    runStartProcs();
    for (const TPortResult& result : run.run([] { return 0; }))
      EXPECT_EQ(result.outcome, TPortOutcome::Done) << result.port << ": " << result.detail;
    EXPECT_TRUE(blocked) << "the console was never written to during the uploads";
    EXPECT_TRUE(run.waitForClose([] { return 0; }));
  }
  std::fclose(console);
  for (TSimulatedDevice* device : {&a, &b, &c})
    EXPECT_TRUE(device->receivedAtEnd() == firmwareImage());
}

}  // namespace
