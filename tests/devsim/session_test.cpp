// The simulator over a pty: its exchange, how a session ends, fault modes' bytes on the line.
#include <random>

#include "support/simulatedDevice.h"

namespace {

using devsim::AnswerPick;
using devsim::SessionOutcome;
using namespace std::chrono_literals;

using Session = SimulatorTest;
using Faults = SimulatorTest;

TEST_F(Session, WholeUploadHoweverTheHostSplitsItsWrites) {
  start({.model = "M1", .firmware = "V2"});
  // A byte of line noise that could begin the probe, then the probe.
  ASSERT_TRUE(host().write("VV"));
  ASSERT_TRUE(host().write("ERS"));
  EXPECT_EQ(host().read(17), "QUILMATRONX M1 V2");

  std::mt19937 random(3);
  for (int n = 1; n <= 508; ++n) {
    const std::string bytes = block(n);
    // Every 16th block one byte per write, the others in pieces of random size.
    for (size_t at = 0; at < bytes.size();) {
      const size_t piece = n % 16 == 0 ? 1 : 1 + random() % 200;
      ASSERT_TRUE(host().write(std::string_view(bytes).substr(at, piece)));
      at += piece;
    }
    const std::string expected = expectAnswer(bytes, n == 508);
    ASSERT_EQ(host().read(expected.size()), expected) << "block " << n;
  }
  ASSERT_TRUE(host().write("PU"));
  ASSERT_TRUE(host().write("SK"));
  EXPECT_TRUE(ended(SessionOutcome::Complete));
  EXPECT_EQ(simulator().blocks(), 508);
  EXPECT_TRUE(simulator().received() == image_);
}

// Neither probe is image data, nor is an image that begins like one a probe.
TEST_F(Session, HostMayReopenAndProbeAgainBeforeTheUpload) {
  start();
  ASSERT_TRUE(probe());
  host().close();
  host().open(simulator().portPath());
  ASSERT_TRUE(probe());
  const std::string bytes = "VEXX" + block(1).substr(4);
  ASSERT_TRUE(host().write(bytes));
  EXPECT_EQ(host().read(2), expectAnswer(bytes));
  ASSERT_TRUE(sendBlocks(2, 2));
  EXPECT_EQ(simulator().received(), bytes + block(2));
  EXPECT_EQ(simulator().outcome(), SessionOutcome::Running);
}

TEST_F(Session, EndsAfterTheInactivityTimeOutOrWhenStopped) {
  start({.inactivityTimeout = 200ms});
  ASSERT_TRUE(probe());
  EXPECT_TRUE(ended(SessionOutcome::TimedOut));

  devsim::DeviceSimulator other({});
  ASSERT_TRUE(other.start());
  EXPECT_FALSE(other.waitFor(10ms));
  other.stop();
  EXPECT_TRUE(other.waitFor(0ms));
  EXPECT_EQ(other.outcome(), SessionOutcome::Stopped);
  EXPECT_FALSE(other.start());
}

TEST_F(Faults, SplitAnswersArriveInTwoReads) {
  start({.gap = 300ms, .split = AnswerPick::all(), .earlyFinal = 2});
  ASSERT_TRUE(host().write("VERS"));
  EXPECT_EQ(host().readOnce(), "QUILMATRON");
  EXPECT_EQ(host().readOnce(), "X QX1 1.00");
  ASSERT_TRUE(host().write(block(1)));
  const std::string answer = expectAnswer(block(1));
  EXPECT_EQ(host().readOnce(), answer.substr(0, 1));
  EXPECT_EQ(host().readOnce(), answer.substr(1));
  ASSERT_TRUE(host().write(block(2)));
  const std::string final = expectAnswer(block(2), true);
  EXPECT_EQ(host().readOnce(), final.substr(0, 2));
  EXPECT_EQ(host().readOnce(), "FZ");
}

TEST_F(Faults, EarlyFinalAnswerThenStartIsAnIncompleteUpload) {
  start({.earlyFinal = 2});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 1));
  ASSERT_TRUE(host().write(block(2)));
  EXPECT_EQ(host().read(4), expectAnswer(block(2), true));
  ASSERT_TRUE(host().write("PUSK"));
  EXPECT_TRUE(ended(SessionOutcome::IncompleteUpload));
  EXPECT_EQ(simulator().received(), image_.substr(0, 512));
}

}  // namespace
