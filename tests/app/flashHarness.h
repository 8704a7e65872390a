// The uploader's schema against a simulated device, recording what is shown.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/flash/flashSchema.h"
#include "app/probeSchema.h"
#include "app/uploadSchema.h"
#include "runtime/link.h"
#include "runtime/startList.h"
#include "runtime/zkHub.h"
#include "support/boundedWait.h"
#include "support/firmwareImage.h"
#include "support/recorder.h"
#include "support/simulatedDevice.h"
#include "support/testFiles.h"

// A console board drawing into a scratch file.
struct TScratchBoard {
  std::FILE* file = std::tmpfile();
  TConsoleBoard board{file, file, false};
  ~TScratchBoard() {
    board.close();  // its drawing thread writes to the file until it ends
    std::fclose(file);
  }
};

class FlashHarness {
  using Probe = TClassMultiElementEx_21686E0;
  using Upload = TClassMultiElementEx_2168BB0;

 public:
  // port: the port to choose; empty: the simulator's.
  explicit FlashHarness(devsim::SimulatorOptions options, const std::string& port = {})
      : simulator(std::move(options)) {
    flash =
        std::make_unique<TFlashSchema>(port.empty() ? simulator.portPath() : port, &console.board);
    flash->progress.attach(console.board, "");
    tap(progressFan, flash->upload.outEvent[Upload::outProgress], progressSeen, true);
    tap(doneFan, flash->upload.outEvent[Upload::outDone], done, true);
    tap(errorFan, flash->upload.outEvent[Upload::outError], errors, true);
    tap(messageFan, flash->probe.outEvent[Probe::outMessage], messages, false);
    dispatch.emplace();
    runStartProcs();
  }
  ~FlashHarness() {
    flash->stop();
    dispatch.reset();
    flash.reset();
  }

  // Chooses the port and waits for the probe.
  TFlashStage probe() {
    flash->selectPort();
    const TFlashStage stage = flash->outcome.waitPast(TFlashStage::Probing, std::chrono::seconds(5),
                                                      [] { return false; });
    // Every probe ends with a status message, which may follow the outcome.
    EXPECT_TRUE(
        eventually("the probe's status message", [&] { return !messages.values().empty(); }));
    return stage;
  }
  // Presses "write" and waits for the transfer's outcome.
  TFlashStage upload() {
    flash->startUpload();
    return flash->outcome.waitPast(TFlashStage::Found, std::chrono::seconds(60),
                                   [] { return false; });
  }

  // What the status line printed, UTF-8.
  std::string statusText() {
    EXPECT_TRUE(console.board.flush(std::chrono::seconds(5)))
        << "the console output was not written";
    std::fflush(console.file);
    return fileText("/proc/self/fd/" + std::to_string(::fileno(console.file)));
  }
  std::vector<int32_t> progress() const {
    std::vector<int32_t> values;
    for (const TData& d : progressSeen.values()) values.push_back(toInteger(d));
    return values;
  }
  size_t doneCount() const { return done.values().size(); }
  size_t errorCount() const { return errors.values().size(); }
  TSimulatedDevice& device() { return simulator; }
  TFlashSchema& schema() { return *flash; }

 private:
  // Puts a recorder before an output's receiver (a test woken by the receiver
  // finds the event recorded) or after it (one woken by the recorder finds the
  // receiver's work done).
  static void tap(TZKHub& fan, TEventLink& output, TSharedRecorder& recorder, bool first) {
    fan.setOutCount(2);
    fan.outEvent[first ? 0 : 1] = recorder.link();
    fan.outEvent[first ? 1 : 0] = output;
    output = makeEventLink<&TZKHub::inWork>(&fan);
  }

  TSimulatedDevice simulator;
  TScratchBoard console;
  std::unique_ptr<TFlashSchema> flash;
  TSharedRecorder progressSeen, done, errors, messages;
  TZKHub progressFan, doneFan, errorFan, messageFan;
  std::optional<TDispatchScope> dispatch;
};
