#include "mmTimer.h"

#include <atomic>
#include <stop_token>
#include <unordered_map>
#include <utility>

#include "runtime/threadStop.h"
#include "timerSeam.h"

struct TMMTimer::TRun {
  std::function<void()> onTick;
  std::stop_source stop;
  std::atomic<int> ticking{0};  // tick handlers running now, on any thread
  std::atomic<bool> timerGone{false};
  uintptr_t context = 0;  // its key in the registry
};

namespace {
// Every start registers its run under a fresh context value, and a stop
// removes it, so a tick that the platform delivers late, or for an earlier
// start, finds nothing and is ignored. Never destroyed: a platform timer
// thread may still deliver a tick while the program exits.
struct TTimerRegistry {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<TMMTimer::TRun>> runs;
  uintptr_t lastContext = 0;
};

TTimerRegistry& registry() {
  static auto* timers = new TTimerRegistry;
  return *timers;
}

void registerRun(const std::shared_ptr<TMMTimer::TRun>& run) {
  TTimerRegistry& r = registry();
  std::lock_guard guard(r.lock);
  run->context = ++r.lastContext;
  r.runs[run->context] = run;
}

void unregisterRun(uintptr_t context) {
  TTimerRegistry& r = registry();
  std::lock_guard guard(r.lock);
  r.runs.erase(context);
}

// The run whose tick handler this thread is running, if any.
thread_local const TMMTimer::TRun* tickingHere = nullptr;
}  // namespace

TTimerSeam& timerSeam() {
  static TTimerSeam seam = platformTimerSeam();
  return seam;
}

void deliverTimerTick(uintptr_t context) {
  std::shared_ptr<TMMTimer::TRun> run;
  {
    TTimerRegistry& r = registry();
    std::lock_guard guard(r.lock);
    const auto it = r.runs.find(context);
    if (it == r.runs.end()) return;
    run = it->second;
    run->ticking.fetch_add(1);
  }
  {
    TStopScope stopScope(run->stop.get_token());
    const TMMTimer::TRun* outer = std::exchange(tickingHere, run.get());
    if (run->onTick) run->onTick();
    tickingHere = outer;
  }
  run->ticking.fetch_sub(1, std::memory_order_release);
}

bool TMMTimer::destroyedInThisTick() {
  return tickingHere != nullptr && tickingHere->timerGone.load();
}

TMMTimer::~TMMTimer() {
  std::shared_ptr<TRun> run;
  uint32_t id = 0;
  {
    std::lock_guard guard(lock_);
    run = std::move(run_);
    id = std::exchange(id_, 0);
  }
  if (!run) return;
  run->timerGone = true;
  // Also when the run was stopped already: a tick that stopped its own
  // timer may still be finishing on another thread.
  stopRun(*run, id);
}

void TMMTimer::setEnabled(bool on) {
  std::shared_ptr<TRun> stopped;
  uint32_t stoppedId = 0;
  {
    std::lock_guard guard(lock_);
    enabled_ = on;
    if (on && id_ == 0) {
      auto run = std::make_shared<TRun>();
      run->onTick = OnTick;
      registerRun(run);
      id_ = timerSeam().start(interval_, resolution_, run->context);
      if (id_ == 0) {
        unregisterRun(run->context);
      } else {
        run_ = std::move(run);
      }
    } else if (!on) {
      // Also when stopped already: the tick that stopped its own timer may
      // still be running the outcome's chain on the timer's thread.
      stopped = run_;
      stoppedId = std::exchange(id_, 0);
    }
  }
  if (stopped) stopRun(*stopped, stoppedId);
}

void TMMTimer::stopRun(TRun& run, uint32_t id) {
  unregisterRun(run.context);
  run.stop.request_stop();
  // A tick handler that stops its own timer must not wait for itself.
  const int own = tickingHere == &run ? 1 : 0;
  waitUntilDone([&] { return run.ticking.load(std::memory_order_acquire) <= own; });
  if (id != 0) timerSeam().stop(id);
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
