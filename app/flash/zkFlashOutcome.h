// Collects what the probe and the upload report, in the order the command
// line acts on it, and lets the main thread wait for the next stage.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "runtime/link.h"

enum class TFlashStage { Probing, PortFailed, NoDevice, Found, Done, TransferError, Interrupted };

class TZKFlashOutcome {
 public:
  // The port's open result: 0 means it could not be opened.
  void inOpened(TData& d, uint16_t index);
  // The probe found no device (or the port did not open).
  void inFail(TData& d, uint16_t index);
  void inFound(TData& d, uint16_t index);
  // The first of done or error decides the transfer; later reports are
  // ignored, as the form ignores an error after success.
  void inDone(TData& d, uint16_t index);
  void inError(TData& d, uint16_t index);

  // What the main thread decides itself (a probe that got no answer in
  // time, Ctrl-C): moves from `from` to `to` unless the stage has already
  // moved on; true when it did.
  bool decide(TFlashStage from, TFlashStage to);

  TFlashStage stage() const;
  // When the stage last changed.
  std::chrono::steady_clock::time_point changedAt() const;
  // Waits until the stage is no longer `from`, the time is up, or
  // `interrupted` turns true; returns the stage then.
  template <class Flag>
  TFlashStage waitPast(TFlashStage from, std::chrono::milliseconds timeout,
                       const Flag& interrupted);

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  TFlashStage stage_ = TFlashStage::Probing;
  std::chrono::steady_clock::time_point changedAt_ = std::chrono::steady_clock::now();
  bool portFailed_ = false;
};

template <class Flag>
TFlashStage TZKFlashOutcome::waitPast(TFlashStage from, std::chrono::milliseconds timeout,
                                      const Flag& interrupted) {
  // Short slices: a signal handler can only set a flag, not notify.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock guard(lock_);
  while (stage_ == from && !interrupted() && std::chrono::steady_clock::now() < deadline)
    changed_.wait_for(guard, std::chrono::milliseconds(20));
  return stage_;
}
