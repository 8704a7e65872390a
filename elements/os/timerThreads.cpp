// Each timer is a thread of its own sleeping on steady_clock until its next
// period, on Linux and on Windows alike: a tick handler that blocks delays
// no other timer's ticks, as it would on the one thread that runs every
// multimedia timer's callbacks on Windows. A period that passes while a tick
// is still running is skipped, not made up, so ticks never bunch.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "../timerSeam.h"

namespace {
struct TTimerThread {
  std::mutex lock;
  std::condition_variable wake;
  bool stopping = false;
  std::thread thread;
};

// Never destroyed: a timer stopped from its own tick is still finishing it.
struct TTimerThreads {
  std::mutex lock;
  std::map<uint32_t, std::shared_ptr<TTimerThread>> running;
  uint32_t lastId = 0;
};

TTimerThreads& timers() {
  static auto* threads = new TTimerThreads;
  return *threads;
}

void runTimer(const std::shared_ptr<TTimerThread>& self, std::chrono::milliseconds period,
              uintptr_t context) {
  using Clock = std::chrono::steady_clock;
  auto due = Clock::now() + period;
  std::unique_lock guard(self->lock);
  while (!self->wake.wait_until(guard, due, [&] { return self->stopping; })) {
    guard.unlock();
    deliverTimerTick(context);
    guard.lock();
    due += period;
    const auto now = Clock::now();
    if (due <= now) due += ((now - due) / period + 1) * period;
  }
}

uint32_t startThreadTimer(uint32_t interval, uint32_t, uintptr_t context) {
  if (interval == 0) return 0;
  auto state = std::make_shared<TTimerThread>();
  TTimerThreads& all = timers();
  std::lock_guard guard(all.lock);
  if (++all.lastId == 0) ++all.lastId;
  state->thread = std::thread(runTimer, state, std::chrono::milliseconds(interval), context);
  all.running[all.lastId] = state;
  return all.lastId;
}

void stopThreadTimer(uint32_t id) {
  std::shared_ptr<TTimerThread> state;
  {
    TTimerThreads& all = timers();
    std::lock_guard guard(all.lock);
    const auto it = all.running.find(id);
    if (it == all.running.end()) return;
    state = std::move(it->second);
    all.running.erase(it);
  }
  {
    std::lock_guard guard(state->lock);
    state->stopping = true;
  }
  state->wake.notify_all();
  if (state->thread.get_id() == std::this_thread::get_id()) {
    state->thread.detach();
  } else {
    state->thread.join();
  }
}
}  // namespace

TTimerSeam platformTimerSeam() { return TTimerSeam{&startThreadTimer, &stopThreadTimer}; }
