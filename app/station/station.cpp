#include "station.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <thread>

#include "app/flash/host.h"
#include "app/station/stationHost.h"
#include "runtime/systemSeams.h"

namespace {
using Clock = TStationSlot::Clock;
constexpr std::chrono::milliseconds pollPeriod{20};
// With --all, how often the station looks for ports that have appeared.
constexpr std::chrono::seconds scanPeriod{1};
// A record not on the disk this long after its outcome fails the log. Short
// enough that an end Windows gives 5 s (a console's close) still has the
// records synced or told on standard error.
constexpr std::chrono::seconds logDeadline{3};

std::string counts(int passed, int failed) {
  return std::to_string(passed) + " passed  " + std::to_string(failed) + " failed";
}

// Done green, failed red, what waits for the operator's hand yellow.
TTextColour stateColour(TSlotState state) {
  switch (state) {
    case TSlotState::Done:
      return TTextColour::Green;
    case TSlotState::Failed:
      return TTextColour::Red;
    case TSlotState::RemoveUnit:
    case TSlotState::PortGone:
      return TTextColour::Yellow;
    default:
      return TTextColour::Plain;
  }
}
// The operator's keys for the slots, in their order.
constexpr std::string_view slotKeys = "123456789abcdefghijklmnopqrstuvwxyz";
}  // namespace

char slotKey(size_t index) { return index < slotKeys.size() ? slotKeys[index] : '\0'; }

TStation::TStation(TStationOptions options)
    : options_(std::move(options)),
      portInfo_(options_.portInfo != nullptr ? *options_.portInfo : platformPortInfo()),
      serial_(options_.serial != nullptr ? *options_.serial : platformSerialSystem()),
      host_(hostName()) {
  for (const std::string& name : options_.slots) addSlot(name);
}

TStation::~TStation() {
  // Each slot closes its port and stops its watchdog before it goes.
  slots_.clear();
}

bool TStation::checkSlots(std::string& error) const {
  if (options_.removal.Kind == TRemovalRule::TKind::Key &&
      options_.slots.size() > slotKeys.size()) {
    error = "the key rule has keys for " + std::to_string(slotKeys.size()) + " slots";
    return false;
  }
  std::map<std::string, std::string> named;
  const std::vector<TPortInfo> adapters = portInfo_.ports();
  for (const std::string& name : options_.slots) {
    // An adapter not plugged in yet is checked when it comes.
    std::string unresolved;
    const std::optional<std::string> port =
        resolveSlot(TSlotName::parse(name), adapters, unresolved);
    if (!port) continue;
    const std::string device = canonicalDevice(*port);
    const auto [at, added] = named.emplace(device, name);
    if (!added) {
      error = "slots " + at->second + " and " + name + " are one port, " + device;
      return false;
    }
  }
  return true;
}

bool TStation::openLog(std::string& error) {
  if (options_.logPath.empty()) return true;
  TRecordSink* sink = options_.logSink;
  if (sink == nullptr) {
    file_ = std::make_unique<TAppendFile>();
    if (!file_->open(options_.logPath, error)) {
      error = "cannot write the log " + options_.logPath + ": " + error;
      return false;
    }
    sink = file_.get();
  }
  log_ = std::make_unique<TAuditLog>(*sink, logDeadline);
  return true;
}

void TStation::addSlot(const std::string& name) {
  TSlotLine line;
  const size_t index = slots_.size();
  // The first slot on a device holds it; another one is shown a fault.
  const auto holder = [this, index](const std::string& device) {
    for (size_t other = 0; other < slots_.size(); ++other)
      if (other != index && slots_[other].slot->device() == device)
        return slots_[other].slot->name();
    return std::string();
  };
  line.slot = std::make_unique<TStationSlot>(name, portInfo_, serial_, options_.removal,
                                             slotKey(index), holder);
  width_ = std::max(width_, textWidth(name));
  if (options_.board != nullptr && options_.board->live()) {
    // The totals stay the last line.
    if (slots_.empty()) {
      line.row = options_.board->addRow();
      totalsRow_ = options_.board->addRow();
    } else {
      line.row = totalsRow_;
      totalsRow_ = options_.board->addRow();
    }
  }
  slots_.push_back(std::move(line));
}

void TStation::scanPorts(Clock::time_point now) {
  nextScan_ = now + scanPeriod;
  // Listed without opening: only a name seen for the first time is opened,
  // once, to tell a port that works from one that only has a name. A
  // Bluetooth port's open blocks the loop for seconds: it is never armed.
  for (const TListedPort& listed : serial_.systemPorts()) {
    const std::string& port = listed.Name;
    if (!portsSeen_.insert(port).second || listed.Bluetooth) continue;
    const std::string device = canonicalDevice(port);
    const bool known = std::any_of(slots_.begin(), slots_.end(), [&](const TSlotLine& line) {
      return line.slot->name() == port || line.slot->device() == device;
    });
    // With the key rule, a slot past the last key could never be told its
    // unit is off.
    const bool keyless =
        options_.removal.Kind == TRemovalRule::TKind::Key && slotKey(slots_.size()) == '\0';
    std::string error;
    if (known || keyless || !serial_.createDevice()->open(port, error)) continue;
    addSlot(port);
    if (options_.board != nullptr && !options_.board->live())
      options_.board->print(options_.board->err(), port + ": port appeared, armed");
  }
}

