// Fires an event at a fixed period on the timer's own thread, optionally
// stopping by itself after a number of ticks.
#pragma once

#include <atomic>
#include <cstdint>

#include "elements/mmTimer.h"
#include "runtime/link.h"

class TZKMMTimer {
 public:
  TZKMMTimer();

  // A tick is being handled; ticks that arrive meanwhile are dropped.
  std::atomic<bool> Busy{false};
  // Ticks left before the automatic stop; negative: no automatic stop.
  std::atomic<int32_t> Count{0};
  // What Count is reset to at every start; 0: never stop by itself.
  int32_t AutoStop = 0;
  TEventLink outTimer;
  TEventLink outStop;

  // Resets Count and starts the timer (a running timer keeps its period).
  void inStart(TData& d, uint16_t index);
  // Stops the timer and fires outStop, also when it was not running.
  void inStop(TData& d, uint16_t index);

  void setInterval(uint32_t milliseconds);
  // Starts or stops the timer without touching Count or firing outStop.
  void setEnable(bool on);
  void setResolution(uint32_t milliseconds);
  void setAutoStop(int32_t ticks);

 private:
  // Last member: destroyed first, so a tick still finishing sees the fields.
  TMMTimer timer_;

  void tick();
  void stop();
};
