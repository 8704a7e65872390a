// Transfers ended at random moments, every way a run can end: a close of the
// port (also by two threads at once), the device vanishing, the schema torn
// down. Run under the sanitizers, this is where races between the closing
// thread, the serial reader and the watchdog show.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "app/flash/flashSchema.h"
#include "elements/timerSeam.h"
#include "runtime/startList.h"
#include "serial/fakeSerial.h"
#include "support/boundedWait.h"
#include "tools/devsim/deviceSimulator.h"

namespace {

using namespace std::chrono_literals;

enum class TEnding { ClosePort, TwoCloses, DeviceVanishes, TearDown, Count };

TEST(Endings, UploadsEndedAtRandomMomentsEndCleanlyAndAtOnce) {
  std::mt19937 random(20261207);
  std::FILE* console = std::tmpfile();
  TConsoleBoard board(console, console, false);
  enableDispatch();
  for (int run = 0; run < 200; ++run) {
    const auto ending = static_cast<TEnding>(random() % static_cast<unsigned>(TEnding::Count));
    const auto moment = std::chrono::milliseconds(random() % 40);
    SCOPED_TRACE("run " + std::to_string(run));
    devsim::SimulatorOptions options;
    options.inactivityTimeout = 2000ms;
    devsim::DeviceSimulator device(options);
    ASSERT_TRUE(device.start()) << device.error();
    auto schema = std::make_unique<TFlashSchema>(device.portPath(), &board);
    runStartProcs();
    schema->selectPort();
    const auto never = [] { return false; };
    if (schema->outcome.waitPast(TFlashStage::Probing, 2s, never) == TFlashStage::Found) {
      schema->startUpload();
    }
    std::this_thread::sleep_for(moment);

    const auto started = std::chrono::steady_clock::now();
    switch (ending) {
      case TEnding::ClosePort:
        schema->closePort();
        break;
      case TEnding::TwoCloses: {
        TTestThread other("the other close", [&] { schema->closePort(); });
        schema->closePort();
        other.join();
        EXPECT_FALSE(schema->comPort.opened());
        break;
      }
      case TEnding::DeviceVanishes:
        device.stop();
        break;
      case TEnding::TearDown:
      case TEnding::Count:
        break;
    }
    schema.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
  }
  disableDispatch();
  std::fclose(console);
}

// A port its reader finds gone under the upload: the transfer fails at
// once as vanished, with a watchdog that never ticks.
TEST(Endings, APortItsReaderFindsGoneFailsTheTransferAsVanished) {
  const TTimerSeam platform = timerSeam();
  timerSeam() =
      TTimerSeam{[](uint32_t, uint32_t, uintptr_t) -> uint32_t { return 1; }, [](uint32_t) {}};
  enableDispatch();
  {
    TFakeSystem serial;
    TFlashSchema schema("COM1", nullptr, serial);
    runStartProcs();
    schema.selectPort();
    // A line end completes the device line: no quiet gap to wait for.
    serial.Port.pushEvent(serial::EvRxChar, "QUILMATRONX QX1 1.00\r\n");
    const auto never = [] { return false; };
    ASSERT_EQ(schema.outcome.waitPast(TFlashStage::Probing, 2s, never), TFlashStage::Found);
    schema.startUpload();
    serial.Port.set([&] { serial.Port.WaitsEnd = TSerialWaiter::TResult::Failed; });
    EXPECT_EQ(schema.outcome.waitPast(TFlashStage::Found, 2s, never), TFlashStage::TransferError);
    const TPortFacts facts = schema.record.facts();
    EXPECT_TRUE(facts.failure == TFailureKind::Vanished && facts.failingBlock == 1);
  }
  disableDispatch();
  timerSeam() = platform;
}

}  // namespace
