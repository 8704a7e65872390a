// Collects text pieces and passes them on together: what inAdd was given
// since the last time goes out at inFlush, or at once when it has reached
// Size bytes (0: only at inFlush). The upload gathers a block's bytes so
// that the block goes to the port in one write.
//
// One thread at a time: a sender that hands the sending on to another
// thread orders the two itself (the upload does, through the port).
#pragma once

#include <cstdint>
#include <string>

#include "runtime/link.h"

class TZKStrCollect {
 public:
  uint32_t Size = 0;
  TEventLink outText;

  void inAdd(TData& d, uint16_t index);
  // Passes on what has been collected, if anything.
  void inFlush(TData& d, uint16_t index);

 private:
  std::string text_;
};
