// One run of quilmatronx-flash over its ports: one schema per port, every
// port probed at once, an upload to each device found, and what happened on
// every port. Builds the schemas on construction, so the caller switches
// dispatch on afterwards. Each port's part ends on a thread of its own as
// soon as its outcome is decided, so the ports close side by side;
// waitForClose() and the destructor wait for those ends, after which the
// schemas can be destroyed while dispatch is still on.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/flash/consoleBoard.h"
#include "app/flash/flashReport.h"
#include "app/flash/flashSchema.h"
#include "serial/trace/tracedSerial.h"

struct TFlashRunOptions {
  std::vector<std::string> ports;
  bool probeOnly = false;
  TConsoleBoard* board = nullptr;   // null: the run prints nothing
  TTraceFile* trace = nullptr;      // null: no trace
  TSerialSystem* serial = nullptr;  // null: the platform's
  bool byteWrites = false;          // one write per image byte instead of per block
};

// A device that has not answered "VERS" within this time is absent.
inline constexpr std::chrono::milliseconds probeTimeout{3000};
// After an interrupt the ports' ends are given this long, all together.
inline constexpr std::chrono::milliseconds interruptedEndLimit{2000};

// How many times the run has been interrupted so far (Ctrl-C, SIGTERM).
using TInterrupts = std::function<int()>;

class TFlashRun {
 public:
  explicit TFlashRun(TFlashRunOptions options);
  ~TFlashRun();
  TFlashRun(const TFlashRun&) = delete;
  TFlashRun& operator=(const TFlashRun&) = delete;

  // Runs until every port has its outcome or the run is interrupted; the
  // ports still open then are marked interrupted. Results in port order.
  std::vector<TPortResult> run(const TInterrupts& interrupts);
  // Waits for every port's end. After an interrupt the wait gives up when
  // interruptedEndLimit has passed or at a second interrupt: false then,
  // and the ports' threads are still running, so the process must end
  // without destroying this run.
  bool waitForClose(const TInterrupts& interrupts);

 private:
  struct TPort;

  // Moves one port on; true once its outcome is decided.
  bool advance(TPort& port);
  void announce(TPort& port, TFlashStage stage);
  void stop(TPort& port);
  TPortResult result(const TPort& port) const;

  const TFlashRunOptions options_;
  std::unique_ptr<TTracedSerialSystem> tracedSerial_;  // with a trace
  std::vector<std::unique_ptr<TPort>> ports_;
};
