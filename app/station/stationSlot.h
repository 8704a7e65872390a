// One slot of the station: a port, or an adapter named by its identity, on
// which units are flashed one after another, one pass each. Each probe and
// each upload runs in a command-line schema of its own, built for it and
// ended after it; the station's main thread moves every slot on (step).
//
// A slot waits for a unit (a probe a second, quicker for a while after a
// unit has gone), flashes it, tells the outcome, and then waits until the
// unit has gone: its port vanished, or two probes in a row got no identity
// answer. A unit that still answers after its outcome is never flashed
// again: the slot asks for its removal.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/flash/portResult.h"
#include "app/station/auditLog.h"
#include "serial/portInfo.h"

enum class TSlotState { Waiting, Flashing, Done, Failed, RemoveUnit, PortGone };

class TStationSlot {
 public:
  using Clock = std::chrono::steady_clock;

  TStationSlot(const std::string& name, TPortInfoSource& ports, TSerialSystem& serial);
  ~TStationSlot();
  TStationSlot(const TStationSlot&) = delete;
  TStationSlot& operator=(const TStationSlot&) = delete;

  // Moves the slot on; arming: whether it may start on a new unit. Returns
  // the record of a unit whose outcome has just been decided: the caller
  // keeps it before the next step, so no slot arms again with a unit
  // unrecorded.
  std::optional<TUnitRecord> step(Clock::time_point now, bool arming);
  // Ends an upload under way at once; its record (interrupted), if any.
  std::optional<TUnitRecord> interrupt();

  bool flashing() const { return phase_ == TPhase::Uploading; }
  TSlotState state() const { return state_; }
  const std::string& name() const { return name_; }
  // The port the slot is on now; empty before its first resolution.
  const std::string& port() const { return port_; }
  // The state as the screen tells it: "flashing QX1 1.00  45 %  0:21 left".
  std::string stateText(Clock::time_point now) const;
  int passed() const { return passed_; }
  int failed() const { return failed_; }

 private:
  enum class TPhase { Idle, Probing, Uploading };

  void startProbe(Clock::time_point now);
  void endAttempt();
  void probeEnded(TFlashStage stage, bool arming, Clock::time_point now);
  TUnitRecord unitEnded();
  void portLost(const std::string& why, Clock::time_point now);
  void unitGone(Clock::time_point now);

  const std::string name_;
  const TSlotName slot_;
  TPortInfoSource& ports_;
  TSerialSystem& serial_;
  std::unique_ptr<TFlashSchema> schema_;
  TPortAttempt attempt_;
  TPortInfo adapter_;
  std::string port_;
  TPhase phase_ = TPhase::Idle;
  TSlotState state_ = TSlotState::Waiting;
  std::string detail_;    // why the port is gone or cannot be opened
  std::string device_;    // the unit on the slot, as its line names it
  std::string lastUnit_;  // the last unit's outcome, as the screen tells it
  bool leaving_ = false;  // after an outcome, until the unit has gone
  int silentProbes_ = 0;
  int units_ = 0;
  int passed_ = 0;
  int failed_ = 0;
  Clock::time_point nextProbe_{};
  Clock::duration probePeriod_{};  // of the probe under way
  // The probe period while a unit leaves, and until quickUntil_ after it
  // has gone, when the next one is due.
  Clock::duration unitPeriod_{};
  Clock::time_point quickUntil_{};
  Clock::time_point uploadStarted_{};
};
