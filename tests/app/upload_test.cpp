// Whole uploads against the simulated device, by outcome.
#include <gmock/gmock.h>

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

}  // namespace
