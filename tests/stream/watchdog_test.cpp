// The upload with the test as its device: the watchdog on the real timer, and
// block 1's answer arriving while block 1 is still ending.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "app/uploadSchema.h"
#include "elements/hexText.h"
#include "elements/zkEventFromData.h"
#include "support/boundedWait.h"
#include "support/firmwareImage.h"
#include "support/recorder.h"

namespace {

using Upload = TClassMultiElementEx_2168BB0;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One upload with the test as its device.
struct TWatchedUpload {
  TZKEventFromData crcField;  // the form's hidden check-sum field
  TSharedRecorder progress, errors;
  TZKMultiElementEx container{nullptr};
  const TEventLink storedCrc = makeEventLink<&TZKEventFromData::varStored>(&crcField);

  TWatchedUpload() {
    fireEvent(makeEventLink<&TZKEventFromData::inStore>(&crcField), "FFFF");
    container.outEvent.resize(6);
    container.dataPoint.resize(1);
    container.outEvent[Upload::outCrc] = makeEventLink<&TZKEventFromData::inStore>(&crcField);
    container.outEvent[Upload::outProgress] = progress.link();
    container.outEvent[Upload::outError] = errors.link();
    container.dataPoint[Upload::dataCrc] = storedCrc;
    container.setFactory(&Upload::create);
  }
  // Answers the block just sent with the running check sum, high byte first.
  Clock::time_point answer() {
    TData none;
    const uint32_t crc = hexToInt(readString(none, storedCrc, ""));
    TData bytes = stringData({static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)});
    container.inWork(bytes, Upload::inAnswer);
    return Clock::now();
  }
  void startAndAnswer() {
    TData none;
    container.inWork(none, Upload::inUpload);
    answer();
  }
  void expectTimeOutTwoToThreeSecondsAfter(Clock::time_point last) {
    ASSERT_TRUE(eventually(
        "the time-out", [&] { return !errors.values().empty(); }, 6s));
    EXPECT_GE(Clock::now() - last, 2s);
    EXPECT_LE(Clock::now() - last, 3s + 250ms);
  }
};

// A's time-out handler blocks for 1.5 s; B (answered just after) and C (half
// a second later) must still time out neither late nor early.
TEST(UploadWatchdog, SilenceFailsTwoToThreeSecondsAfterTheLastAnswerWhateverOthersDo) {
  TDispatchScope on;
  TWatchedUpload a, b, c;
  a.errors.onReceive = [](TData&, uint16_t) { std::this_thread::sleep_for(1500ms); };
  const auto start = Clock::now();
  a.startAndAnswer();
  std::this_thread::sleep_until(start + 500ms);
  b.startAndAnswer();
  c.startAndAnswer();
  std::this_thread::sleep_until(start + 2700ms);
  b.answer();
  c.answer();
  ASSERT_TRUE(eventually(
      "A's time-out", [&] { return !a.errors.values().empty(); }, 1s));
  const auto bLast = b.answer();
  std::this_thread::sleep_until(start + 3600ms);
  const auto cLast = c.answer();
  b.expectTimeOutTwoToThreeSecondsAfter(bLast);
  c.expectTimeOutTwoToThreeSecondsAfter(cLast);

  const auto& schema = *static_cast<Upload*>(c.container.Current->Owner);
  const int32_t seconds = schema.counterSeconds.Count.load();
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(schema.counterSeconds.Count.load(), seconds) << "the watchdog still ticks";
  EXPECT_EQ(c.errors.values().size(), 1u);
}

// With each byte written by itself, the device may answer block 1 once its
// last byte is out, and the answer starts block 2 on the reader's thread
// while the sender is still ending block 1. Here the answer comes at the end
// of block 1's loop, the last point the sender passes; the sanitizer reports
// any element both threads then touch. The flag is set relaxed so that it
// does not order the two threads.
TEST(ByteWrites, BlockOnesAnswerMayStartBlockTwoBeforeTheSenderHasEndedBlockOne) {
  TDispatchScope on;
  TWatchedUpload upload;
  TSharedRecorder sent, blockEnds;
  upload.container.outEvent[Upload::outSend] = sent.link();
  auto& schema = *static_cast<Upload*>(upload.container.Current->Owner);
  schema.writeEachByte();
  schema.loopBlock.outEnd = blockEnds.link();
  const std::thread::id sender = std::this_thread::get_id();
  std::atomic<bool> answered{false};
  std::optional<TTestThread> reader;
  blockEnds.onReceive = [&](TData&, uint16_t) {
    if (std::this_thread::get_id() != sender) return;
    reader.emplace("the reader", [&] {
      upload.answer();
      answered.store(true, std::memory_order_relaxed);
    });
    EXPECT_TRUE(eventually("block 2", answered));
  };
  TData none;
  upload.container.inWork(none, Upload::inUpload);
  reader.reset();

  std::string bytes;
  for (const TData& d : sent.values()) {
    EXPECT_EQ(d.StrValue.size(), 1u);
    bytes += d.StrValue;
  }
  EXPECT_TRUE(bytes == firmwareImage().substr(0, 512)) << bytes.size() << " bytes sent";
}

}  // namespace
