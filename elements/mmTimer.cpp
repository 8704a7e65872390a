#include "mmTimer.h"

#include <chrono>
#include <thread>
#include <unordered_map>
#include <utility>

#include "timerSeam.h"

namespace {
// Every start registers the timer under a fresh context value, and a stop
// removes it, so a tick that the platform delivers late, or for an earlier
// start, finds nothing and is ignored. Never destroyed: a platform timer
// thread may still deliver a tick while the program exits.
struct TTimerRegistry {
  std::mutex lock;
  std::unordered_map<uintptr_t, TMMTimer*> timers;
  uintptr_t lastContext = 0;
};

TTimerRegistry& registry() {
  static auto* timers = new TTimerRegistry;
  return *timers;
}

uintptr_t registerTimer(TMMTimer* timer) {
  TTimerRegistry& r = registry();
  std::lock_guard guard(r.lock);
  r.timers[++r.lastContext] = timer;
  return r.lastContext;
}

void unregisterTimer(uintptr_t context) {
  TTimerRegistry& r = registry();
  std::lock_guard guard(r.lock);
  r.timers.erase(context);
}

// The timer whose tick handler this thread is running, if any.
thread_local const TMMTimer* tickingHere = nullptr;

std::atomic<void (*)()> waitHook{nullptr};
}  // namespace

TTimerSeam& timerSeam() {
  static TTimerSeam seam = platformTimerSeam();
  return seam;
}

void setTimerWaitHook(void (*hook)()) { waitHook.store(hook); }

void deliverTimerTick(uintptr_t context) {
  TMMTimer* timer = nullptr;
  {
    TTimerRegistry& r = registry();
    std::lock_guard guard(r.lock);
    const auto it = r.timers.find(context);
    if (it == r.timers.end()) return;
    timer = it->second;
    timer->ticking_.fetch_add(1);
  }
  const TMMTimer* outer = std::exchange(tickingHere, timer);
  if (timer->OnTick) timer->OnTick();
  tickingHere = outer;
  // The last access: from here on the timer may be destroyed.
  timer->ticking_.fetch_sub(1, std::memory_order_release);
}

TMMTimer::~TMMTimer() {
  setEnabled(false);
  waitForTicks();
}

void TMMTimer::setEnabled(bool on) {
  uint32_t stopped = 0;
  {
    std::lock_guard guard(lock_);
    enabled_ = on;
    if (on && id_ == 0) {
      context_ = registerTimer(this);
      id_ = timerSeam().start(interval_, resolution_, context_);
      if (id_ == 0) unregisterTimer(context_);
    } else if (!on && id_ != 0) {
      unregisterTimer(context_);
      stopped = std::exchange(id_, 0);
    }
  }
  if (stopped == 0) return;
  waitForTicks();
  timerSeam().stop(stopped);
}

bool TMMTimer::enabled() const {
  std::lock_guard guard(lock_);
  return enabled_;
}

void TMMTimer::setInterval(uint32_t milliseconds) {
  std::lock_guard guard(lock_);
  interval_ = milliseconds;
}

void TMMTimer::setResolution(uint32_t milliseconds) {
  std::lock_guard guard(lock_);
  resolution_ = milliseconds;
}

void TMMTimer::waitForTicks() const {
  // A tick handler that stops its own timer must not wait for itself.
  const int own = tickingHere == this ? 1 : 0;
  while (ticking_.load(std::memory_order_acquire) > own) {
    if (void (*hook)() = waitHook.load()) hook();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
