#include "flashHarness.h"

#include "app/probeSchema.h"
#include "app/uploadSchema.h"
#include "runtime/link.h"
#include "runtime/startList.h"

#include <thread>

using Probe = TClassMultiElementEx_21686E0;
using Upload = TClassMultiElementEx_2168BB0;

namespace {
auto never() {
  return [] { return false; };
}

// Puts a recorder beside an existing output's receiver: in front of it when
// a test is woken by that receiver and must find the event recorded, behind
// it when a test waits for the recorder and must find the receiver's work
// done.
enum class TRecord { First, Last };
void tap(TZKHub& fan, TEventLink& output, TSharedRecorder& recorder, TRecord when) {
  fan.setOutCount(2);
  fan.outEvent[when == TRecord::First ? 0 : 1] = recorder.link();
  fan.outEvent[when == TRecord::First ? 1 : 0] = output;
  output = makeEventLink<&TZKHub::inWork>(&fan);
}
}  // namespace

FlashHarness::FlashHarness(devsim::SimulatorOptions options, const std::string& port)
    : simulator(std::move(options)) {
  statusFile = std::tmpfile();
  board = std::make_unique<TConsoleBoard>(statusFile, statusFile, false);
  flash = std::make_unique<TFlashSchema>(port.empty() ? simulator.portPath() : port, board.get());
  flash->progress.attach(*board, "");
  tap(progressFan, flash->upload.outEvent[Upload::outProgress], progressSeen, TRecord::First);
  tap(doneFan, flash->upload.outEvent[Upload::outDone], done, TRecord::First);
  tap(errorFan, flash->upload.outEvent[Upload::outError], errors, TRecord::First);
  tap(messageFan, flash->probe.outEvent[Probe::outMessage], messages, TRecord::Last);
  dispatch.emplace();
  runStartProcs();
}

FlashHarness::~FlashHarness() {
  flash->stop();
  dispatch.reset();
  flash.reset();
  board.reset();  // its drawing thread writes to the file until it ends
  std::fclose(statusFile);
}

TFlashStage FlashHarness::probe() {
  flash->selectPort();
  const TFlashStage stage =
      flash->outcome.waitPast(TFlashStage::Probing, std::chrono::seconds(5), never());
  // The status message may follow the outcome (no device: the failure event
  // comes first); every probe ends with one.
  EXPECT_TRUE(eventually("the probe's status message", [&] { return !messages.values().empty(); }));
  return stage;
}

TFlashStage FlashHarness::upload(std::chrono::milliseconds limit) {
  flash->startUpload();
  return flash->outcome.waitPast(TFlashStage::Found, limit, never());
}

testing::AssertionResult FlashHarness::waitForOutcome() {
  return eventually(
      "the upload's outcome", [&] { return doneCount() + errorCount() > 0; },
      std::chrono::seconds(10));
}

std::string FlashHarness::statusText() const {
  EXPECT_TRUE(board->flush(std::chrono::seconds(5))) << "the console output was not written";
  std::fflush(statusFile);
  std::rewind(statusFile);
  std::string text;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, statusFile)) > 0) text.append(buffer, n);
  std::fseek(statusFile, 0, SEEK_END);
  return text;
}

std::vector<int32_t> FlashHarness::progress() const {
  std::vector<int32_t> values;
  for (const TData& d : progressSeen.values()) values.push_back(toInteger(d));
  return values;
}
