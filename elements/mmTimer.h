// The multimedia timer object: a periodic timer that calls its tick handler
// on the platform timer's own thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TMMTimer {
 public:
  TMMTimer() = default;
  // Disables the timer and waits until no tick handler runs any more (except
  // the one destroying it).
  ~TMMTimer();
  TMMTimer(const TMMTimer&) = delete;
  TMMTimer& operator=(const TMMTimer&) = delete;

  // Called on every tick; set before the timer is first enabled. A tick
  // handler runs with a stop token (threadStop.h) that stopping the timer
  // requests.
  std::function<void()> OnTick;

  // Starts or stops the platform timer when the running state differs from
  // the request. Stopping from another thread returns once no tick handler
  // runs any more, also when the timer was stopped already (by a tick that
  // is still running); stopping from inside a tick returns at once.
  void setEnabled(bool on);
  bool enabled() const;
  // Takes effect at the next start.
  void setInterval(uint32_t milliseconds);
  void setResolution(uint32_t milliseconds);

  // True inside a tick handler whose timer was destroyed by that handler:
  // the handler must not touch its owner again.
  static bool destroyedInThisTick();

  // What one start shares with the ticks it delivers; outlives the timer
  // while a tick is still under way.
  struct TRun;

 private:
  mutable std::mutex lock_;
  uint32_t id_ = 0;            // platform timer id; 0 while not running
  std::shared_ptr<TRun> run_;  // the latest start's, kept after a stop
  bool enabled_ = false;
  uint32_t interval_ = 1000;
  uint32_t resolution_ = 1;

  void stopRun(TRun& run, uint32_t id);
};
