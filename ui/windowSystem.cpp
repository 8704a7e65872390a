// The portable half of the window library: synchronous calls into the UI
// thread, system colours and the installed backend.
#include "windowSystem.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "runtime/systemSeams.h"
#include "runtime/threadStop.h"

namespace {
enum class TCallState : uint8_t { Queued, Running, Done, Dropped };

struct TCall {
  const std::function<void()>* fn;
  TCallState state = TCallState::Queued;
};

// A synchronous call (its caller waits) or a post.
struct TQueued {
  TCall* call = nullptr;
  const void* key = nullptr;
  std::function<void()> post;
};
}  // namespace

struct TWindowSystem::TPendingCalls {
  std::mutex mutex;
  // Signals both a finished call (to its caller) and a newly queued one (to
  // a UI thread in waitPumping).
  std::condition_variable changed;
  std::deque<TQueued> queue;
  // Callers between queueing and the end of their wakeUiThread(): the
  // backend must outlive them.
  int waking = 0;
  // Until then posts do not wake the UI thread: it comes back by itself.
  std::chrono::steady_clock::time_point postsWaitUntil{};
  bool shutDown = false;
  std::thread::id uiThread = std::this_thread::get_id();
};

TWindowSystem::TWindowSystem() : pending_(std::make_shared<TPendingCalls>()) {}

TWindowSystem::~TWindowSystem() { shutdown(); }

void TWindowSystem::invokeSync(const std::function<void()>& fn) {
  if (isUiThread()) {
    fn();
    return;
  }
  const std::shared_ptr<TPendingCalls> pending = pending_;
  TCall call{&fn};
  {
    std::lock_guard lock(pending->mutex);
    if (pending->shutDown) return;
    pending->queue.push_back(TQueued{&call, nullptr, {}});
    ++pending->waking;
  }
  wakeAfterQueueing(*pending);
  std::unique_lock lock(pending->mutex);
  // A call that started runs to its end even across a shutdown: fn may
  // refer to this thread's stack.
  pending->changed.wait(
      lock, [&] { return call.state == TCallState::Done || call.state == TCallState::Dropped; });
}

void TWindowSystem::invokeAsync(const void* key, std::function<void()> fn) {
  if (isUiThread()) {
    cancelAsync(key);
    fn();
    return;
  }
  bool wake = false;
  {
    std::lock_guard lock(pending_->mutex);
    if (pending_->shutDown) return;
    for (auto it = pending_->queue.rbegin(); it != pending_->queue.rend() && !it->call; ++it) {
      if (it->key == key) {
        it->post = std::move(fn);
        return;  // the UI thread comes for it already
      }
    }
    pending_->queue.push_back(TQueued{nullptr, key, std::move(fn)});
    wake = std::chrono::steady_clock::now() >= pending_->postsWaitUntil;
    if (wake) ++pending_->waking;
  }
  if (wake) wakeAfterQueueing(*pending_);
}

void TWindowSystem::wakeAfterQueueing(TPendingCalls& pending) {
  pending.changed.notify_all();
  wakeUiThread();
  {
    std::lock_guard lock(pending.mutex);
    --pending.waking;
  }
  pending.changed.notify_all();
}

void TWindowSystem::cancelAsync(const void* key) {
  std::lock_guard lock(pending_->mutex);
  std::erase_if(pending_->queue, [key](const TQueued& q) { return !q.call && q.key == key; });
}

void TWindowSystem::pumpPending() {
  if (!isUiThread()) return;
  bool posted = false;
  for (;;) {
    TQueued next;
    {
      std::lock_guard lock(pending_->mutex);
      if (pending_->queue.empty()) {
        if (!posted) return;
        // Posts made in the next interval wait for this thread to come back.
        pending_->postsWaitUntil = std::chrono::steady_clock::now() + PostInterval;
        break;
      }
      next = std::move(pending_->queue.front());
      pending_->queue.pop_front();
      if (next.call) next.call->state = TCallState::Running;
    }
    if (!next.call) {
      next.post();
      posted = true;
      continue;
    }
    (*next.call->fn)();
    {
      std::lock_guard lock(pending_->mutex);
      next.call->state = TCallState::Done;
    }
    pending_->changed.notify_all();
  }
  pumpPendingAfter(PostInterval);
}

