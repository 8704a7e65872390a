// What the Windows backend adds to an open: a retry after this process's
// own close, and plain words for the failures an operator meets. Plain text
// and time work, so it is tested on every platform.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// Some drivers refuse an open with access denied for a moment after the
// port was closed. An open so refused less than a second after this
// process closed the same port is tried again for up to a second.
class TReopenRule {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds Window{1000};

  void closed(const std::string& port, Clock::time_point at);
  // Until when an open refused at `now` is tried again; none when this
  // process did not close the port within the last second.
  std::optional<Clock::time_point> retryUntil(const std::string& port, Clock::time_point now) const;

 private:
  mutable std::mutex lock_;
  std::map<std::string, Clock::time_point> closes_;  // by upper-case name
};

// Why an open failed, for the operator: plain words where the system's
// are no help, with the system's own text beside them.
std::string openFailureText(unsigned long code, const std::string& systemText);
