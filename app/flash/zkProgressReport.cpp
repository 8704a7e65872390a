#include "zkProgressReport.h"

#include <algorithm>

#include "app/flash/console.h"

void TZKProgressReport::inSetPosition(TData& d, uint16_t) {
  if (blocks_ == 0) started_ = std::chrono::steady_clock::now();
  blocks_ = std::clamp(toInteger(d), 0, Total);
  show(blocks_);
}

void TZKProgressReport::finish(bool complete) {
  if (complete) show(Total);
  if (drawn_ && Terminal) printText(Stream, "\n");
  drawn_ = false;
}

void TZKProgressReport::show(int32_t blocks) {
  const int32_t percent = Total > 0 ? blocks * 100 / Total : 100;
  if (!Terminal) {
    const int32_t step = percent / 5;
    if (step == lastPercentStep_) return;
    lastPercentStep_ = step;
    printText(Stream, "progress: " + std::to_string(percent) + "% (" + std::to_string(blocks) +
                          "/" + std::to_string(Total) + " blocks)\n");
    return;
  }
  printText(Stream, "\r" + bar(blocks, percent));
  drawn_ = true;
}

std::string TZKProgressReport::bar(int32_t blocks, int32_t percent) const {
  constexpr int32_t width = 30;
  const int32_t filled = percent * width / 100;
  std::string text = "[" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(width - filled), '.') + "] ";
  text += std::to_string(percent) + "%  " + std::to_string(blocks) + "/" + std::to_string(Total) +
          " blocks";
  if (blocks > 0 && blocks < Total) {
    const auto elapsed = std::chrono::steady_clock::now() - started_;
    const auto left =
        std::chrono::duration_cast<std::chrono::seconds>(elapsed * (Total - blocks) / blocks);
    const auto seconds = left.count();
    text += "  " + std::to_string(seconds / 60) + ":" + (seconds % 60 < 10 ? "0" : "") +
            std::to_string(seconds % 60) + " left";
  }
  return text + "   ";
}
