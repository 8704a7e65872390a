#include "unitLine.h"

#include <unistd.h>

#include <cstdio>

namespace devsim {

namespace {
using Clock = std::chrono::steady_clock;
// A unit nobody flashes stays on as long as the host could take to come.
constexpr std::chrono::hours unitLimit{1};
}  // namespace

UnitLine::UnitLine(LineOptions options) : options_(std::move(options)) {}

UnitLine::~UnitLine() {
  stop();
  ::unlink(options_.linkPath.c_str());
}

bool UnitLine::start() {
  if (!options_.usb) {
    // The fixture's port while no unit is on: it takes "VERS" and says nothing.
    SimulatorOptions silent;
    silent.answerVers = false;
    silent.inactivityTimeout = unitLimit;
    idle_ = std::make_unique<DeviceSimulator>(silent);
    if (!idle_->start()) {
      error_ = idle_->error();
      return false;
    }
  }
  thread_ = std::thread(&UnitLine::run, this);
  return true;
}

void UnitLine::stop() {
  {
    std::lock_guard guard(lock_);
    stopped_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (idle_) idle_->stop();
}

bool UnitLine::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, timeout, [this] { return finished_; });
}

bool UnitLine::present() const {
  std::lock_guard guard(lock_);
  return present_;
}

std::vector<UnitReport> UnitLine::reports() const {
  std::lock_guard guard(lock_);
  return reports_;
}

bool UnitLine::pauseUntil(Clock::time_point when) {
  std::unique_lock guard(lock_);
  return !changed_.wait_until(guard, when, [this] { return stopped_; });
}

void UnitLine::pointAt(const std::string& target) {
  // Renamed over the link: the host finds the old port or the new one.
  const std::string fresh = options_.linkPath + ".new";
  ::unlink(fresh.c_str());
  if (target.empty()) {
    ::unlink(options_.linkPath.c_str());
  } else if (::symlink(target.c_str(), fresh.c_str()) != 0 ||
             ::rename(fresh.c_str(), options_.linkPath.c_str()) != 0) {
    log("cannot link " + options_.linkPath + " to " + target);
  }
}

void UnitLine::setPresent(bool on) {
  std::lock_guard guard(lock_);
  present_ = on;
}

void UnitLine::log(const std::string& line) {
  if (options_.onLog) options_.onLog(line);
}

SessionOutcome UnitLine::play(const SimulatorOptions& options, UnitReport& report,
                              Clock::time_point until, std::unique_ptr<DeviceSimulator>& on) {
  auto unit = std::make_unique<DeviceSimulator>(options);
  if (!unit->start()) {
    log("unit " + std::to_string(report.unit) + ": " + unit->error());
    return SessionOutcome::Stopped;
  }
  pointAt(unit->portPath());
  // Only now does the session before go: between two sessions of one unit
  // the port never vanishes, nor leads to a pty that another line may get.
  takeOff(on, report);
  on = std::move(unit);
  while (!on->waitFor(std::chrono::milliseconds(20))) {
    std::lock_guard guard(lock_);
    if (stopped_ || Clock::now() >= until) return SessionOutcome::Stopped;
  }
  return on->outcome();
}

void UnitLine::takeOff(std::unique_ptr<DeviceSimulator>& session, UnitReport& report) {
  if (!session) return;
  session->stop();
  if (session->blocks() > 0 || session->outcome() == SessionOutcome::HostClosed) {
    if (report.uploads++ == 0) report.blocks = session->blocks();
  }
  session.reset();
}

void UnitLine::run() {
  int number = 0;
  for (const LineUnit& unit : options_.units) {
    UnitReport report;
    report.unit = ++number;
    std::unique_ptr<DeviceSimulator> on;
    setPresent(true);
    report.outcome = play(unit.options, report, Clock::now() + unitLimit, on);
    // Still the same unit: whatever the host does now, it does to it.
    const Clock::time_point off = Clock::now() + options_.stay;
    SimulatorOptions deaf = unit.options;
    deaf.answerVers = false;
    deaf.inactivityTimeout = unitLimit;
    for (bool again = unit.reboot && report.outcome == SessionOutcome::Complete;
         again && Clock::now() < off;) {
      if (unit.reboot->count() > 0)
        play(deaf, report, std::min(off, Clock::now() + *unit.reboot), on);
      again = play(unit.options, report, off, on) == SessionOutcome::Complete && unit.rebootsEvery;
    }
    // Taken off: the port leads elsewhere before the unit's session ends.
    pointAt(options_.usb ? std::string() : idle_->portPath());
    setPresent(false);
    takeOff(on, report);
    char line[96];
    std::snprintf(line, sizeof line, "unit %d: %s, %d blocks, %d uploads", report.unit,
                  describe(report.outcome), report.blocks, report.uploads);
    log(line);
    {
      std::lock_guard guard(lock_);
      reports_.push_back(report);
    }
    if (!pauseUntil(Clock::now() + options_.swap)) break;
  }
  std::lock_guard guard(lock_);
  finished_ = true;
  changed_.notify_all();
}

}  // namespace devsim
