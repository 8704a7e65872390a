#include "zkLatch.h"

#include <algorithm>

namespace {
// The latches whose pass this thread is running (a decision from inside a
// pass must not wait for that pass).
thread_local std::vector<const TZKLatch*> passingHere;
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
    passingHere.push_back(this);
    fireEvent(outPass[index], d);
    passingHere.pop_back();
  }
  passing_.fetch_sub(1);
  if (decided_.load()) passing_.notify_all();
}

void TZKLatch::inDecide(TData& d, uint16_t index) {
  if (decided_.exchange(true)) return;
  const auto own = static_cast<int>(std::count(passingHere.begin(), passingHere.end(), this));
  for (int running = passing_.load(); running > own; running = passing_.load()) {
    passing_.wait(running);
  }
  fireEvent(outClosed, static_cast<const TData&>(d));
  if (index < outDecided.size()) tailEvent(d, outDecided[index]);
}

void TZKLatch::varOpen(TData& d, uint16_t) { makeInteger(d, decided_.load() ? 0 : 1); }
