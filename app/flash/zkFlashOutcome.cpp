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
  advance(TFlashStage::Probing, portFailed ? TFlashStage::PortFailed : TFlashStage::NoDevice);
}

void TZKFlashOutcome::inFound(TData&, uint16_t) {
  advance(TFlashStage::Probing, TFlashStage::Found);
}

void TZKFlashOutcome::inDone(TData&, uint16_t) { advance(TFlashStage::Found, TFlashStage::Done); }

void TZKFlashOutcome::inError(TData&, uint16_t) {
  advance(TFlashStage::Found, TFlashStage::TransferError);
}

TFlashStage TZKFlashOutcome::stage() const {
  std::lock_guard guard(lock_);
  return stage_;
}

void TZKFlashOutcome::advance(TFlashStage expected, TFlashStage next) {
  {
    std::lock_guard guard(lock_);
    if (stage_ != expected) return;
    stage_ = next;
  }
  changed_.notify_all();
}
