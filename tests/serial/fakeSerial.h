// A serial port in memory: records the element's calls, plays events and failures.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/portNames.h"
#include "serial/serialDevice.h"
#include "support/hangLimit.h"

struct TFakePort {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::string> Calls;
  std::string OpenedName;
  TSerialSettings Settings;
  TSerialTimeouts Timeouts;
  uint32_t Mask = 0;
  std::string Written;
  int Writes = 0;
  // At most this many bytes per write (an adapter that stops taking them); -1: all.
  long Takes = -1;
  std::string Incoming;
  std::deque<uint32_t> Events;
  bool Woken = false;
  int Waiters = 0;
  // The call that fails: "open", "purge", "configure", "timeouts" or "mask".
  std::string Failing;
  // A write that only ends when a purge aborts it, and then takes a moment.
  bool HoldWrites = false;
  bool WritesAborted = false;
  // Runs, unlocked, inside a drain.
  std::function<void()> OnDrain;
  // Runs, unlocked, after a read took its bytes.
  std::function<void()> OnRead;
  std::chrono::steady_clock::time_point PurgedAt;
  // Calls fail until the error query clears it; a stuck one comes back at once.
  bool LineError = false;
  bool LineErrorStuck = false;
  // What every wait returns while set: a failure, or Event with no bits.
  std::optional<TSerialWaiter::TResult> WaitsEnd;
  bool ErrorQueryFails = false;
  std::atomic<int> ErrorQueries{0};

  // Changes the port under its lock and wakes whatever waits on it.
  template <class Change>
  void set(Change change) {
    std::lock_guard lock(Lock);
    change();
    Changed.notify_all();
  }
  // Records a call ("purge 12") and keeps the lock for the caller.
  std::unique_lock<std::mutex> call(std::string name) {
    std::unique_lock lock(Lock);
    Calls.push_back(std::move(name));
    Changed.notify_all();
    return lock;
  }
  std::vector<std::string> calls() {
    std::lock_guard lock(Lock);
    return Calls;
  }
  void pushEvent(uint32_t mask, std::string bytes = {}) {
    std::lock_guard lock(Lock);
    Incoming += bytes;
    Events.push_back(mask);
    Changed.notify_all();
  }
};

class TFakeDevice final : public TSerialDevice {
 public:
  explicit TFakeDevice(TFakePort& port) : P(port) {}

