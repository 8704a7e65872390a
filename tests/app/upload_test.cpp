// Whole uploads against the simulated device, by outcome.
#include <gmock/gmock.h>

#include <functional>
#include <numeric>

#include "flashHarness.h"

namespace {

using devsim::AnswerPick;
using devsim::SessionOutcome;

devsim::SimulatorOptions device() {
  devsim::SimulatorOptions options;
  options.inactivityTimeout = std::chrono::milliseconds(8000);
  return options;
}

TEST(Upload, SendsTheWholeImageThenPusk) {
  FlashHarness harness(device());
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::Done);
  EXPECT_EQ(harness.deviceOutcome(), SessionOutcome::Complete);
  EXPECT_EQ(harness.device().blocks(), 508);
  const std::string image = firmwareImage();
  ASSERT_EQ(image.size(), 130048u);
  EXPECT_TRUE(harness.device().received() == image) << "received bytes differ from the image";
  std::vector<int32_t> expected(507);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(harness.progress(), expected);
  EXPECT_EQ(harness.doneCount(), 1u);
  EXPECT_EQ(harness.errorCount(), 0u);
}

// A failure leaves the device waiting for a block that never comes.
void expectStopsAfter(FlashHarness& harness, int blocksSent) {
  EXPECT_EQ(harness.errorCount(), 1u);
  EXPECT_EQ(harness.doneCount(), 0u);
  // Nothing more is sent after the error: give the line a moment, then count.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(harness.device().blocks(), blocksSent);
  EXPECT_EQ(harness.device().received().size(), static_cast<size_t>(blocksSent) * 256u);
}

TEST(UploadFailure, WrongCrcStopsTheTransfer) {
  auto options = device();
  options.wrongCrc = AnswerPick::at(5);
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::TransferError);
  expectStopsAfter(harness, 5);
}

TEST(UploadFailure, SwappedCrcBytesStopTheTransfer) {
  auto options = device();
  options.swapCrc = AnswerPick::at(1);
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::TransferError);
  expectStopsAfter(harness, 1);
}

TEST(UploadFailure, AnswerSplitOverTwoReadsFails) {
  auto options = device();
  options.split = AnswerPick::at(3);
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::TransferError);
  // The first half fails by itself and decides; the second is ignored.
  expectStopsAfter(harness, 3);
}

TEST(UploadFailure, SilenceTimesOutAfterThreeTicks) {
  auto options = device();
  options.silentFrom = 2;
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(harness.upload(), TFlashStage::TransferError);
  // Three one-second ticks after the last answer; generous upper bound.
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  expectStopsAfter(harness, 2);
}

TEST(UploadFailure, StrayBytesBeforeTheUploadAreAnError) {
  auto options = device();
  options.stray = "\x01\x02";
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  // The stray bytes reach the upload before any block: an error at once.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (harness.errorCount() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(harness.errorCount(), 1u);
  EXPECT_EQ(harness.device().blocks(), 0);
}

TEST(UploadFailure, DeviceVanishingMidTransferEndsInError) {
  auto options = device();
  options.vanishAt = 100;
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(std::chrono::seconds(10)), TFlashStage::TransferError);
  EXPECT_EQ(harness.deviceOutcome(), SessionOutcome::Vanished);
  EXPECT_EQ(harness.doneCount(), 0u);
}

TEST(UploadFailure, PlainChecksumAfterTheLastBlockIsAnError) {
  auto options = device();
  options.plainFinal = true;
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::TransferError);
  // No 509th block: exactly the image went out.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(harness.device().received().size(), 130048u);
  EXPECT_EQ(harness.errorCount(), 1u);
}

TEST(Upload, EarlyFinalAnswerIsTakenAsDone) {
  auto options = device();
  options.earlyFinal = 10;
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::Done);
  EXPECT_EQ(harness.deviceOutcome(), SessionOutcome::IncompleteUpload);
  EXPECT_EQ(harness.device().blocks(), 10);
}

// Whatever the timing of the answers, a transfer has one outcome, and after
// a failure the device gets no further image byte: a late answer to a block
// that already timed out releases no block, a final answer near the third
// watchdog tick is either success or failure, and a stray byte in the middle
// of the transfer stops it although the pending block's answer still comes.
TEST(UploadOutcome, ExactlyOneAndNothingSentAfterAFailure) {
  struct TCase {
    const char* name;
    std::function<void(devsim::SimulatorOptions&)> fault;
    int blocks;  // the device receives exactly these; 0: as many as the timing gives
  };
  const TCase cases[] = {
      {"late answer after the time-out",
       [](devsim::SimulatorOptions& o) {
         o.delayed = AnswerPick::at(3);
         o.delay = std::chrono::milliseconds(4500);
       },
       3},
      {"final answer 2.9 s after the previous one",
       [](devsim::SimulatorOptions& o) {
         o.earlyFinal = 2;
         o.delayed = AnswerPick::at(2);
         o.delay = std::chrono::milliseconds(2900);
       },
       2},
      {"stray byte during the transfer", [](devsim::SimulatorOptions& o) { o.stray = "\x01"; }, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto options = device();
    c.fault(options);
    FlashHarness harness(options);
    ASSERT_EQ(harness.probe(), TFlashStage::Found);
    const TFlashStage stage = harness.upload();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const size_t received = harness.device().received().size();
    // Long enough for the late answer and for a second watchdog error.
    std::this_thread::sleep_for(std::chrono::milliseconds(4200));
    EXPECT_EQ(harness.doneCount() + harness.errorCount(), 1u);
    EXPECT_EQ(harness.doneCount() == 1, stage == TFlashStage::Done);
    EXPECT_EQ(harness.device().received().size(), received);
    if (c.blocks != 0) {
      EXPECT_EQ(harness.device().blocks(), c.blocks);
    }
  }
}

}  // namespace
