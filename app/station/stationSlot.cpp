#include "stationSlot.h"

#include <algorithm>
#include <cstdio>

#include "app/flash/consoleBoard.h"
#include "app/flash/host.h"
#include "runtime/codepage.h"
#include "serial/portNames.h"

namespace {
using namespace std::chrono_literals;

// While waiting for a unit: one probe a second, as the operator's fixture
// can take. While a unit leaves, and for a while after it has gone, when
// the next one is due, quicker: the slot sees a unit go and the next one
// come within an operator's swap. Each probe gets most of its period for
// the answer.
constexpr std::chrono::milliseconds armingPeriod = 1000ms;
constexpr std::chrono::milliseconds quickPeriod = 200ms;
constexpr std::chrono::seconds quickAfterGone{10};
// The upload's watchdog reports silence within seconds; this only bounds a
// wait that something unforeseen would otherwise make endless.
constexpr std::chrono::hours uploadLimit{1};

TStationSlot::Clock::duration answerWindow(TStationSlot::Clock::duration period) {
  return period * 4 / 5;
}

// "unit 3 done 34.2 s", "unit 4 failed: block 100: expected ...".
std::string unitText(const TUnitRecord& record) {
  const TPortResult& result = record.Result;
  return "unit " + std::to_string(record.Unit) + " " + outcomeWord(result.outcome) +
         (result.detail.empty() ? " " + secondsText(result.seconds) : ": " + result.detail);
}

std::string clockText(double seconds) {
  const int whole = static_cast<int>(seconds + 0.5);
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
  return text;
}
}  // namespace

TStationSlot::TStationSlot(const std::string& name, TPortInfoSource& ports, TSerialSystem& serial)
    : name_(name),
      slot_(TSlotName::parse(name)),
      ports_(ports),
      serial_(serial),
      unitPeriod_(quickPeriod) {}

TStationSlot::~TStationSlot() { endAttempt(); }

std::optional<TUnitRecord> TStationSlot::step(Clock::time_point now, bool arming) {
  if (phase_ == TPhase::Uploading) {
    TZKFlashOutcome& outcome = schema_->outcome;
    if (now - uploadStarted_ > uploadLimit)
      outcome.decide(TFlashStage::Found, TFlashStage::TransferError);
    // A unit whose port has gone is not waited for: the next one may come
    // sooner than the watchdog would tell.
    if (now >= nextProbe_) {
      nextProbe_ = now + quickPeriod;
      if (!portPresent(port_) && outcome.decide(TFlashStage::Found, TFlashStage::TransferError))
        attempt_.vanishedWhileUploading = true;
    }
    const TFlashStage stage = outcome.stage();
    if (stage == TFlashStage::Done || stage == TFlashStage::TransferError) return unitEnded();
    return std::nullopt;
  }
  if (phase_ == TPhase::Probing) {
    if (now - attempt_.started >= answerWindow(probePeriod_))
      schema_->outcome.decide(TFlashStage::Probing, TFlashStage::NoDevice);
    const TFlashStage stage = schema_->outcome.stage();
    if (stage != TFlashStage::Probing) probeEnded(stage, arming, now);
    return std::nullopt;
  }
  // A station that no longer arms sends nothing more to a slot at rest.
  if (now < nextProbe_ || (!arming && !leaving_)) return std::nullopt;
  probePeriod_ = leaving_ || now < quickUntil_ ? unitPeriod_ : armingPeriod;
  nextProbe_ = now + probePeriod_;
  startProbe(now);
  return std::nullopt;
}

void TStationSlot::startProbe(Clock::time_point now) {
  // A slot named by its adapter follows it to whatever port it has now.
  std::string error;
  const std::vector<TPortInfo> listed =
      slot_.byIdentity() ? ports_.ports() : std::vector<TPortInfo>{};
  const std::optional<std::string> port = resolveSlot(slot_, listed, error);
  if (!port) return portLost(error, now);
  if (*port != port_) {
    port_ = *port;
    adapter_ = TPortInfo{};
  }
  if (!portPresent(port_)) return portLost("port gone", now);
  if (adapter_.Port.empty()) {
    const std::vector<TPortInfo> known = slot_.byIdentity() ? listed : ports_.ports();
    for (const TPortInfo& info : known)
      if (info.Port == port_ || devicePath(info.Port) == port_) adapter_ = info;
    adapter_.Port = port_;
  }
  schema_ = std::make_unique<TFlashSchema>(port_, nullptr, serial_);
  attempt_ = TPortAttempt{};
  attempt_.started = now;
  phase_ = TPhase::Probing;
  schema_->selectPort();
  // The open ran on this thread, its reason is fresh.
  attempt_.openError = schema_->comPort.openError();
}

