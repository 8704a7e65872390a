// Whole uploads against the simulated device, by outcome.
#include <gmock/gmock.h>

#include <future>
#include <numeric>
#include <vector>

#include "flashHarness.h"
#include "support/deviceBehaviours.h"

namespace {

using namespace std::chrono_literals;

// Each device behaviour: one outcome, and after a failure the device gets
// nothing more, also not after a late answer or a second watchdog tick. The
// rows run side by side, and one harness ending does not stop the others.
TEST(Upload, EachDeviceBehaviourHasOneOutcomeAndNothingSentAfterAFailure) {
  std::vector<int32_t> steps(507);  // the progress: block 1 is step 0
  std::iota(steps.begin(), steps.end(), 1);
  std::vector<std::future<void>> runs;
  for (const TDeviceBehaviour& b : deviceBehaviours) {
    runs.push_back(std::async(std::launch::async, [&b, &steps] {
      SCOPED_TRACE(b.name);
      FlashHarness harness(b.device);
      const bool none = b.shown == TShown::NoDevice;
      ASSERT_EQ(harness.probe(), none ? TFlashStage::NoDevice : TFlashStage::Found);
      if (none) return;
      const TFlashStage stage = b.upload ? harness.upload() : TFlashStage::TransferError;
      ASSERT_TRUE(eventually(
          "the upload's outcome", [&] { return harness.doneCount() + harness.errorCount() > 0; },
          10s));
      std::this_thread::sleep_for(300ms);
      const size_t received = harness.device().received().size();
      // Long enough for the late answer and for a second watchdog error.
      std::this_thread::sleep_for(4200ms);
      EXPECT_EQ(harness.doneCount() + harness.errorCount(), 1u);
      EXPECT_EQ(harness.doneCount() == 1, stage == TFlashStage::Done);
      if (b.shown != TShown::Either) {
        EXPECT_EQ(stage == TFlashStage::Done, b.shown == TShown::Done);
      }
      EXPECT_EQ(harness.device().received().size(), received);
      // An adapter row is only one when its answers were cut.
      EXPECT_TRUE(b.device.adapter.kind == devsim::AdapterOptions::Kind::None ||
                  harness.device().adapterCuts() >= 6);
      if (b.blocks >= 0) {
        EXPECT_EQ(harness.device().blocks(), b.blocks);
      }
      if (b.blocks == 508) {
        EXPECT_TRUE(harness.device().receivedAtEnd() == firmwareImage());
        EXPECT_TRUE(b.shown != TShown::Done || harness.progress() == steps)
            << "not one step a block";
      }
    }));
  }
  for (auto& run : runs) run.get();
}

}  // namespace
