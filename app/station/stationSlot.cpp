#include "stationSlot.h"

#include <algorithm>
#include <cstdio>

#include "app/flash/consoleBoard.h"
#include "app/flash/host.h"
#include "app/station/stationHost.h"
#include "runtime/codepage.h"
#include "serial/portNames.h"
#include "serial/serialDevice.h"

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

// The modem lines a fixture can wire its "unit present" switch to.
struct TNamedLine {
  const char* name;
  uint32_t bit;
};
constexpr TNamedLine presenceLines[] = {{"DSR", serial::MsDsrOn},
                                        {"CTS", serial::MsCtsOn},
                                        {"DCD", serial::MsRlsdOn},
                                        {"RI", serial::MsRingOn}};

std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}
}  // namespace

std::optional<TRemovalRule> TRemovalRule::parse(const std::string& text, std::string& error) {
  TRemovalRule rule;
  const size_t equals = text.find('=');
  const std::string kind = text.substr(0, equals);
  const std::string value = equals == std::string::npos ? std::string() : text.substr(equals + 1);
  if (kind == "silence") {
    if (equals == std::string::npos) return rule;
    // From a reboot's fraction of a second to a minute.
    const bool digits = !value.empty() && value.size() <= 5 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    const long ms = digits ? std::stol(value) : 0;
    if (ms >= 200 && ms <= 60000) {
      rule.Silence = std::chrono::milliseconds(ms);
      return rule;
    }
    error = "the silence is 200 to 60000 ms, not " + value;
    return std::nullopt;
  }
  if (kind == "port" && equals == std::string::npos) {
    rule.Kind = TKind::PortGone;
    return rule;
  }
  if (kind == "key" && equals == std::string::npos) {
    rule.Kind = TKind::Key;
    return rule;
  }
  if (kind == "line") {
    for (const TNamedLine& line : presenceLines) {
      if (upper(value) == line.name) {
        rule.Kind = TKind::Line;
        rule.Line = line.bit;
        return rule;
      }
    }
    error = "the presence line is DSR, CTS, DCD or RI, not " + value;
    return std::nullopt;
  }
  error = "the removal rule is silence[=MS], port, line=DSR|CTS|DCD|RI or key, not " + text;
  return std::nullopt;
}

std::string TRemovalRule::lineName() const {
  for (const TNamedLine& line : presenceLines)
    if (line.bit == Line) return line.name;
  return {};
}

std::string TRemovalRule::text() const {
  switch (Kind) {
    case TKind::Silence:
      return "silence=" + std::to_string(Silence.count());
    case TKind::PortGone:
      return "port";
    case TKind::Line:
      return "line=" + lineName();
    case TKind::Key:
      return "key";
  }
  return {};
}

TStationSlot::TStationSlot(const std::string& name, TPortInfoSource& ports, TSerialSystem& serial,
                           TRemovalRule removal, char key, THolder holder)
    : name_(name),
      slot_(TSlotName::parse(name)),
      ports_(ports),
      removal_(removal),
      key_(key),
      holder_(std::move(holder)),
      held_(serial),
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
  if (leaving_ && !probesWhileLeaving()) {
    // Only the port's presence is looked at (the port rule), or nothing.
    nextProbe_ = now + quickPeriod;
    if (removal_.Kind == TRemovalRule::TKind::PortGone) resolvePort(now);
    return std::nullopt;
  }
  probePeriod_ = leaving_ || now < quickUntil_ ? unitPeriod_ : armingPeriod;
  nextProbe_ = now + probePeriod_;
  startProbe(now);
  return std::nullopt;
}

bool TStationSlot::resolvePort(Clock::time_point now) {
  // A slot named by its adapter follows it to whatever port it has now.
  std::string error;
  const std::vector<TPortInfo> listed =
      slot_.byIdentity() ? ports_.ports() : std::vector<TPortInfo>{};
  const std::optional<std::string> port = resolveSlot(slot_, listed, error);
  device_.clear();
  if (!port) {
    portLost(error, now);
    return false;
  }
  port_ = *port;
  const std::string device = canonicalDevice(port_);
  // Two slots on one device would flash one unit twice.
  if (const std::string other = holder_ ? holder_(device) : std::string(); !other.empty()) {
    fault(port_ + " is the port of slot " + other + ": not probed", now);
    return false;
  }
  device_ = device;
  if (!portPresent(port_)) {
    portLost("port gone", now);
    return false;
  }
  return true;
}

void TStationSlot::startProbe(Clock::time_point now) {
  if (!resolvePort(now)) return;
  schema_ = std::make_unique<TFlashSchema>(port_, nullptr, held_);
  attempt_ = TPortAttempt{};
  attempt_.started = now;
  phase_ = TPhase::Probing;
  schema_->selectPort();
  // The open ran on this thread, its reason is fresh.
  attempt_.openError = schema_->comPort.openError();
  if (removal_.Kind != TRemovalRule::TKind::Line || !schema_->comPort.opened()) return;
  // The fixture's switch tells whether a unit is on: none is not asked,
  // and one flashed stays until the switch drops.
  const bool present = (schema_->comPort.modemLines() & removal_.Line) != 0;
  if (present && !leaving_) return;
  endAttempt();
  if (state_ == TSlotState::PortGone) state_ = leaving_ ? outcomeState_ : TSlotState::Waiting;
  if (!present && leaving_) {
    unitGone(now);
    state_ = TSlotState::Waiting;
  }
}

