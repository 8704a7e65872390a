#include "zkSleep.h"

#include <chrono>
#include <thread>

#include "highResClock.h"

namespace {

// Sleeping stops this long before the deadline and the rest is polled on the
// counter: a sleep may end up to a scheduler tick late (15.6 ms by default on
// Windows), polling is exact.
constexpr int64_t PollWindowMicros = 20'000;

// Waits until more than delay microseconds have passed on the counter.
void waitLongerThan(int64_t delay) {
  const uint64_t frequency = highResFrequency();
  const uint64_t start = highResTicks();
  for (;;) {
    const uint64_t ticks = highResTicks() - start;
    // Exact for any counter frequency, without overflow for hours of ticks.
    const auto elapsed = static_cast<int64_t>(ticks / frequency * 1'000'000 +
                                              ticks % frequency * 1'000'000 / frequency);
    if (elapsed > delay) return;
    const int64_t remaining = delay - elapsed;
    if (remaining > PollWindowMicros)
      std::this_thread::sleep_for(std::chrono::microseconds(remaining - PollWindowMicros));
  }
}

}  // namespace

void TZKSleep::inSleep(TData& d, uint16_t) {
  waitLongerThan(Delay);
  fireEvent(outEnd, d);
}