void TWindowSystem::waitPumping(const std::function<bool()>& finished) {
  const bool onUiThread = isUiThread();
  // A synchronous call is served at once, posts at their interval.
  const auto due = [&] {
    return std::any_of(pending_->queue.begin(), pending_->queue.end(),
                       [](const TQueued& q) { return q.call != nullptr; }) ||
           (!pending_->queue.empty() &&
            std::chrono::steady_clock::now() >= pending_->postsWaitUntil);
  };
  bool serve = onUiThread;
  while (!finished()) {
    if (serve) pumpPending();
    std::unique_lock lock(pending_->mutex);
    // Short waits: finished() has no way to signal this condition.
    pending_->changed.wait_for(lock, std::chrono::milliseconds(2),
                               [&] { return onUiThread && due(); });
    serve = onUiThread && due();
  }
}

void TWindowSystem::shutdown() {
  {
    std::lock_guard lock(pending_->mutex);
    pending_->shutDown = true;
    for (TQueued& queued : pending_->queue)
      if (queued.call) queued.call->state = TCallState::Dropped;
    pending_->queue.clear();
  }
  pending_->changed.notify_all();
  std::unique_lock lock(pending_->mutex);
  pending_->changed.wait(lock, [&] { return pending_->waking == 0; });
}

bool TWindowSystem::isShutDown() const {
  std::lock_guard lock(pending_->mutex);
  return pending_->shutDown;
}

bool TWindowSystem::isUiThread() const {
  std::lock_guard lock(pending_->mutex);
  return pending_->uiThread == std::this_thread::get_id();
}

void TWindowSystem::bindToCurrentThread() {
  std::lock_guard lock(pending_->mutex);
  pending_->uiThread = std::this_thread::get_id();
}

size_t TWindowSystem::queuedCalls() const {
  std::lock_guard lock(pending_->mutex);
  return static_cast<size_t>(
      std::ranges::count_if(pending_->queue, [](const TQueued& q) { return q.call != nullptr; }));
}

TColor TWindowSystem::systemColor(int32_t index) { return systemColorRgb(index); }

namespace {
std::unique_ptr<TWindowSystem>& installedSystem() {
  static std::unique_ptr<TWindowSystem> system;
  return system;
}

void windowSystemMessageBox(const std::string& text, const std::string& caption) {
  windowSystem().messageBox(text, caption);
}

// The serial reader and the timer thread change the display through
// synchronous calls to the UI thread. When the UI thread in turn waits for
// them (closing the port, stopping the watchdog), it keeps serving those
// calls, or both threads would wait for each other forever.
void serveWhileWaiting(const std::function<bool()>& done) { windowSystem().waitPumping(done); }
}  // namespace

TColor resolveColor(uint32_t color) {
  if (static_cast<int32_t>(color) >= 0) return color;
  return windowSystem().systemColor(static_cast<int32_t>(color & 0xFF));
}

TWindowSystem& windowSystem() {
  auto& system = installedSystem();
  if (!system) {
    installWindowSystem(std::getenv("QUIL_HEADLESS") != nullptr ? createHeadlessWindowSystem()
                                                                : createPlatformWindowSystem());
  }
  return *system;
}

void installWindowSystem(std::unique_ptr<TWindowSystem> system) {
  installedSystem() = std::move(system);
  systemSeams().messageBox = &windowSystemMessageBox;
  setWaitService(&serveWhileWaiting);
}

void pumpPendingCalls() { windowSystem().pumpPending(); }

void waitPumping(const std::function<bool()>& finished) { windowSystem().waitPumping(finished); }
