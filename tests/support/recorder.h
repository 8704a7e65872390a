// Test elements: a receiver recording what reaches it, a provider answering a fixed value.
#pragma once

#include <functional>
#include <mutex>
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

// Dispatch on while a test needs it: one process-wide switch, off when the last scope ends.
class TDispatchScope {
 public:
  TDispatchScope() {
    std::lock_guard lock(mutex());
    if (users()++ == 0) enableDispatch();
  }
  ~TDispatchScope() {
    std::lock_guard lock(mutex());
    if (--users() == 0) disableDispatch();
  }
  TDispatchScope(const TDispatchScope&) = delete;
  TDispatchScope& operator=(const TDispatchScope&) = delete;

 private:
  static std::mutex& mutex() {
    static std::mutex instance;
    return instance;
  }
  static int& users() {
    static int count = 0;
    return count;
  }
};

// A timer seam in place of the installed one until the scope ends.
class TTimerSeamScope {
 public:
  explicit TTimerSeamScope(TTimerSeam seam) : saved_(timerSeam()) { timerSeam() = seam; }
  ~TTimerSeamScope() { timerSeam() = saved_; }
  TTimerSeamScope(const TTimerSeamScope&) = delete;
  TTimerSeamScope& operator=(const TTimerSeamScope&) = delete;

 private:
  const TTimerSeam saved_;
};
