// One slot of the station: a port, or an adapter named by its identity, on
// which units are flashed one after another, one pass each. Each probe and
// each upload runs in a command-line schema of its own, built for it and
// ended after it, on the port the slot keeps open between them (heldPort.h);
// the station's main thread moves every slot on (step).
//
// A slot waits for a unit (a probe a second, quicker for a while after a
// unit has gone), flashes it, tells the outcome, and then waits for the
// evidence, by the operator's removal rule, that the unit has gone. A unit
// found again before that is the same unit, never flashed again: the slot
// asks for its removal.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/flash/portResult.h"
#include "app/station/auditLog.h"
#include "app/station/heldPort.h"
#include "serial/portInfo.h"

enum class TSlotState { Waiting, Flashing, Done, Failed, RemoveUnit, PortGone };

// What tells a slot that the unit it has flashed is off the fixture.
struct TRemovalRule {
  enum class TKind {
    // No answer to any probe for a while: long enough for a unit that
    // reboots into its bootloader after its new firmware started, shorter
    // than an operator's swap leaves the fixture empty.
    Silence,
    PortGone,  // the unit carries its own adapter: its port goes with it
    Line,      // the fixture's "unit present" switch on a modem line drops
    Key,       // the operator presses the slot's key
  };
  static constexpr std::chrono::milliseconds DefaultSilence{2000};

  TKind Kind = TKind::Silence;
  std::chrono::milliseconds Silence = DefaultSilence;
  uint32_t Line = 0;  // serial::Ms*On bit

  // "silence", "silence=MS", "port", "line=DSR" (CTS, DCD, RI), "key";
  // nothing with error set when the text is none of these.
  static std::optional<TRemovalRule> parse(const std::string& text, std::string& error);
  // As parse takes it, the silence always with its time: "silence=2000".
  std::string text() const;
  // The line's name: "DSR".
  std::string lineName() const;
};

class TStationSlot {
 public:
  using Clock = std::chrono::steady_clock;

  // Tells which other slot holds a device; empty when none does.
  using THolder = std::function<std::string(const std::string& device)>;

  TStationSlot(const std::string& name, TPortInfoSource& ports, TSerialSystem& serial,
               TRemovalRule removal = {}, char key = 0, THolder holder = {});
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
  // The operator's key for this slot: with the key rule, the unit is off.
  void confirmRemoval();

  bool flashing() const { return phase_ == TPhase::Uploading; }
  TSlotState state() const { return state_; }
  const std::string& name() const { return name_; }
  // The port the slot is on now; empty before its first resolution.
  const std::string& port() const { return port_; }
  // The device the slot holds (one name per device); empty while none.
  const std::string& device() const { return device_; }
  char key() const { return key_; }
  // The state as the screen tells it: "flashing QX1 1.00  45 %  0:21 left".
  std::string stateText(Clock::time_point now) const;
  int passed() const { return passed_; }
  int failed() const { return failed_; }

 private:
  enum class TPhase { Idle, Probing, Uploading };

  // Finds the slot's port and device; false (and the slot's fault shown)
  // when it cannot be probed now.
  bool resolvePort(Clock::time_point now);
  void startProbe(Clock::time_point now);
  TPortInfo adapterNow() const;
  void fault(const std::string& why, Clock::time_point now);
  void endAttempt();
  void probeEnded(TFlashStage stage, bool arming, Clock::time_point now);
  // The record of the attempt under way, as it stands.
  TUnitRecord attemptRecord() const;
  TUnitRecord unitEnded();
  void portLost(const std::string& why, Clock::time_point now);
  void unitGone(Clock::time_point now);
  // Whether the removal rule asks for probes while the unit leaves.
  bool probesWhileLeaving() const;
  // Until the rule sees the unit go: what the slot waits for.
  std::string leavingText(Clock::time_point now) const;

  const std::string name_;
  const TSlotName slot_;
  TPortInfoSource& ports_;
  const TRemovalRule removal_;
  const char key_;
  const THolder holder_;
  // The port, open from one probe to the next; its schemas go before it.
  THeldPort held_;
  std::unique_ptr<TFlashSchema> schema_;
  TPortAttempt attempt_;
  TPortInfo adapter_;
  std::string port_;
  std::string device_;  // port_'s device, while the slot holds it
  TPhase phase_ = TPhase::Idle;
  TSlotState state_ = TSlotState::Waiting;
  TSlotState outcomeState_ = TSlotState::Waiting;  // the last unit's: Done or Failed
  std::string detail_;                             // why the port is gone or cannot be opened
  std::string unitLine_;                           // the unit on the slot, as its line names it
  std::string lastUnit_;  // the last unit's outcome, as the screen tells it
  bool leaving_ = false;  // after an outcome, until the unit has gone
  // While leaving: when the unit was last known on (it answered, or the
  // slot could not look); with the silence rule, its silence since then.
  Clock::time_point lastHeard_{};
  int silentProbes_ = 0;  // since lastHeard_
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
