#include "threadStop.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace {
// A plain pointer to the innermost scope on this thread's stack: MinGW frees
// a thread's thread_local storage before it runs their destructors, so no
// thread_local here may have one.
thread_local const TStopScope* innermostScope = nullptr;
std::atomic<TWaitService> waitService{nullptr};
}  // namespace

std::stop_token currentStopToken() {
  return innermostScope != nullptr ? innermostScope->token_ : std::stop_token();
}

TStopScope::TStopScope(std::stop_token token)
    : token_(std::move(token)), previous_(std::exchange(innermostScope, this)) {}

TStopScope::~TStopScope() { innermostScope = previous_; }

void setWaitService(TWaitService service) { waitService.store(service); }

void waitUntilDone(const std::function<bool()>& done) {
  if (const TWaitService service = waitService.load()) {
    service(done);
    return;
  }
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
