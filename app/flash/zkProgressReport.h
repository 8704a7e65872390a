// Shows the upload's progress on a console stream: a redrawn bar with the
// percentage, blocks done and time left on a terminal, otherwise a plain line
// at most every 5 %.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "runtime/link.h"

class TZKProgressReport {
 public:
  std::FILE* Stream = stderr;
  bool Terminal = false;
  int32_t Total = 508;  // blocks in the image

  // Data: the number of acknowledged blocks.
  void inSetPosition(TData& d, uint16_t index);
  // The transfer is over: shows the last state (all blocks when complete)
  // and ends the bar's line.
  void finish(bool complete);

 private:
  void show(int32_t blocks);
  std::string bar(int32_t blocks, int32_t percent) const;

  std::chrono::steady_clock::time_point started_{};
  int32_t blocks_ = 0;
  int32_t lastPercentStep_ = -1;
  bool drawn_ = false;
};
