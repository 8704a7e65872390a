// Recorders for events fired on any thread: what came, at which point, on which thread.
#pragma once

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
    }
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

 private:
  mutable std::mutex lock_;
  std::vector<TEvent> events_;
};

// A shared recorder naming its points: each event reads "name" or "name=value".
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
