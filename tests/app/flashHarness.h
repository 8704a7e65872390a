// The command-line uploader's schema running against the simulated device
// over a pty pair: real serial backend, real timer, real schemas. Records
// what the operator would see.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/flash/flashSchema.h"
#include "runtime/zkHub.h"
#include "support/recorder.h"
#include "tools/devsim/deviceSimulator.h"

// Thread-safe recorder: events arrive on the reader and timer threads.
struct TSharedRecorder {
  mutable std::mutex lock;
  std::vector<TData> received;

  void inWork(TData& d, uint16_t) {
    std::lock_guard guard(lock);
    received.push_back(d);
  }
  TEventLink link() { return makeEventLink<&TSharedRecorder::inWork>(this); }
  std::vector<TData> values() const {
    std::lock_guard guard(lock);
    return received;
  }
};

class FlashHarness {
 public:
  // port: the port to choose; empty: the simulator's.
  explicit FlashHarness(devsim::SimulatorOptions options, const std::string& port = {});
  ~FlashHarness();

  // Chooses the port and waits for the probe.
  TFlashStage probe();
  // Presses "write" and waits for the transfer's outcome.
  TFlashStage upload(std::chrono::milliseconds limit = std::chrono::seconds(60));
  // Waits until the simulator's session has ended (or the limit passed).
  devsim::SessionOutcome deviceOutcome(std::chrono::milliseconds limit = std::chrono::seconds(10));

  std::string statusText() const;  // what the status line printed, UTF-8
  std::vector<int32_t> progress() const;
  size_t doneCount() const { return done.values().size(); }
  size_t errorCount() const { return errors.values().size(); }
  devsim::DeviceSimulator& device() { return *simulator; }
  TFlashSchema& schema() { return *flash; }

 private:
  std::unique_ptr<devsim::DeviceSimulator> simulator;
  std::FILE* statusFile = nullptr;
  std::unique_ptr<TConsoleBoard> board;
  std::unique_ptr<TFlashSchema> flash;
  TSharedRecorder progressSeen, done, errors, messages;
  TZKHub progressFan, doneFan, errorFan, messageFan;
};

// The embedded image, as the program carries it.
std::string firmwareImage();
