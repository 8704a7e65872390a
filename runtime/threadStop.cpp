#include "threadStop.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace {
thread_local std::stop_token threadToken;
std::atomic<TWaitService> waitService{nullptr};
}  // namespace

std::stop_token currentStopToken() { return threadToken; }

TStopScope::TStopScope(std::stop_token token) : previous_(std::exchange(threadToken, token)) {}

TStopScope::~TStopScope() { threadToken = std::move(previous_); }

void setWaitService(TWaitService service) { waitService.store(service); }

void waitUntilDone(const std::function<bool()>& done) {
  if (const TWaitService service = waitService.load()) {
    service(done);
    return;
  }
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
