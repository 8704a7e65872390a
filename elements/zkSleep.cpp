#include "zkSleep.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "highResClock.h"
#include "runtime/threadStop.h"

namespace {

// Sleeping stops this long before the deadline and the rest is polled on the
// counter: a sleep may end up to a scheduler tick late (15.6 ms by default on
// Windows), polling is exact.
constexpr int64_t PollWindowMicros = 20'000;

// Sleeps, or less when stop is requested meanwhile.
void sleepUnlessStopped(const std::stop_token& stop, std::chrono::microseconds duration) {
  if (!stop.stop_possible()) {
    std::this_thread::sleep_for(duration);
    return;
  }
  std::mutex lock;
  std::condition_variable_any woken;
  std::unique_lock guard(lock);
  woken.wait_for(guard, stop, duration, [] { return false; });
}

// Waits until more than delay microseconds have passed on the counter; false
// when the thread was asked to stop first.
bool waitLongerThan(int64_t delay) {
  const std::stop_token stop = currentStopToken();
  const uint64_t frequency = highResFrequency();
  const uint64_t start = highResTicks();
  for (;;) {
    if (stop.stop_requested()) return false;
    const uint64_t ticks = highResTicks() - start;
    // Exact for any counter frequency, without overflow for hours of ticks.
    const auto elapsed = static_cast<int64_t>(ticks / frequency * 1'000'000 +
                                              ticks % frequency * 1'000'000 / frequency);
    if (elapsed > delay) return true;
    const int64_t remaining = delay - elapsed;
    if (remaining > PollWindowMicros)
      sleepUnlessStopped(stop, std::chrono::microseconds(remaining - PollWindowMicros));
  }
}

}  // namespace

void TZKSleep::inSleep(TData& d, uint16_t) {
  if (waitLongerThan(Delay)) fireEvent(outEnd, d);
}
