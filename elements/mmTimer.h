// The multimedia timer object: a periodic timer that calls its tick handler
// on the platform timer's own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class TMMTimer {
 public:
  TMMTimer() = default;
  // Disables the timer and waits until no tick handler runs any more.
  ~TMMTimer();
  TMMTimer(const TMMTimer&) = delete;
  TMMTimer& operator=(const TMMTimer&) = delete;

  // Called on every tick; set before the timer is first enabled.
  std::function<void()> OnTick;

  // Starts or stops the platform timer when the running state differs from
  // the request. Stopping from another thread returns once no tick handler
  // runs any more; stopping from inside a tick returns at once.
  void setEnabled(bool on);
  bool enabled() const;
  // Takes effect at the next start.
  void setInterval(uint32_t milliseconds);
  void setResolution(uint32_t milliseconds);

 private:
  friend void deliverTimerTick(uintptr_t context);

  mutable std::mutex lock_;
  uint32_t id_ = 0;  // platform timer id; 0 while not running
  uintptr_t context_ = 0;
  bool enabled_ = false;
  uint32_t interval_ = 1000;
  uint32_t resolution_ = 1;
  std::atomic<int> ticking_{0};  // tick handlers running now, on any thread

  void waitForTicks() const;
};

// Called over and over while a stop waits for a tick running on another
// thread, so the waiting thread can serve work that tick may be waiting for
// (the window layer serves its pending synchronous calls). Null: just wait.
void setTimerWaitHook(void (*hook)());
