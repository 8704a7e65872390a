#include "zkLatch.h"

namespace {
// The latches whose pass this thread is running (a decision from inside a
// pass must not wait for that pass): a chain through the passes' stack
// frames, innermost first. A plain pointer because MinGW frees a thread's
// thread_local storage before it runs their destructors.
struct TPassHere {
  const TZKLatch* latch;
  const TPassHere* outer;
};
thread_local const TPassHere* passingHere = nullptr;

int passesHere(const TZKLatch* latch) {
  int count = 0;
  for (const TPassHere* pass = passingHere; pass != nullptr; pass = pass->outer) {
    if (pass->latch == latch) ++count;
  }
  return count;
}
}  // namespace

void TZKLatch::setCounts(uint16_t passes, uint16_t decisions) {
  outPass.resize(passes);
  outDecided.resize(decisions);
}

void TZKLatch::inPass(TData& d, uint16_t index) {
  // Counted before the check: a decision either sees this pass and waits
  // for it, or is seen by it.
  passing_.fetch_add(1);
  if (!decided_.load() && index < outPass.size()) {
    const TPassHere pass{this, passingHere};
    passingHere = &pass;
    fireEvent(outPass[index], d);
    passingHere = pass.outer;
  }
  passing_.fetch_sub(1);
  if (decided_.load()) {
    // Taken once between the count and the notice: a decision that saw the
    // old count is waiting by now and gets it.
    { const std::lock_guard lock(passEndLock_); }
    passEnded_.notify_all();
  }
}

void TZKLatch::inDecide(TData& d, uint16_t index) {
  if (decided_.exchange(true)) return;
  const int own = passesHere(this);
  std::unique_lock lock(passEndLock_);
  passEnded_.wait(lock, [&] { return passing_.load() <= own; });
  lock.unlock();
  fireEvent(outClosed, static_cast<const TData&>(d));
  if (index < outDecided.size()) tailEvent(d, outDecided[index]);
}

void TZKLatch::varOpen(TData& d, uint16_t) { makeInteger(d, decided_.load() ? 0 : 1); }