void TStation::keep(TSlotLine& line, const TUnitRecord& record) {
  if (log_ == nullptr) return;
  line.record = log_->add(unitRecordLine(record, host_));
  checkLog();
}

void TStation::checkLog() {
  if (log_ == nullptr) return;
  std::vector<std::string> unwritten;
  const std::string failure = log_->check(unwritten);
  const bool failedNow = !failure.empty() && logError_.empty();
  if (failedNow) logError_ = "cannot write the log " + options_.logPath + ": " + failure;
  TConsoleBoard* board = options_.board;
  if (board == nullptr) return;
  if (failedNow)
    board->print(board->err(),
                 "quilmatronx-flash: " + logError_ + "; the station flashes nothing more");
  // Not lost: the records go to standard error instead.
  for (const std::string& line : unwritten)
    board->print(board->err(), "unrecorded: " + line.substr(0, line.size() - 1));
}

TStationExit TStation::run(const std::function<int()>& stops) {
  // Serial traffic is no activity to the system: a shift is kept from idle
  // sleep while the station runs.
  const TAwakeHold awake;
  started_ = Clock::now();
  bool stopping = false;
  bool ended = false;
  while (true) {
    const Clock::time_point now = Clock::now();
    const int pressed = stops();
    if (options_.keys) {
      for (const char key : options_.keys())
        for (TSlotLine& line : slots_)
          if (line.slot->key() == std::tolower(static_cast<unsigned char>(key)))
            line.slot->confirmRemoval();
    }
    if (pressed >= 2) {
      for (TSlotLine& line : slots_)
        if (auto record = line.slot->interrupt()) keep(line, *record);
      ended = true;
      break;
    }
    if (pressed == 1 && !stopping && options_.board != nullptr) {
      options_.board->print(options_.board->err(),
                            "stopping: units under way finish; Ctrl-C again ends them at once");
    }
    stopping = pressed > 0 || !logError_.empty();
    if (options_.all && !stopping && now >= nextScan_) scanPorts(now);
    bool flashing = false;
    for (TSlotLine& line : slots_) {
      // A failed log stops the arming of every slot at once, also of those
      // later in this pass; a slot arms once its last record is written.
      checkLog();
      const bool arming =
          !stopping && logError_.empty() && (log_ == nullptr || log_->written(line.record));
      if (auto record = line.slot->step(now, arming)) keep(line, *record);
      flashing = flashing || line.slot->flashing();
    }
    setBusy(flashing);
    show(now);
    if (stopping && !flashing) break;
    std::this_thread::sleep_for(pollPeriod);
  }
  if (log_ != nullptr) {
    // Every record on the disk, or told on standard error, before the end.
    log_->settle();
    checkLog();
    logEnded_ = log_->stop();
  }
  setBusy(false);
  show(Clock::now());
  int failed = 0;
  for (const TSlotLine& line : slots_) failed += line.slot->failed();
  if (options_.board != nullptr) {
    options_.board->close();
    options_.board->print(options_.board->out(), totals(Clock::now()));
  }
  if (ended) return StationInterrupted;
  if (!logError_.empty()) return StationLogFailed;
  return failed > 0 ? StationUnitFailed : StationNoFailure;
}

std::string TStation::totals(Clock::time_point now) const {
  int passed = 0, failed = 0;
  for (const TSlotLine& line : slots_) {
    passed += line.slot->passed();
    failed += line.slot->failed();
  }
  const double hours = std::chrono::duration<double>(now - started_).count() / 3600;
  char figures[64];
  std::snprintf(figures, sizeof figures, "yield %.1f %%  %.0f units/h",
                passed + failed > 0 ? 100.0 * passed / (passed + failed) : 0.0,
                hours > 0 ? (passed + failed) / hours : 0.0);
  return padded("total", width_ + 2) + counts(passed, failed) + "  " + figures;
}

void TStation::show(Clock::time_point now) {
  TConsoleBoard* board = options_.board;
  if (board == nullptr) return;
  for (TSlotLine& line : slots_) {
    const TStationSlot& slot = *line.slot;
    const std::string state = slot.stateText(now);
    if (board->live()) {
      const std::string head =
          padded(slot.name(), width_ + 2) + padded(counts(slot.passed(), slot.failed()), 22);
      board->setRow(line.row, head + state, stateColour(slot.state()), textWidth(head));
      continue;
    }
    // One line per event: a flashing slot's progress, or the count down to
    // the next unit, is no event.
    const bool counting = slot.state() == TSlotState::Flashing ||
                          slot.state() == TSlotState::Done || slot.state() == TSlotState::Failed;
    const std::string event = counting ? state.substr(0, state.find("  ")) : state;
    if (event == line.shown) continue;
    line.shown = event;
    board->print(board->err(), slot.name() + ": " + event);
  }
  if (board->live()) board->setRow(totalsRow_, totals(now));
}
