// The production station: every slot runs its own loop of units until the
// operator stops it; every unit attempt goes to the audit log before its
// slot arms again; the screen shows one line per slot and the totals, or
// one line per event when standard error is not a terminal.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/flash/consoleBoard.h"
#include "app/station/stationSlot.h"

// How the station ended (its exit status).
enum TStationExit : int {
  StationNoFailure = 0,      // stopped by the operator, no unit failed
  StationUnitFailed = 1,     // stopped by the operator, a unit failed
  StationLogFailed = 4,      // the log could not be written: nothing more was flashed
  StationInterrupted = 130,  // ended at once by a second Ctrl-C
};

struct TStationOptions {
  std::vector<std::string> slots;  // as the operator names them
  bool all = false;                // also every port that opens, now or later
  std::string logPath;             // empty: no log
  TConsoleBoard* board = nullptr;
  TPortInfoSource* portInfo = nullptr;  // null: the platform's
  TSerialSystem* serial = nullptr;      // null: the platform's
  TRecordSink* logSink = nullptr;       // null: the file at logPath
  TRemovalRule removal{};
  // The keys the operator pressed since the last call (the key rule).
  std::function<std::string()> keys{};
};

// The key of the slot at an index (from 0): 1 to 9, then a to z; 0 past.
char slotKey(size_t index);

class TStation {
 public:
  explicit TStation(TStationOptions options);
  ~TStation();
  TStation(const TStation&) = delete;
  TStation& operator=(const TStation&) = delete;

  // False with error set when two slots name one port (the station must
  // not start then): "ttyUSB0 and /dev/ttyUSB0 are one port, /dev/ttyUSB0".
  bool checkSlots(std::string& error) const;
  // Opens the log; false with error set when it cannot be written (the
  // station must not start then).
  bool openLog(std::string& error);
  // Runs until the operator stops it. stops(): how many times Ctrl-C was
  // pressed; the first stops arming and lets units under way finish, the
  // second ends them at once.
  TStationExit run(const std::function<int()>& stops);
  // False when the log's last append is still stuck in the system after
  // run(): the process must end without destroying the station.
  bool logEnded() const { return logEnded_; }

 private:
  void addSlot(const std::string& name);
  void scanPorts(TStationSlot::Clock::time_point now);
  struct TSlotLine;
  void keep(TSlotLine& line, const TUnitRecord& record);
  // Tells a log that has failed, and the records it could not take.
  void checkLog();
  void show(TStationSlot::Clock::time_point now);
  std::string totals(TStationSlot::Clock::time_point now) const;

  TStationOptions options_;
  TPortInfoSource& portInfo_;
  TSerialSystem& serial_;
  std::unique_ptr<TAppendFile> file_;
  std::unique_ptr<TAuditLog> log_;  // writes off the loop; see auditLog.h
  bool logEnded_ = true;
  std::string host_;
  std::string logError_;  // set once the log failed: the station arms no more
  struct TSlotLine {
    std::unique_ptr<TStationSlot> slot;
    size_t row = 0;
    std::string shown;    // the state last told, for the event lines
    uint64_t record = 0;  // its last record: the slot arms once it is written
  };
  std::vector<TSlotLine> slots_;
  std::set<std::string> portsSeen_;  // with --all: every name listed so far
  size_t totalsRow_ = 0;
  size_t width_ = 0;
  int interrupted_ = 0;
  TStationSlot::Clock::time_point started_{};
  TStationSlot::Clock::time_point nextScan_{};
};
