// Every option lands where it belongs; bad input is refused with a reason.
#include "tools/devsim/commandLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace devsim;
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

}  // namespace
