// Each fault mode's effect as the host sees it on the line.
#include <thread>

#include "simulatorFixture.h"

namespace devsim_test {
namespace {

using devsim::AnswerPick;
using devsim::SessionOutcome;
using Clock = std::chrono::steady_clock;

using Faults = SimulatorTest;

std::string reversed(std::string bytes) { return {bytes.rbegin(), bytes.rend()}; }

TEST_F(Faults, WrongCrcAtOneBlockLeavesTheRunningCrcIntact) {
  start({.wrongCrc = AnswerPick::at(2)});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 1));
  ASSERT_TRUE(host().write(block(image_, 2)));
  const std::string right = expectAnswer(block(image_, 2));
  const std::string wrong = host().read(2);
  EXPECT_EQ(wrong.size(), 2u);
  EXPECT_NE(wrong, right);
  EXPECT_NE(wrong, reversed(right));
  // A host that carries on gets correct answers again.
  ASSERT_TRUE(sendBlocks(3, 3));
  EXPECT_TRUE(logMentions("block 2: CRC"));
}

TEST_F(Faults, SwappedCrcAtOneBlockOrAtEvery) {
  start({.swapCrc = AnswerPick::at(2)});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 1));
  ASSERT_TRUE(host().write(block(image_, 2)));
  const std::string right = expectAnswer(block(image_, 2));
  ASSERT_NE(right[0], right[1]) << "pick an image whose CRC bytes differ here";
  EXPECT_EQ(host().read(2), reversed(right));
  ASSERT_TRUE(sendBlocks(3, 3));

  crc_ = 0xFFFF;
  start({.swapCrc = AnswerPick::all()});
  ASSERT_TRUE(probe());
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(host().write(block(image_, n)));
    EXPECT_EQ(host().read(2), reversed(expectAnswer(block(image_, n)))) << "block " << n;
  }
}

TEST_F(Faults, SilenceFromABlockOn) {
  start({.inactivityTimeout = 500ms, .silentFrom = 2});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 1));
  ASSERT_TRUE(host().write(block(image_, 2)));
  EXPECT_EQ(host().readOnce(150ms), "");
  EXPECT_TRUE(ended(SessionOutcome::TimedOut));
  EXPECT_EQ(simulator().blocks(), 2);
}

TEST_F(Faults, NoAnswerToTheProbe) {
  start({.answerVers = false});
  ASSERT_TRUE(host().write("VERS"));
  EXPECT_EQ(host().readOnce(150ms), "");
  EXPECT_TRUE(logMentions("VERS received: not answered"));
}

TEST_F(Faults, SplitAnswersArriveInTwoReads) {
  start({.gap = 300ms, .split = AnswerPick::all(), .earlyFinal = 2});
  ASSERT_TRUE(host().write("VERS"));
  const std::string first = host().readOnce();
  EXPECT_EQ(first, "QUILMATRON");
  EXPECT_EQ(first + host().readOnce(), "QUILMATRONX QX1 1.00");

  ASSERT_TRUE(host().write(block(image_, 1)));
  const std::string answer = expectAnswer(block(image_, 1));
  EXPECT_EQ(host().readOnce(), answer.substr(0, 1));
  EXPECT_EQ(host().readOnce(), answer.substr(1));

  ASSERT_TRUE(host().write(block(image_, 2)));
  const std::string final = expectAnswer(block(image_, 2), true);
  EXPECT_EQ(host().readOnce(), final.substr(0, 2));
  EXPECT_EQ(host().readOnce(), "FZ");
}

TEST_F(Faults, EarlyFinalAnswerThenStartIsAnIncompleteUpload) {
  start({.earlyFinal = 2});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 1));
  ASSERT_TRUE(host().write(block(image_, 2)));
  EXPECT_EQ(host().read(4), expectAnswer(block(image_, 2), true));
  ASSERT_TRUE(host().write("PUSK"));
  EXPECT_TRUE(ended(SessionOutcome::IncompleteUpload));
  EXPECT_EQ(simulator().received(), image_.substr(0, 512));
}

TEST_F(Faults, StrayBytesComeInAReadOfTheirOwn) {
  start({.gap = 300ms, .stray = "\r\nOK"});
  ASSERT_TRUE(host().write("VERS"));
  EXPECT_EQ(host().readOnce(), "QUILMATRONX QX1 1.00");
  EXPECT_EQ(host().readOnce(), "\r\nOK");
}

TEST_F(Faults, GarbageInsteadOfTheProbeOrABlockAnswer) {
  const std::string garbage("\x00\xFF?\x80#", 5);
  start({.garbage = AnswerPick::at(0)});
  ASSERT_TRUE(host().write("VERS"));
  EXPECT_EQ(host().read(5), garbage);

  start({.garbage = AnswerPick::at(1)});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(host().write(block(image_, 1)));
  EXPECT_EQ(host().read(5), garbage);
}

TEST_F(Faults, VanishingClosesThePort) {
  start({.vanishAt = 2});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 1));
  ASSERT_TRUE(host().write(block(image_, 2)));
  EXPECT_TRUE(host().hungUp());
  EXPECT_TRUE(ended(SessionOutcome::Vanished));

  start({.vanishAt = 0});
  ASSERT_TRUE(host().write("VERS"));
  EXPECT_TRUE(host().hungUp());
  EXPECT_TRUE(ended(SessionOutcome::Vanished));
}

TEST_F(Faults, SlowAnswerComesNoSoonerThanItsDelay) {
  start({.delay = 300ms, .delayed = AnswerPick::at(1)});
  ASSERT_TRUE(probe());
  const auto sent = Clock::now();
  ASSERT_TRUE(sendBlocks(1, 1));
  EXPECT_GE(Clock::now() - sent, 300ms);
}

TEST_F(Faults, CustomIdentityTextIsSentAsItIs) {
  start({.identity = "quilmatronx M1 V2 EXTRA\r\n"});
  ASSERT_TRUE(probe("quilmatronx M1 V2 EXTRA\r\n"));
}

TEST_F(Faults, PacedLineTakesItsTime) {
  // 100000 Bd: 100 us a byte, so a block and its answer need 25.8 ms.
  start({.baud = 100000});
  ASSERT_TRUE(probe());
  const auto sent = Clock::now();
  ASSERT_TRUE(sendBlocks(1, 4));
  EXPECT_GE(Clock::now() - sent, 4 * 25800us);
}

}  // namespace
}  // namespace devsim_test