  bool open(const std::string& name, std::string& error) override {
    auto lock = P.call("open " + name);
    if (P.Failing == "open") {
      error = "no such port " + name;
      return false;
    }
    P.OpenedName = name;
    P.Woken = false;
    return true;
  }
  bool configure(const TSerialSettings& s) override {
    auto lock = P.call("configure");
    P.Settings = s;
    return P.Failing != "configure";
  }
  bool setTimeouts(const TSerialTimeouts& t) override {
    auto lock = P.call("timeouts");
    P.Timeouts = t;
    return P.Failing != "timeouts";
  }
  bool setEventMask(uint32_t mask) override {
    auto lock = P.call("mask " + std::to_string(mask));
    P.Mask = mask;
    return P.Failing != "mask";
  }
  bool purge(uint32_t flags) override {
    auto lock = P.call("purge " + std::to_string(flags));
    P.PurgedAt = std::chrono::steady_clock::now();
    P.WritesAborted = P.WritesAborted || (flags & serial::PurgeTxAbort) != 0;
    return P.Failing != "purge" && !P.LineError;
  }
  void setupQueues(uint32_t in, uint32_t out) override {
    P.call("queues " + std::to_string(in) + " " + std::to_string(out));
  }
  bool modemStatus(uint32_t& status) override {
    status = 0;
    return true;
  }
  bool clearErrors(uint32_t& errors, uint32_t& waiting) override {
    std::lock_guard lock(P.Lock);
    ++P.ErrorQueries;
    if (P.ErrorQueryFails) return false;
    errors = P.LineError ? serial::CeFrame : 0;
    P.LineError = P.LineErrorStuck;
    waiting = static_cast<uint32_t>(P.Incoming.size());
    return true;
  }
  bool write(const std::string& bytes, uint32_t& written) override {
    uint32_t errors = 0;
    uint32_t waiting = 0;
    bool lineError = false;  // what failed this very call
    failure_ =
        runPastLineError([&] { return writeOnce(bytes, written, lineError); },
                         [&] { return lineError; }, [&] { return clearErrors(errors, waiting); });
    return true;
  }
  TSerialFailure lastWriteFailure() const override { return failure_; }
  bool writeOnce(const std::string& bytes, uint32_t& written, bool& lineError) {
    written = 0;
    {
      std::lock_guard lock(P.Lock);
      lineError = P.LineError;
    }
    if (lineError) return false;
    if (P.HoldWrites) {
      auto lock = P.call("write held");
      waitOrEnd("a purge aborting the held write", P.Changed, lock,
                [&] { return P.WritesAborted; });
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      P.call("write ended");
      return false;
    }
    std::lock_guard lock(P.Lock);
    ++P.Writes;
    const size_t taken = std::min<size_t>(bytes.size(), P.Takes < 0 ? bytes.size() : P.Takes);
    P.Written += bytes.substr(0, taken);
    written = static_cast<uint32_t>(taken);
    return true;
  }
  bool read(uint32_t count, std::string& bytes) override {
    std::unique_lock lock(P.Lock);
    bytes = P.Incoming.substr(0, count);
    P.Incoming.erase(0, bytes.size());
    const std::function<void()> hook = P.OnRead;
    lock.unlock();
    if (hook) hook();
    return true;
  }
  // A held write holds its bytes in the queue.
  bool drain(bool unbounded) override {
    std::function<void()> hook;
    bool emptied = false;
    {
      auto lock = P.call(unbounded ? "drain unbounded" : "drain");
      hook = P.OnDrain;
      emptied = !P.HoldWrites;
    }
    if (hook) hook();
    return emptied;
  }
  void close() override { P.call("close"); }
  std::string lastErrorText() const override {
    return P.Failing.empty() ? "" : "the fake refused " + P.Failing;
  }
  std::unique_ptr<TSerialWaiter> makeWaiter() override {
    std::lock_guard lock(P.Lock);
    ++P.Waiters;
    return std::make_unique<TWaiter>(P);
  }
  void wakeReader() override {
    std::lock_guard lock(P.Lock);
    P.Woken = true;
    P.Changed.notify_all();
  }

 private:
  class TWaiter final : public TSerialWaiter {
   public:
    explicit TWaiter(TFakePort& port) : P(port) {}
    TResult wait(uint32_t& mask) override {
      std::unique_lock lock(P.Lock);
      waitOrEnd("a port event or the reader's wake-up", P.Changed, lock,
                [&] { return P.Woken || !P.Events.empty() || P.WaitsEnd || P.LineError; });
      if (P.Woken) return TResult::Stopped;
      if (P.LineError) return TResult::Aborted;
      if (P.WaitsEnd) return *P.WaitsEnd;
      mask = P.Events.front();
      P.Events.pop_front();
      return TResult::Event;
    }

   private:
    TFakePort& P;
  };
  TFakePort& P;
  std::atomic<TSerialFailure> failure_{TSerialFailure::None};
};

// Port names follow the Windows rule.
class TFakeSystem final : public TSerialSystem {
 public:
  TFakePort Port;

  std::unique_ptr<TSerialDevice> createDevice() override {
    return std::make_unique<TFakeDevice>(Port);
  }
  int32_t portNumber(const std::string& name) override { return comPortNumber(name); }
  // The system's list, and the check of whether a port opens (may block).
  std::vector<TListedPort> Listed;
  std::function<bool(const std::string&)> Opens = [](const std::string&) { return true; };

  std::vector<TListedPort> systemPorts() override {
    std::lock_guard lock(Port.Lock);
    return Listed;
  }
  bool portOpens(const std::string& name) override { return Opens(name); }
};
