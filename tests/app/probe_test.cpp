// The probe against the simulated device: which answers identify a device
// and what the status line says.
#include <gmock/gmock.h>

#include "flashHarness.h"

namespace {

using ::testing::HasSubstr;

const std::string noDevice = "На этом порту устройств не найдено.";

// With a gap, the answer comes in two reads that far apart: one answer
// within the quiet gap, two beyond it.
TEST(Probe, IdentityStatusAndRouting) {
  using namespace std::chrono_literals;
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
    EXPECT_EQ(harness.probe(), c.stage);
    EXPECT_THAT(harness.statusText(), HasSubstr(c.status));
    TData route;
    harness.schema().probe.varPoint(route, 0);
    EXPECT_EQ(toInteger(route), c.stage == TFlashStage::Found ? 1 : 0);
  }
}

TEST(Probe, PortThatDoesNotOpenSaysNoDeviceAndWritesNothing) {
  FlashHarness harness({}, "/dev/quilmatronx-no-such-port");
  EXPECT_EQ(harness.probe(), TFlashStage::PortFailed);
  EXPECT_THAT(harness.statusText(), HasSubstr(noDevice));
  EXPECT_FALSE(harness.schema().comPort.opened());
}

}  // namespace
