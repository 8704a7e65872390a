// A production line on one port: units put on one after another, each
// after the previous one's outcome plus a swap time. The host opens one
// path, a link to the pty of the unit on now. Between units the link
// points at a port where nothing answers, or, for a USB-style unit whose
// port goes with it, is gone until the next unit brings it back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/devsim/deviceSimulator.h"

namespace devsim {

struct LineUnit {
  SimulatorOptions options{};  // the unit's own faults (a slow unit: delay)
  // After "PUSK" the unit is silent this long (its new firmware runs), then
  // answers "VERS" again, as one that resets into its bootloader, until it
  // is taken off; 0: at once. None: it stays silent.
  std::optional<std::chrono::milliseconds> reboot{};
  bool rebootsEvery = false;  // after every "PUSK", not only the first
};

struct LineOptions {
  std::string linkPath;  // the port the host opens
  std::vector<LineUnit> units;
  std::chrono::milliseconds swap{1000};
  // How long a unit that reboots into its bootloader is left on the line
  // after its first "PUSK".
  std::chrono::milliseconds stay{3000};
  bool usb = false;
  // Called on the line's thread with each log line.
  std::function<void(const std::string&)> onLog{};
};

// What one unit received.
struct UnitReport {
  int unit = 0;  // from 1
  SessionOutcome outcome = SessionOutcome::Running;
  int blocks = 0;   // of its (first) upload
  int uploads = 0;  // upload sessions begun on it: more than one is a unit flashed twice
};

class UnitLine {
 public:
  explicit UnitLine(LineOptions options);
  ~UnitLine();
  UnitLine(const UnitLine&) = delete;
  UnitLine& operator=(const UnitLine&) = delete;

  // Puts the first unit on; false with error() set when it cannot.
  bool start();
  // Waits until every unit has been played; true when they have.
  bool waitFor(std::chrono::milliseconds timeout);
  // Ends the line now; the unit on it is reported as it stands.
  void stop();
  const std::string& error() const { return error_; }
  std::vector<UnitReport> reports() const;
  // The fixture's "unit present" line: raised while a unit is on, dropped
  // when it is taken off.
  bool present() const;

 private:
  void run();
  // Sleeps until `when`; false when stopped meanwhile.
  bool pauseUntil(std::chrono::steady_clock::time_point when);
  // Puts a session of a unit on the line in place of `on`, the session
  // before (if any), and plays it until it ends or until `until`; it stays
  // `on` until taken off.
  SessionOutcome play(const SimulatorOptions& options, UnitReport& report,
                      std::chrono::steady_clock::time_point until,
                      std::unique_ptr<DeviceSimulator>& on);
  // Ends a session and counts in the report what it received.
  void takeOff(std::unique_ptr<DeviceSimulator>& session, UnitReport& report);
  void pointAt(const std::string& target);
  void setPresent(bool on);
  void log(const std::string& line);

  const LineOptions options_;
  std::unique_ptr<DeviceSimulator> idle_;
  std::string error_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  bool stopped_ = false;
  bool finished_ = false;
  bool present_ = false;
  std::vector<UnitReport> reports_;
  std::thread thread_;
};

}  // namespace devsim
