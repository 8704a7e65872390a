// The probe against the simulated device: which answers identify a device
// and what the status line says.
#include <gmock/gmock.h>

#include "flashHarness.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

devsim::SimulatorOptions answering(const std::string& identity) {
  devsim::SimulatorOptions options;
  options.identity = identity;
  options.inactivityTimeout = std::chrono::milliseconds(3000);
  return options;
}

struct ProbeCase {
  const char* name;
  std::string identity;
  TFlashStage stage;
  std::string status;  // UTF-8, expected in the status output
};

class ProbeAnswers : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeAnswers, StatusAndRouting) {
  const ProbeCase& c = GetParam();
  FlashHarness harness(answering(c.identity));
  EXPECT_EQ(harness.probe(), c.stage);
  EXPECT_THAT(harness.statusText(), HasSubstr(c.status));
  TData route;
  harness.schema().probe.varPoint(route, 0);
  EXPECT_EQ(toInteger(route), c.stage == TFlashStage::Found ? 1 : 0);
}

const std::string noDevice = "На этом порту устройств не найдено.";

INSTANTIATE_TEST_SUITE_P(
    Identity, ProbeAnswers,
    ::testing::Values(ProbeCase{"ModelAndVersion", "QUILMATRONX M1 V2", TFlashStage::Found,
                                "Устройство: M1   Текущая версия ПО: V2\n"},
                      ProbeCase{"LowerCase", "quilmatronx M1 V2", TFlashStage::Found,
                                "Устройство: M1   Текущая версия ПО: V2\n"},
                      ProbeCase{"CrLfStaysInVersion", "QUILMATRONX M1 V2\r\n", TFlashStage::Found,
                                "Текущая версия ПО: V2\r\n\n"},
                      ProbeCase{"OneWord", "QUILMATRONX", TFlashStage::NoDevice, noDevice},
                      ProbeCase{"TwoWords", "QUILMATRONX M1", TFlashStage::Found,
                                "Устройство: M1   Текущая версия ПО: \n"},
                      ProbeCase{"FourWords", "QUILMATRONX M1 V2 extra", TFlashStage::Found,
                                "Текущая версия ПО: V2\n"},
                      ProbeCase{"ExtraLetter", "QUILMATRONXX M1 V2", TFlashStage::NoDevice,
                                noDevice}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Probe, PortThatDoesNotOpenSaysNoDeviceAndWritesNothing) {
  FlashHarness harness(answering("QUILMATRONX M1 V2"), "/dev/quilmatronx-no-such-port");
  EXPECT_EQ(harness.probe(), TFlashStage::PortFailed);
  EXPECT_THAT(harness.statusText(), HasSubstr(noDevice));
  EXPECT_FALSE(harness.schema().comPort.opened());
}

TEST(Probe, FourthWordIsNotShown) {
  FlashHarness harness(answering("QUILMATRONX M1 V2 extra"));
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_THAT(harness.statusText(), Not(HasSubstr("extra")));
}

}  // namespace
