// Which answers identify a device and what the status line says.
#include <gmock/gmock.h>

#include "app/flash/flashRun.h"
#include "elements/timerSeam.h"
#include "flashHarness.h"
#include "runtime/startList.h"
#include "serial/fakeSerial.h"

namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

const std::string noDevice = "На этом порту устройств не найдено.";

// With a gap, the answer comes in two reads that far apart.
TEST(Probe, IdentityStatusAndRouting) {
  const struct {
    std::string identity;
    TFlashStage stage;
    std::string status;  // UTF-8, expected in the status output
    std::chrono::milliseconds gap{};
  } cases[] = {
      {"QUILMATRONX M1 V2", TFlashStage::Found, "Устройство: M1   Текущая версия ПО: V2\n"},
      {"quilmatronx M1 V2", TFlashStage::Found, "Устройство: M1   Текущая версия ПО: V2\n"},
      {"QUILMATRONX M1 V2\r\n", TFlashStage::Found, "Текущая версия ПО: V2\r\n\n"},
      {"QUILMATRONX", TFlashStage::NoDevice, noDevice},
      {"QUILMATRONX M1", TFlashStage::Found, "Устройство: M1   Текущая версия ПО: \n"},
      {"QUILMATRONX M1 V2 extra", TFlashStage::Found, "Текущая версия ПО: V2\n"},
      {"QUILMATRONXX M1 V2", TFlashStage::NoDevice, noDevice},
      {"QUILMATRONX M1 V2", TFlashStage::Found, "Устройство: M1   Текущая версия ПО: V2\n", 20ms},
      {"QUILMATRONX M1 V2\r\n", TFlashStage::Found, "Текущая версия ПО: V2\r\n\n", 20ms},
      {"QUILMATRONX M1 V2", TFlashStage::NoDevice, noDevice, 200ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.identity + " " + std::to_string(c.gap.count()));
    const auto split = c.gap.count() > 0 ? devsim::AnswerPick::at(0) : devsim::AnswerPick{};
    FlashHarness harness({.identity = c.identity, .gap = c.gap, .split = split});
    ASSERT_EQ(harness.probe(), c.stage);
    EXPECT_THAT(harness.statusText(), HasSubstr(c.status));
    TData route;
    harness.schema().probe.varPoint(route, 0);
    EXPECT_EQ(toInteger(route), c.stage == TFlashStage::Found ? 1 : 0);
  }
}

// The port's bytes written so far are `bytes`, within the bounded wait.
bool wrote(TFakePort& port, const std::string& bytes) {
  return eventually(bytes, [&] {
    bool written = false;
    port.set([&] { written = port.Written == bytes; });
    return written;
  });
}

std::atomic<uintptr_t> gapTimer{0};  // the quiet gap's timer, ticked by hand

// The platform's timer swapped for one that only the test ticks.
struct THandTicks : TTimerSeamScope {
  THandTicks()
      : TTimerSeamScope({[](uint32_t, uint32_t, uintptr_t timer) -> uint32_t {
                           return (gapTimer = timer) != 0;
                         },
                         [](uint32_t) { gapTimer = 0; }}) {}
};

// A gap that ends while the rest of the line waits in the port, or in a
// reader not done handing it on, is no quiet: the answer is still joined.
TEST(Probe, AGapThatEndsWhileTheRestIsOnItsWayIsNoQuiet) {
  const THandTicks hand;
  const TDispatchScope dispatch;
  for (const bool inTheReader : {false, true}) {
    TFakeSystem serial;
    TFlashSchema schema("COM1", nullptr, serial);
    runStartProcs();
    schema.selectPort();
    serial.Port.pushEvent(serial::EvRxChar, "QUILMATRONX");
    ASSERT_TRUE(eventually("the gap's start", [] { return gapTimer != 0; }));
    std::atomic<bool> reading{false}, ticked{false};
    serial.Port.set([&] {
      serial.Port.Incoming = " QX1 1.00\r\n";
      serial.Port.OnRead = [&] {
        reading = true;
        EXPECT_TRUE(eventually("the gap's tick", ticked));
      };
    });
    if (inTheReader) serial.Port.pushEvent(serial::EvRxChar);
    ASSERT_TRUE(eventually("the read", [&] { return reading || !inTheReader; }));
    deliverTimerTick(gapTimer);
    ticked = true;
    serial.Port.pushEvent(serial::EvRxChar);  // the port's bytes, if still there
    EXPECT_EQ(schema.outcome.waitPast(TFlashStage::Probing, 2s, [] { return false; }),
              TFlashStage::Found)
        << (inTheReader ? "in the reader" : "in the port");
  }
}

// A device line in time whose quiet gap ends after the 3 s limit still counts.
TEST(Probe, ADeviceLineStillBeingJoinedAtTheLimitCounts) {
  const THandTicks hand;
  const TDispatchScope dispatch;
  TFakeSystem serial;
  TFlashRun run({{"COM1"}, true, nullptr, nullptr, &serial});
  runStartProcs();
  std::vector<TPortResult> results;
  TTestThread running("the probe", [&] { results = run.run([] { return 0; }); });
  ASSERT_TRUE(wrote(serial.Port, "VERS"));
  serial.Port.pushEvent(serial::EvRxChar, "QUILMATRONX QX1 1.00");
  ASSERT_TRUE(eventually("the gap's start", [] { return gapTimer != 0; }));
  std::this_thread::sleep_for(probeTimeout + std::chrono::milliseconds(300));
  deliverTimerTick(gapTimer);
  running.join();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].outcome, TPortOutcome::Found) << results[0].detail;
}

// Pieces of an answer to the port's last choice belong to no answer after it
// is chosen again.
TEST(Probe, ChoosingThePortAgainForgetsTheLastAnswersPieces) {
  const THandTicks hand;
  const TDispatchScope dispatch;
  TFakeSystem serial;
  TFlashSchema schema("COM1", nullptr, serial);
  runStartProcs();
  schema.selectPort();
  ASSERT_TRUE(wrote(serial.Port, "VERS"));
  serial.Port.pushEvent(serial::EvRxChar, "QUIL");
  ASSERT_TRUE(eventually("the gap's start", [] { return gapTimer != 0; }));
  schema.selectPort();
  ASSERT_TRUE(wrote(serial.Port, "VERSVERS"));
  serial.Port.pushEvent(serial::EvRxChar, "QUILMATRONX QX1 1.00\r\n");
  EXPECT_EQ(schema.outcome.waitPast(TFlashStage::Probing, 2s, [] { return false; }),
            TFlashStage::Found);
}

TEST(Probe, PortThatDoesNotOpenSaysNoDeviceAndWritesNothing) {
  FlashHarness harness({}, "/dev/quilmatronx-no-such-port");
  EXPECT_EQ(harness.probe(), TFlashStage::PortFailed);
  EXPECT_THAT(harness.statusText(), HasSubstr(noDevice));
  EXPECT_FALSE(harness.schema().comPort.opened());
}

}  // namespace
