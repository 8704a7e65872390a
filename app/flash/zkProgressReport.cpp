#include "zkProgressReport.h"

#include <algorithm>

namespace {
std::string minutesAndSeconds(int64_t seconds) {
  return std::to_string(seconds / 60) + ":" + (seconds % 60 < 10 ? "0" : "") +
         std::to_string(seconds % 60);
}
}  // namespace

void TZKProgressReport::attach(TConsoleBoard& board, std::string label) {
  std::lock_guard guard(lock_);
  board_ = &board;
  label_ = std::move(label);
  if (board.live()) row_ = board.addRow();
}

void TZKProgressReport::inSetPosition(TData& d, uint16_t) {
  const int32_t blocks = toInteger(d);
  if (blocks <= 0) return;
  std::lock_guard guard(lock_);
  blocks_ = std::min(blocks, Total);
  show();
}

void TZKProgressReport::setDevice(const std::string& device) {
  std::lock_guard guard(lock_);
  device_ = device;
  if (board_ != nullptr && board_->live()) board_->setRow(row_, label_ + padded(device_, 16));
}

void TZKProgressReport::start() {
  std::lock_guard guard(lock_);
  started_ = std::chrono::steady_clock::now();
  show();
}

void TZKProgressReport::finish(int32_t blocks, const std::string& outcome) {
  std::lock_guard guard(lock_);
  if (board_ == nullptr) return;
  if (blocks > blocks_) {
    blocks_ = std::min(blocks, Total);
    if (!board_->live()) show();
  }
  if (board_->live()) board_->setRow(row_, label_ + padded(device_, 16) + outcome);
}

std::string TZKProgressReport::counts() const {
  return std::to_string(blocks_) + "/" + std::to_string(Total) + " blocks";
}

void TZKProgressReport::show() {
  if (board_ == nullptr) return;
  const int32_t percent = blocks_ * 100 / Total;
  if (!board_->live()) {
    if (percent / 10 == lastStep_) return;
    lastStep_ = percent / 10;
    board_->print(board_->err(),
                  label_ + "progress " + std::to_string(percent) + "% (" + counts() + ")");
    return;
  }
  std::string text =
      label_ + padded(device_, 16) + padded(std::to_string(percent) + "%", 5) + counts();
  if (blocks_ > 0 && blocks_ < Total) {
    const auto elapsed = std::chrono::steady_clock::now() - started_;
    const auto left =
        std::chrono::duration_cast<std::chrono::seconds>(elapsed * (Total - blocks_) / blocks_);
    text += "  " + minutesAndSeconds(left.count()) + " left";
  }
  board_->setRow(row_, text);
}
