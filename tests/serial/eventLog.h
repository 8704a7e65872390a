// Records every event of a serial port element as "name" or "name=value",
// from whichever thread fires it, and lets a test wait for one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/link.h"
#include "serial/zkComAsync.h"

class TEventLog {
 public:
  enum TEvent : uint16_t {
    Written,
    Read,
    Port,
    RxChar,
    Ring,
    Cts,
    Dsr,
    Rlsd,
    RxFlag,
    Break,
    Rx80Full,
    TxEmpty,
    Error,
    Opening,
    Open,
    Closing,
    Closed,
    EventCount
  };

  // Links every output of the element to this log; outRxChar also reaches
  // the element's own inRead when readLoop is set, as in the program.
  void attach(TZKComAsync& port, bool readLoop) {
    TEventLink* links[EventCount] = {
        &port.outWritten,  &port.outRead,    &port.outPort,  &port.outRxChar,  &port.outRing,
        &port.outCts,      &port.outDsr,     &port.outRlsd,  &port.outRxFlag,  &port.outBreak,
        &port.outRx80Full, &port.outTxEmpty, &port.outError, &port.outOpening, &port.outOpen,
        &port.outClosing,  &port.outClosed};
    for (uint16_t i = 0; i < EventCount; ++i)
      *links[i] = makeEventLink<&TEventLog::inEvent>(this, i);
    if (readLoop) ReadTarget = &port;
  }

  void inEvent(TData& d, uint16_t index) {
    static const char* const Names[EventCount] = {
        "written", "read",     "port",    "rxchar", "ring",    "cts",  "dsr",     "rlsd",  "rxflag",
        "break",   "rx80full", "txempty", "error",  "opening", "open", "closing", "closed"};
    std::string entry = Names[index];
    if (kindOf(d) != TDataKind::Null) entry += "=" + toString(d);
    {
      std::lock_guard lock(Lock);
      Entries.push_back(entry);
      if (index == Read) Received += d.StrValue;
      Threads.push_back(std::this_thread::get_id());
    }
    Changed.notify_all();
    if (OnEvent) OnEvent(static_cast<TEvent>(index), d);
    if (index == RxChar && ReadTarget != nullptr) ReadTarget->inRead(d, 3);
  }

  std::vector<std::string> entries() const {
    std::lock_guard lock(Lock);
    return Entries;
  }
  std::string received() const {
    std::lock_guard lock(Lock);
    return Received;
  }
  std::vector<std::thread::id> threads() const {
    std::lock_guard lock(Lock);
    return Threads;
  }
  void clear() {
    std::lock_guard lock(Lock);
    Entries.clear();
    Threads.clear();
    Received.clear();
  }

  // Waits up to a few seconds until done() holds; false on time-out.
  bool waitFor(const std::function<bool(const TEventLog&)>& done) {
    std::unique_lock lock(Lock);
    return Changed.wait_for(lock, std::chrono::seconds(5), [&] {
      lock.unlock();
      const bool result = done(*this);
      lock.lock();
      return result;
    });
  }
  bool waitForReceived(size_t bytes) {
    return waitFor([bytes](const TEventLog& log) { return log.received().size() >= bytes; });
  }

  // Runs on the firing thread after the entry is recorded.
  std::function<void(TEvent, TData&)> OnEvent;

 private:
  mutable std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::string> Entries;
  std::vector<std::thread::id> Threads;
  std::string Received;
  TZKComAsync* ReadTarget = nullptr;
};

// The values the main form gives its serial port.
inline void applyFormSettings(TZKComAsync& port) {
  port.BaudRate = 38462;
  port.AbortOnError = true;
  port.ReadIntervalTimeout = 0xFFFFFFFF;
  port.WriteTotalTimeoutConstant = 1000;
  port.WriteTotalTimeoutMultiplier = 100;
}
