// Every option lands where it belongs; bad input and unplayable traces are refused with a reason.
#include "tools/devsim/commandLine.h"

#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "tools/devsim/deviceSimulator.h"

namespace {

using namespace devsim;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

std::optional<CommandLine> parse(const std::string& words, std::string* error = nullptr) {
  std::vector<std::string> args;
  std::istringstream in(words);
  for (std::string word; in >> word;) args.push_back(word);
  std::string reason;
  auto line = parseCommandLine(args, reason);
  if (error) *error = reason;
  return line;
}

TEST(CommandLine, EveryOptionIsTaken) {
  const auto line = parse(
      "--attach /dev/ttyUSB0 --model=M7 --firmware 2.1 --identity quilmatronx\\r\\n "
      "--received out.bin --timeout 0.5 --baud 38462 --delay 2500 --delay-at 7 --gap 10 --quiet "
      "--no-vers-answer --wrong-crc 3 --swap-crc all --silent-from 9 --split 0 "
      "--early-final 507 --plain-final --stray \\x00! --garbage 508 --vanish 0");
  ASSERT_TRUE(line);
  const SimulatorOptions& o = line->options;
  EXPECT_EQ(o.attachPath, "/dev/ttyUSB0");
  EXPECT_EQ(o.model, "M7");
  EXPECT_EQ(o.firmware, "2.1");
  EXPECT_EQ(o.identity, "quilmatronx\r\n");
  EXPECT_EQ(line->receivedFile, "out.bin");
  EXPECT_EQ(o.inactivityTimeout, 500ms);
  EXPECT_EQ(o.baud, 38462u);
  EXPECT_EQ(o.delay, 2500ms);
  EXPECT_TRUE(o.delayed.matches(7) && !o.delayed.matches(8));
  EXPECT_EQ(o.gap, 10ms);
  EXPECT_TRUE(line->quiet);
  EXPECT_FALSE(o.answerVers);
  EXPECT_TRUE(o.wrongCrc.matches(3) && !o.wrongCrc.matches(4));
  EXPECT_TRUE(o.swapCrc.matches(1) && o.swapCrc.matches(508));
  EXPECT_EQ(o.silentFrom, 9);
  EXPECT_TRUE(o.split.matches(0));
  EXPECT_EQ(o.earlyFinal, 507);
  EXPECT_TRUE(o.plainFinal);
  EXPECT_EQ(o.stray, std::string("\0!", 2));
  EXPECT_TRUE(o.garbage.matches(508));
  EXPECT_EQ(o.vanishAt, 0);
  EXPECT_FALSE(line->help);
  EXPECT_TRUE(parse("-h")->help);
}

TEST(CommandLine, BadArgumentsAreRefusedWithAReason) {
  const std::pair<std::string, std::string> cases[] = {
      {"--frobnicate", "unknown option --frobnicate"},
      {"--wrong-crc", "--wrong-crc needs N|all"},
      {"--quiet=yes", "--quiet takes no value"},
      {"--wrong-crc 0", "bad value for --wrong-crc: 0"},
      {"--swap-crc 509", "bad value for --swap-crc: 509"},
      {"--early-final 508", "bad value for --early-final: 508"},
      {"--vanish -1", "bad value for --vanish: -1"},
      {"--split al", "bad value for --split: al"},
      {"--baud 9600x", "bad value for --baud: 9600x"},
      {"--timeout 0", "bad value for --timeout: 0"},
      {"--identity a\\q", "bad value for --identity: a\\q"},
      {"--received=", "bad value for --received: "},
  };
  for (const auto& [args, reason] : cases) {
    std::string error;
    EXPECT_FALSE(parse(args, &error)) << reason;
    EXPECT_EQ(error, reason);
  }
}

TEST(CommandLine, EscapesInTexts) {
  EXPECT_EQ(decodeEscapes("a\\r\\n\\t\\\\\\x00\\xfF"), std::string("a\r\n\t\\\0\xFF", 7));
  for (const char* bad : {"\\", "\\x", "\\x4", "\\x4g", "\\u0041"})
    EXPECT_FALSE(decodeEscapes(bad)) << bad;
}

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
