// Matches a text against a wildcard mask: "#" one decimal digit, "?" any one
// byte, "*" any run of bytes (empty included); every other byte stands for
// itself. The whole text must be covered by the whole mask.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "runtime/link.h"

class TZKStrMask {
 public:
  // Set at configuration; later only through inMask.
  std::string Mask;
  uint8_t IgnoreCase = 0;  // 1 compares Windows-1251 letters case-blind
  TEventLink dataStr;
  TEventLink outTrue;
  TEventLink outFalse;
  // Linked: a text that does not match but is the beginning of one that
  // would (an answer still arriving) goes here instead of outFalse.
  TEventLink outPrefix;

  // Sends the text, as read, on outTrue when it matches, else on outPrefix
  // or outFalse.
  void inCompare(TData& d, uint16_t index);
  // Replaces Mask by the incoming value; nothing is sent.
  void inMask(TData& d, uint16_t index);

 private:
  // The upload's masks move on with every byte sent, on the sending thread,
  // while an answer (a stray one need not wait for a write) is compared on
  // the reader thread.
  std::mutex maskLock_;
};
