// The station's audit log: one JSON object per unit attempt, one line each
// (JSON Lines), appended whole and synced to the disk before the slot arms
// again; earlier lines are never touched.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/flash/flashReport.h"
#include "app/station/appendFile.h"
#include "serial/portInfo.h"

// One unit attempt on one slot.
struct TUnitRecord {
  std::string Slot;                                // as the operator named it
  int Unit = 0;                                    // the slot's units, counted from 1
  TPortInfo Adapter;                               // Port: the port it was flashed on
  TPortResult Result;                              // as --report tells it
  std::chrono::system_clock::time_point Finished;  // when the outcome was decided
  std::string Removal;                             // the removal rule in force
};

// The record's line, line end included.
std::string unitRecordLine(const TUnitRecord& record, const std::string& host);

// The SHA-256 of the firmware image this program writes, hexadecimal.
const char* imageSha256();

// "2026-12-08T14:49:42.123Z".
std::string utcTimeText(std::chrono::system_clock::time_point time);

// The wall-clock time of a moment on the steady clock that has passed.
std::chrono::system_clock::time_point wallTimeOf(std::chrono::steady_clock::time_point moment);

// Writes the records on a thread of its own, in order, so a disk that
// stalls (a share whose server has gone) never holds up the station's
// loop. A record not on the disk within the deadline of being handed over,
// or one the sink refuses, fails the log for good: that record and every
// later one are handed back as unwritten, for standard error.
class TAuditLog {
 public:
  TAuditLog(TRecordSink& sink, std::chrono::milliseconds deadline);
  // Stops the thread and joins it; an append stuck in the system is waited for.
  ~TAuditLog();
  TAuditLog(const TAuditLog&) = delete;
  TAuditLog& operator=(const TAuditLog&) = delete;

  // Hands a record's line over; its number, for written().
  uint64_t add(std::string line);
  // Whether the record numbered so is on the disk; 0 (no record) is.
  bool written(uint64_t record) const;
  // Empty while the log works, else why it failed; moves the lines that
  // were not written into unwritten.
  std::string check(std::vector<std::string>& unwritten);
  // Waits until every record handed over is written or the log has failed.
  void settle();
  // Ends the thread unless an append is stuck in the system: false then, and
  // the process must end without destroying the log.
  bool stop();

 private:
  using Clock = std::chrono::steady_clock;
  struct TPending {
    std::string line;
    Clock::time_point handedOver;
  };
  void writeLoop();
  // Under lock_: fails the log when the oldest record is past the deadline.
  void checkDeadline(Clock::time_point now);
  void fail(const std::string& why);

  TRecordSink& sink_;
  const std::chrono::milliseconds deadline_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<TPending> queue_;  // the front is being written while writing_
  bool writing_ = false;
  bool stopping_ = false;
  uint64_t added_ = 0;
  uint64_t writtenUpTo_ = 0;
  std::string failure_;
  std::vector<std::string> unwritten_;
  std::thread writer_;
};
