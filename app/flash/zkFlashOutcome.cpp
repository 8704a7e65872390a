#include "zkFlashOutcome.h"

void TZKFlashOutcome::inOpened(TData& d, uint16_t) {
  std::lock_guard guard(lock_);
  portFailed_ = toInteger(d) == 0;
}

void TZKFlashOutcome::inFail(TData&, uint16_t) {
  bool portFailed = false;
  {
    std::lock_guard guard(lock_);
    portFailed = portFailed_;
  }
  decide(TFlashStage::Probing, portFailed ? TFlashStage::PortFailed : TFlashStage::NoDevice);
}

void TZKFlashOutcome::inFound(TData&, uint16_t) {
  decide(TFlashStage::Probing, TFlashStage::Found);
}

void TZKFlashOutcome::inDone(TData&, uint16_t) { decide(TFlashStage::Found, TFlashStage::Done); }

void TZKFlashOutcome::inError(TData&, uint16_t) {
  decide(TFlashStage::Found, TFlashStage::TransferError);
}

TFlashStage TZKFlashOutcome::stage() const {
  std::lock_guard guard(lock_);
  return stage_;
}

std::chrono::steady_clock::time_point TZKFlashOutcome::changedAt() const {
  std::lock_guard guard(lock_);
  return changedAt_;
}

bool TZKFlashOutcome::decide(TFlashStage from, TFlashStage to) {
  {
    std::lock_guard guard(lock_);
    if (stage_ != from) return false;
    stage_ = to;
    changedAt_ = std::chrono::steady_clock::now();
  }
  changed_.notify_all();
  return true;
}
