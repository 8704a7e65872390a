// A trace the simulator cannot replay is refused at the start, saying why.
#include <gmock/gmock.h>

#include <fstream>

#include "tools/devsim/deviceSimulator.h"

namespace {

using ::testing::HasSubstr;

TEST(ReplayInput, TracesThatCannotBeReplayedAreRefusedWithTheReason) {
  const std::string header = "# quilmatronx trace 1\n";
  const std::string twoPorts = header +
                               "  0.1  COM3  >  56 45 52 53\n"
                               "  0.2  COM4  >  56 45 52 53\n";
  const struct {
    std::string text;  // empty: no file at all
    std::string port;
    const char* error;
  } cases[] = {
      {"", "", "cannot open"},
      {"just text\n", "", "line 1: not a quilmatronx trace"},
      {header + "  0.1  COM3  >  5G\n", "", "line 2: bad bytes after >"},
      {header + "  0.1  COM3  +  41\n", "", "line 2: \"+\" without a write or a read above it"},
      {header + "  0.1  COM3  opened\n", "", "line 2: unknown mark opened"},
      {twoPorts, "", "several ports; pick one with --replay-port: COM3, COM4"},
      {twoPorts, "COM5", "no port COM5; it has COM3, COM4"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const std::string path = testing::TempDir() + "quil-replay-input-" + std::to_string(++n);
    std::remove(path.c_str());
    if (!c.text.empty()) std::ofstream(path) << c.text;
    devsim::DeviceSimulator simulator({.replayPath = path, .replayPort = c.port});
    EXPECT_FALSE(simulator.start());
    EXPECT_THAT(simulator.error(), HasSubstr(c.error));
  }
}

}  // namespace
