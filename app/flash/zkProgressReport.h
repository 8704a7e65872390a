// Shows one port's upload progress on the shared console: on a live
// terminal as the port's line (port, device, percentage, blocks, time
// left), otherwise as a line on standard error at every 10 %.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "app/flash/consoleBoard.h"
#include "runtime/link.h"

class TZKProgressReport {
 public:
  int32_t Total = 508;  // blocks in the image

  // Takes a line on the board; label starts it (the port, padded).
  void attach(TConsoleBoard& board, std::string label);
  // Data: the number of acknowledged blocks. 0 is the block counter
  // wrapping past the last block: no progress.
  void inSetPosition(TData& d, uint16_t index);
  // The device as the line shows it (UTF-8).
  void setDevice(const std::string& device);
  // The upload begins: the time left counts from now.
  void start();
  // The port's outcome ends its line; blocks: the blocks the device
  // acknowledged in the end (0: as shown so far).
  void finish(int32_t blocks, const std::string& outcome);

 private:
  void show();
  std::string counts() const;

  std::mutex lock_;
  TConsoleBoard* board_ = nullptr;
  size_t row_ = 0;
  std::string label_;
  std::string device_ = "-";
  std::chrono::steady_clock::time_point started_{};
  int32_t blocks_ = 0;
  int32_t lastStep_ = 0;  // 10 % steps shown; none at the start
};
