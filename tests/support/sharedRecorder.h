// Recorders for events fired on any thread (a serial reader, a timer): what
// came, at which point and on which thread, and a wait for a condition.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/link.h"

class TSharedRecorder {
 public:
  struct TEvent {
    TData value;
    uint16_t index;
    std::thread::id thread;
  };

  // Runs on the firing thread once the event is recorded, unlocked.
  std::function<void(TData&, uint16_t)> onReceive;

  void inWork(TData& d, uint16_t index) {
    {
      std::lock_guard guard(lock_);
      events_.push_back({d, index, std::this_thread::get_id()});
      ++count_;
    }
    changed_.notify_all();
    if (onReceive) onReceive(d, index);
  }
  TEventLink link(uint16_t index = 0) {
    return makeEventLink<&TSharedRecorder::inWork>(this, index);
  }

  std::vector<TEvent> events() const {
    std::lock_guard guard(lock_);
    return events_;
  }
  std::vector<TData> values() const {
    std::vector<TData> result;
    for (TEvent& e : events()) result.push_back(std::move(e.value));
    return result;
  }
  void clear() {
    std::lock_guard guard(lock_);
    events_.clear();
  }

  // Waits until done() holds, asking again after every event; false when
  // the limit passed first. Generous: only a fault ever waits this long.
  bool waitFor(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock guard(lock_);
    for (;;) {
      const uint64_t seen = count_;
      guard.unlock();
      if (done()) return true;
      guard.lock();
      if (!changed_.wait_until(guard, deadline, [&] { return count_ != seen; })) return done();
    }
  }

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<TEvent> events_;
  uint64_t count_ = 0;  // every event ever, clear() or not
};

// A shared recorder that names its points: each event reads "name", or
// "name=value" when it carried a value.
class TEventLog : public TSharedRecorder {
 public:
  explicit TEventLog(std::vector<std::string> names) : names_(std::move(names)) {}

  std::vector<std::string> entries() const {
    std::vector<std::string> result;
    for (const TEvent& e : events()) {
      result.push_back(names_.at(e.index));
      if (kindOf(e.value) != TDataKind::Null) result.back() += "=" + toString(e.value);
    }
    return result;
  }
  // The entries run together: "TTS" for three one-letter events.
  std::string text() const {
    std::string all;
    for (const std::string& entry : entries()) all += entry;
    return all;
  }

 private:
  std::vector<std::string> names_;
};