void TStationSlot::probeEnded(TFlashStage stage, bool arming, Clock::time_point now) {
  if (stage == TFlashStage::Found && !leaving_ && arming) {
    const TPortFacts facts = schema_->record.facts();
    device_ = cp1251ToUtf8(facts.model + " " + facts.version);
    // Whether it has gone is asked with at least twice the time it took to
    // answer now: a slow unit still on is not taken for gone.
    unitPeriod_ = std::max<Clock::duration>(quickPeriod, (now - attempt_.started) * 5 / 2);
    ++units_;
    phase_ = TPhase::Uploading;
    state_ = TSlotState::Flashing;
    attempt_.uploading = true;
    uploadStarted_ = now;
    nextProbe_ = now + quickPeriod;
    schema_->startUpload();
    return;
  }
  const bool gone = stage == TFlashStage::PortFailed && !portPresent(port_);
  const std::string openError = attempt_.openError;
  endAttempt();
  if (stage == TFlashStage::Found) {
    // Still there after its outcome: the same unit, never flashed twice.
    if (leaving_) state_ = TSlotState::RemoveUnit;
    silentProbes_ = 0;
    return;
  }
  if (gone) return portLost("port gone", now);
  if (stage == TFlashStage::PortFailed) {
    // Busy or refused: shown, and tried again at the next probe.
    state_ = TSlotState::PortGone;
    detail_ = "cannot open: " + openError;
    return;
  }
  if (state_ == TSlotState::PortGone) state_ = TSlotState::Waiting;
  if (leaving_ && ++silentProbes_ >= 2) {
    unitGone(now);
    state_ = TSlotState::Waiting;
  }
}

void TStationSlot::portLost(const std::string& why, Clock::time_point now) {
  // A port that has gone took its unit with it.
  if (leaving_) unitGone(now);
  state_ = TSlotState::PortGone;
  detail_ = why;
}

void TStationSlot::unitGone(Clock::time_point now) {
  leaving_ = false;
  silentProbes_ = 0;
  quickUntil_ = now + quickAfterGone;
}

TUnitRecord TStationSlot::unitEnded() {
  TUnitRecord record{name_, units_, adapter_, portResult(*schema_, attempt_),
                     wallTimeOf(schema_->outcome.changedAt())};
  endAttempt();
  const bool passed = record.Result.outcome == TPortOutcome::Done;
  (passed ? passed_ : failed_)++;
  state_ = passed ? TSlotState::Done : TSlotState::Failed;
  lastUnit_ = unitText(record);
  leaving_ = true;
  silentProbes_ = 0;
  nextProbe_ = Clock::now() + quickPeriod;
  return record;
}

std::optional<TUnitRecord> TStationSlot::interrupt() {
  if (phase_ != TPhase::Uploading) {
    endAttempt();
    return std::nullopt;
  }
  schema_->outcome.decide(TFlashStage::Found, TFlashStage::Interrupted);
  // Closed first, so the record tells the blocks that were acknowledged.
  schema_->stop();
  TUnitRecord record{name_, units_, adapter_, portResult(*schema_, attempt_),
                     wallTimeOf(schema_->outcome.changedAt())};
  endAttempt();
  state_ = TSlotState::Failed;
  lastUnit_ = unitText(record);
  return record;
}

void TStationSlot::endAttempt() {
  phase_ = TPhase::Idle;
  if (schema_ == nullptr) return;
  // Nothing fires into the schema once its port is closed and its
  // watchdog stopped; it can go while other slots run.
  schema_->stop();
  schema_.reset();
}

std::string TStationSlot::stateText(Clock::time_point now) const {
  switch (state_) {
    case TSlotState::Waiting:
      return lastUnit_.empty() ? "waiting" : "waiting  (last: " + lastUnit_ + ")";
    case TSlotState::Flashing: {
      const int32_t blocks = phase_ == TPhase::Uploading ? schema_->record.facts().acknowledged : 0;
      const double seconds = std::chrono::duration<double>(now - uploadStarted_).count();
      // A slot named by its adapter tells which port that is now.
      std::string text = "flashing " + device_ + (slot_.byIdentity() ? " on " + port_ : "") + "  " +
                         std::to_string(blocks * 100 / TZKPortRecord::BlockCount) + " %";
      if (blocks > 0)
        text += "  " + clockText(seconds * (TZKPortRecord::BlockCount - blocks) / blocks) + " left";
      return text;
    }
    case TSlotState::Done:
    case TSlotState::Failed:
      return lastUnit_;
    case TSlotState::RemoveUnit:
      return "remove the unit  (" + lastUnit_ + ")";
    case TSlotState::PortGone:
      return detail_;
  }
  return {};
}
