// The platform's periodic timer behind the multimedia timer object. Each
// platform provides its own (elements/os); tests may install a manual one.
#pragma once

#include <cstdint>

struct TTimerSeam {
  // Starts a periodic timer that calls deliverTimerTick(context) on a thread
  // of its own every `interval` ms. Returns the timer's id, 0 when it could
  // not be started.
  uint32_t (*start)(uint32_t interval, uint32_t resolution, uintptr_t context);
  // Stops the timer; callable from the timer's own tick. A tick may still
  // arrive afterwards: deliverTimerTick ignores it.
  void (*stop)(uint32_t id);
};

// The installed seam; starts with the platform's own.
TTimerSeam& timerSeam();
// The platform's own timer.
TTimerSeam platformTimerSeam();

// Entry point for every tick of a started timer, on the timer's thread.
void deliverTimerTick(uintptr_t context);
