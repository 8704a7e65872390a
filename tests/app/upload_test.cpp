// Whole uploads against the simulated device, by outcome.
#include <gmock/gmock.h>

#include <functional>
#include <future>
#include <numeric>
#include <vector>

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

TEST(Upload, EarlyFinalAnswerIsTakenAsDone) {
  auto options = device();
  options.earlyFinal = 10;
  FlashHarness harness(options);
  ASSERT_EQ(harness.probe(), TFlashStage::Found);
  EXPECT_EQ(harness.upload(), TFlashStage::Done);
  EXPECT_EQ(harness.deviceOutcome(), SessionOutcome::IncompleteUpload);
  EXPECT_EQ(harness.device().blocks(), 10);
}

// Every way a transfer fails, and answers timed against the watchdog: one
// outcome, and after a failure the device gets nothing more, also not when
// a late answer comes or the watchdog would fire a second time. The cases run
// side by side, each with its own device.
TEST(UploadFailure, OneOutcomeAndNothingSentAfterAFailure) {
  struct TCase {
    const char* name;
    std::function<void(devsim::SimulatorOptions&)> fault;
    int blocks;  // what the device receives; -1: as the timing gives
    bool upload = true;
  };
  using Options = devsim::SimulatorOptions;
  const TCase cases[] = {
      {"wrong check sum", [](Options& o) { o.wrongCrc = AnswerPick::at(5); }, 5},
      {"check-sum bytes swapped", [](Options& o) { o.swapCrc = AnswerPick::at(1); }, 1},
      // The first half fails by itself and decides; the second is ignored.
      {"answer split over two reads", [](Options& o) { o.split = AnswerPick::at(3); }, 3},
      {"silence", [](Options& o) { o.silentFrom = 2; }, 2},
      {"device vanishing", [](Options& o) { o.vanishAt = 100; }, 100},
      {"plain check sum after the last block", [](Options& o) { o.plainFinal = true; }, 508},
      {"late answer after the time-out",
       [](Options& o) {
         o.delayed = AnswerPick::at(3);
         o.delay = std::chrono::milliseconds(4500);
       },
       3},
      {"final answer 2.9 s after the previous one",
       [](Options& o) {
         o.earlyFinal = 2;
         o.delayed = AnswerPick::at(2);
         o.delay = std::chrono::milliseconds(2900);
       },
       2},
      {"stray bytes before the upload", [](Options& o) { o.stray = "\x01\x02"; }, 0, false},
      {"stray byte during the transfer", [](Options& o) { o.stray = "\x01"; }, -1},
  };
  std::vector<std::future<void>> runs;
  for (const TCase& c : cases) {
    runs.push_back(std::async(std::launch::async, [&c] {
      SCOPED_TRACE(c.name);
      auto options = device();
      c.fault(options);
      FlashHarness harness(options);
      ASSERT_EQ(harness.probe(), TFlashStage::Found);
      const TFlashStage stage = c.upload ? harness.upload() : TFlashStage::TransferError;
      ASSERT_TRUE(harness.waitForOutcome());
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const size_t received = harness.device().received().size();
      // Long enough for the late answer and for a second watchdog error.
      std::this_thread::sleep_for(std::chrono::milliseconds(4200));
      EXPECT_EQ(harness.doneCount() + harness.errorCount(), 1u);
      EXPECT_EQ(harness.doneCount() == 1, stage == TFlashStage::Done);
      EXPECT_EQ(harness.device().received().size(), received);
      if (c.blocks >= 0) {
        EXPECT_EQ(harness.device().blocks(), c.blocks);
      }
    }));
  }
  for (auto& run : runs) run.get();
}

}  // namespace
