// The upload's watchdog on the real timer, the upload schema on its own with
// the test as the device: after the last answer, silence fails the transfer
// on the third one-second tick, and the outcome stops the watchdog.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/uploadSchema.h"
#include "elements/hexText.h"
#include "elements/zkEventFromData.h"
#include "support/boundedWait.h"
#include "support/recorder.h"
#include "support/sharedRecorder.h"

namespace {

using Upload = TClassMultiElementEx_2168BB0;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(UploadWatchdog, SilenceFailsTwoToThreeSecondsAfterTheLastAnswerThenStops) {
  TDispatchScope on;
  TZKEventFromData crcField;  // the form's hidden check-sum field
  TSharedRecorder progress, errors;
  TZKMultiElementEx container(nullptr);
  const TEventLink storedCrc = makeEventLink<&TZKEventFromData::varStored>(&crcField);
  fireEvent(makeEventLink<&TZKEventFromData::inStore>(&crcField), "FFFF");
  container.outEvent.resize(6);
  container.dataPoint.resize(1);
  container.outEvent[Upload::outCrc] = makeEventLink<&TZKEventFromData::inStore>(&crcField);
  container.outEvent[Upload::outProgress] = progress.link();
  container.outEvent[Upload::outError] = errors.link();
  container.dataPoint[Upload::dataCrc] = storedCrc;
  container.setFactory(&Upload::create);
  // Answers the block just sent with the running check sum, high byte first.
  const auto answer = [&] {
    TData none;
    const uint32_t crc = hexToInt(readString(none, storedCrc, ""));
    TData bytes = stringData({static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)});
    container.inWork(bytes, Upload::inAnswer);
    return Clock::now();
  };

  const auto start = Clock::now();
  TData none;
  container.inWork(none, Upload::inUpload);
  answer();
  // Past the first tick, so that an answer that did not reset the count
  // shows; block 3 then goes unanswered.
  std::this_thread::sleep_until(start + 1500ms);
  const auto last = answer();
  ASSERT_EQ(progress.values().size(), 2u) << "both answers were taken";
  ASSERT_TRUE(eventually(
      "the time-out's error", [&] { return !errors.values().empty(); }, 6s));
  const auto waited = Clock::now() - last;
  EXPECT_GE(waited, 2s);
  EXPECT_LE(waited, 3s + 250ms);

  const auto& upload = *static_cast<Upload*>(container.Current->Owner);
  const int32_t seconds = upload.counterSeconds.Count.load();
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(upload.counterSeconds.Count.load(), seconds) << "the watchdog still ticks";
  EXPECT_EQ(errors.values().size(), 1u);
}

}  // namespace