TPortInfo TStationSlot::adapterNow() const {
  // Read afresh for each unit: adapters re-plugged since may have swapped
  // their port names.
  TPortInfo adapter;
  for (const TPortInfo& info : ports_.ports())
    if (canonicalDevice(info.Port) == device_) adapter = info;
  adapter.Port = port_;
  return adapter;
}

void TStationSlot::probeEnded(TFlashStage stage, bool arming, Clock::time_point now) {
  if (stage == TFlashStage::Found && !leaving_ && arming) {
    const TPortFacts facts = schema_->record.facts();
    unitLine_ = cp1251ToUtf8(facts.model + " " + facts.version);
    adapter_ = adapterNow();
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
    lastHeard_ = now;
    silentProbes_ = 0;
    return;
  }
  if (gone) return portLost("port gone", now);
  if (stage == TFlashStage::PortFailed) {
    // Busy or refused: shown, and tried again at the next probe.
    return fault("cannot open: " + openError, now);
  }
  if (state_ == TSlotState::PortGone || state_ == TSlotState::RemoveUnit)
    state_ = leaving_ ? outcomeState_ : TSlotState::Waiting;
  // Silent since it was last heard, probe after probe.
  ++silentProbes_;
  if (leaving_ && removal_.Kind == TRemovalRule::TKind::Silence && silentProbes_ >= 2 &&
      now - lastHeard_ >= removal_.Silence) {
    unitGone(now);
    state_ = TSlotState::Waiting;
  }
}

void TStationSlot::portLost(const std::string& why, Clock::time_point now) {
  // A unit that carries its own adapter took its port with it; on a
  // fixture, the port belongs to the slot.
  if (leaving_ && removal_.Kind == TRemovalRule::TKind::PortGone) unitGone(now);
  fault(why, now);
}

void TStationSlot::fault(const std::string& why, Clock::time_point now) {
  // Opened afresh when the slot can probe again.
  held_.release();
  state_ = TSlotState::PortGone;
  detail_ = why;
  // A slot that cannot look sees no silence.
  lastHeard_ = now;
  silentProbes_ = 0;
}

void TStationSlot::unitGone(Clock::time_point now) {
  leaving_ = false;
  silentProbes_ = 0;
  quickUntil_ = now + quickAfterGone;
}

bool TStationSlot::probesWhileLeaving() const {
  return removal_.Kind == TRemovalRule::TKind::Silence ||
         removal_.Kind == TRemovalRule::TKind::Line;
}

void TStationSlot::confirmRemoval() {
  if (!leaving_ || removal_.Kind != TRemovalRule::TKind::Key) return;
  unitGone(Clock::now());
  if (state_ != TSlotState::PortGone) state_ = TSlotState::Waiting;
}

TUnitRecord TStationSlot::attemptRecord() const {
  return {name_,
          units_,
          adapter_,
          portResult(*schema_, attempt_),
          wallTimeOf(schema_->outcome.changedAt()),
          removal_.text()};
}

TUnitRecord TStationSlot::unitEnded() {
  TUnitRecord record = attemptRecord();
  endAttempt();
  // An upload's end closes the port, as a single upload's does: the unit's
  // bootloader learns that the host is done with it (one that failed half
  // way would wait for the rest of its image). Waiting is what keeps it open.
  held_.release();
  const bool passed = record.Result.outcome == TPortOutcome::Done;
  (passed ? passed_ : failed_)++;
  state_ = passed ? TSlotState::Done : TSlotState::Failed;
  outcomeState_ = state_;
  lastUnit_ = unitText(record);
  leaving_ = true;
  // Its silence counts from its last answer, the outcome's.
  lastHeard_ = Clock::now();
  silentProbes_ = 0;
  nextProbe_ = lastHeard_;
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
  TUnitRecord record = attemptRecord();
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
      std::string text = "flashing " + unitLine_ + (slot_.byIdentity() ? " on " + port_ : "") +
                         "  " + std::to_string(blocks * 100 / TZKPortRecord::BlockCount) + " %";
      if (blocks > 0)
        text += "  " + clockText(seconds * (TZKPortRecord::BlockCount - blocks) / blocks) + " left";
      return text;
    }
    case TSlotState::Done:
    case TSlotState::Failed:
      return leaving_ ? lastUnit_ + "  " + leavingText(now) : lastUnit_;
    case TSlotState::RemoveUnit:
      return "remove the unit  (" + lastUnit_ + ")";
    case TSlotState::PortGone:
      return detail_;
  }
  return {};
}

std::string TStationSlot::leavingText(Clock::time_point now) const {
  switch (removal_.Kind) {
    case TRemovalRule::TKind::Silence: {
      // When the slot will take the fixture for empty: the next unit goes
      // on after that, not before.
      const double left =
          std::chrono::duration<double>(removal_.Silence - (now - lastHeard_)).count();
      char text[48];
      std::snprintf(text, sizeof text, "next unit in %.1f s", std::max(left, 0.0));
      return text;
    }
    case TRemovalRule::TKind::PortGone:
      return "remove the unit: waiting for its port to go";
    case TRemovalRule::TKind::Line:
      return "remove the unit: waiting for " + removal_.lineName() + " to drop";
    case TRemovalRule::TKind::Key:
      return std::string("remove the unit, then press ") + key_;
  }
  return {};
}
