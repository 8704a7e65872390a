// Test elements: receivers recording what reaches them, on one thread or on
// any, and a provider answering a fixed value.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "elements/timerSeam.h"
#include "runtime/link.h"

struct TRecorder {
  std::vector<TData> received;
  std::vector<uint16_t> indexes;
  std::function<void(TData&, uint16_t)> onReceive;

  void inWork(TData& d, uint16_t index) {
    received.push_back(d);
    indexes.push_back(index);
    if (onReceive) onReceive(d, index);
  }
  TEventLink link(uint16_t index = 0) { return makeEventLink<&TRecorder::inWork>(this, index); }
};

struct TProvider {
  TData answer;
  int reads = 0;

  void varValue(TData& d, uint16_t) {
    ++reads;
    d = answer;
  }
  TEventLink link() { return makeEventLink<&TProvider::varValue>(this); }
};

inline TData integerData(int32_t n) {
  TData d;
  makeInteger(d, n);
  return d;
}

inline TData realData(double v) {
  TData d;
  d.Kind = TDataKind::Real;
  d.RealValue = v;
  return d;
}

inline TData stringData(std::string s) {
  TData d;
  makeString(d, std::move(s));
  return d;
}

// first followed by the chain of second.
inline TData chained(TData first, TData second) {
  setNext(first, std::move(second));
  return first;
}

// A recorder for events fired on any thread.
class TSharedRecorder {
 public:
  struct TEvent {
    TData value;
    uint16_t index;
  };

  // Runs on the firing thread once the event is recorded, unlocked.
  std::function<void(TData&, uint16_t)> onReceive;

  void inWork(TData& d, uint16_t index) {
    {
      std::lock_guard guard(lock_);
      events_.push_back({d, index});
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

// Dispatch on while a test needs it: one process-wide switch, off when the last scope ends.
class TDispatchScope {
 public:
  TDispatchScope() {
    std::lock_guard lock(mutex_);
    if (users_++ == 0) enableDispatch();
  }
  ~TDispatchScope() {
    std::lock_guard lock(mutex_);
    if (--users_ == 0) disableDispatch();
  }
  TDispatchScope(const TDispatchScope&) = delete;
  TDispatchScope& operator=(const TDispatchScope&) = delete;

 private:
  static inline std::mutex mutex_;
  static inline int users_ = 0;
};

// A timer seam in place of the installed one until the scope ends.
struct TTimerSeamScope {
  const TTimerSeam saved = timerSeam();
  explicit TTimerSeamScope(TTimerSeam seam) { timerSeam() = seam; }
  ~TTimerSeamScope() { timerSeam() = saved; }
};
