#include "zkMMTimer.h"

TZKMMTimer::TZKMMTimer() {
  timer_.OnTick = [this] { tick(); };
}

void TZKMMTimer::inStart(TData&, uint16_t) {
  Count.store(AutoStop);
  timer_.setEnabled(true);
}

void TZKMMTimer::inStop(TData&, uint16_t) { stop(); }

void TZKMMTimer::setInterval(uint32_t milliseconds) { timer_.setInterval(milliseconds); }

void TZKMMTimer::setEnable(bool on) { timer_.setEnabled(on); }

void TZKMMTimer::setResolution(uint32_t milliseconds) { timer_.setResolution(milliseconds); }

void TZKMMTimer::setAutoStop(int32_t ticks) {
  AutoStop = ticks;
  Count.store(ticks);
}

void TZKMMTimer::tick() {
  if (Busy.exchange(true)) return;
  // Counted down only while not negative; a start on another thread may
  // reset Count at any moment, so this tick acts on the value it produced.
  int32_t left = Count.load();
  while (left >= 0 && !Count.compare_exchange_weak(left, left - 1)) {
  }
  if (left >= 0) --left;
  fireEvent(outTimer);
  // The tick's own handler may have destroyed this element.
  if (TMMTimer::destroyedInThisTick()) return;
  if (left == 0) stop();
  Busy.store(false);
}

void TZKMMTimer::stop() {
  timer_.setEnabled(false);
  fireEvent(outStop);
}
