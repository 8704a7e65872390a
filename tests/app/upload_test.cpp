// Whole uploads against the simulated device, by outcome.
#include <gmock/gmock.h>

#include <future>
#include <numeric>
#include <vector>

#include "flashHarness.h"

namespace {

using devsim::AnswerPick;
using namespace std::chrono_literals;

// A whole upload, every way a transfer fails, an early final answer, and
// answers timed against the watchdog: one outcome, and after a failure the
// device gets nothing more, also not when a late answer comes or the
// watchdog would fire a second time. The cases run side by side, each with
// its own device, and one harness ending does not stop the others.
TEST(Upload, OneOutcomeAndNothingSentAfterAFailure) {
  enum TEnd { Error, Done, Either };
  const struct {
    const char* name;
    devsim::SimulatorOptions fault;
    int blocks;  // what the device receives; -1: as the timing gives
    bool upload = true;
    TEnd end = Error;
  } cases[] = {
      {"whole image", {}, 508, true, Done},
      {"wrong check sum", {.wrongCrc = AnswerPick::at(5)}, 5},
      {"check-sum bytes swapped", {.swapCrc = AnswerPick::at(1)}, 1},
      // The pieces of an answer are joined: no failure.
      {"answer split over two reads", {.split = AnswerPick::at(3)}, 508, true, Done},
      {"final answer split over two reads", {.split = AnswerPick::at(508)}, 508, true, Done},
      {"silence", {.silentFrom = 2}, 2},
      {"device vanishing", {.vanishAt = 100}, 100},
      {"plain check sum after the last block", {.plainFinal = true}, 508},
      {"late answer after the time-out", {.delay = 4500ms, .delayed = AnswerPick::at(3)}, 3},
      {"final answer 2.9 s after the previous one",
       {.delay = 2900ms, .delayed = AnswerPick::at(2), .earlyFinal = 2},
       2,
       true,
       Either},
      {"early final answer", {.earlyFinal = 10}, 10, true, Done},
      // The stray bytes come well after the probe's quiet gap, also when its
      // timer is late on a loaded machine; answers slowed so the transfer
      // is still under way.
      {"stray bytes before the upload", {.gap = 500ms, .stray = "\x01\x02"}, 0, false},
      {"stray byte during the transfer", {.delay = 5ms, .gap = 500ms, .stray = "\x01"}, -1},
  };
  std::vector<int32_t> steps(507);  // the progress: block 1 is step 0
  std::iota(steps.begin(), steps.end(), 1);
  std::vector<std::future<void>> runs;
  for (const auto& c : cases) {
    runs.push_back(std::async(std::launch::async, [&c, &steps] {
      SCOPED_TRACE(c.name);
      FlashHarness harness(c.fault);
      ASSERT_EQ(harness.probe(), TFlashStage::Found);
      const TFlashStage stage = c.upload ? harness.upload() : TFlashStage::TransferError;
      ASSERT_TRUE(harness.waitForOutcome());
      std::this_thread::sleep_for(300ms);
      const size_t received = harness.device().received().size();
      // Long enough for the late answer and for a second watchdog error.
      std::this_thread::sleep_for(4200ms);
      EXPECT_EQ(harness.doneCount() + harness.errorCount(), 1u);
      EXPECT_EQ(harness.doneCount() == 1, stage == TFlashStage::Done);
      EXPECT_TRUE(c.end == Either || (stage == TFlashStage::Done) == (c.end == Done));
      EXPECT_EQ(harness.device().received().size(), received);
      if (c.blocks >= 0) {
        EXPECT_EQ(harness.device().blocks(), c.blocks);
      }
      if (c.blocks == 508) {
        EXPECT_TRUE(harness.device().receivedAtEnd() == firmwareImage());
        EXPECT_TRUE(c.end != Done || harness.progress() == steps) << "not one step a block";
      }
    }));
  }
  for (auto& run : runs) run.get();
}

}  // namespace
