// The command-line uploader's schema running against the simulated device
// over a pty pair: real serial backend, real timer, real schemas. Records
// what the operator would see.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/flash/flashSchema.h"
#include "runtime/zkHub.h"
#include "support/boundedWait.h"
#include "support/firmwareImage.h"
#include "support/recorder.h"
#include "support/sharedRecorder.h"
#include "support/simulatedDevice.h"

class FlashHarness {
 public:
  // port: the port to choose; empty: the simulator's.
  explicit FlashHarness(devsim::SimulatorOptions options, const std::string& port = {});
  ~FlashHarness();

  // Chooses the port and waits for the probe.
  TFlashStage probe();
  // Presses "write" and waits for the transfer's outcome.
  TFlashStage upload(std::chrono::milliseconds limit = std::chrono::seconds(60));
  // Waits until the upload reported done or an error; false after 10 s.
  testing::AssertionResult waitForOutcome();

  std::string statusText() const;  // what the status line printed, UTF-8
  std::vector<int32_t> progress() const;
  size_t doneCount() const { return done.values().size(); }
  size_t errorCount() const { return errors.values().size(); }
  TSimulatedDevice& device() { return simulator; }
  TFlashSchema& schema() { return *flash; }

 private:
  TSimulatedDevice simulator;
  std::FILE* statusFile = nullptr;
  std::unique_ptr<TConsoleBoard> board;
  std::unique_ptr<TFlashSchema> flash;
  TSharedRecorder progressSeen, done, errors, messages;
  TZKHub progressFan, doneFan, errorFan, messageFan;
  std::optional<TDispatchScope> dispatch;
};
