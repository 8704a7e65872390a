// Fault modes' bytes on the line where the uploader's tests do not show them;
// the other modes each decide an outcome those tests expect.
#include "support/simulatedDevice.h"

namespace {

using devsim::AnswerPick;
using devsim::SessionOutcome;
using namespace std::chrono_literals;

using Faults = SimulatorTest;

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
