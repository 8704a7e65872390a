#include "os/openRules.h"

#include <cctype>

namespace {

std::string upper(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Win32 error codes.
constexpr unsigned long AccessDenied = 5;
constexpr unsigned long SemaphoreTimeout = 121;

}  // namespace

void TReopenRule::closed(const std::string& port, Clock::time_point at) {
  std::lock_guard guard(lock_);
  closes_[upper(port)] = at;
}

std::optional<TReopenRule::Clock::time_point> TReopenRule::retryUntil(const std::string& port,
                                                                      Clock::time_point now) const {
  std::lock_guard guard(lock_);
  const auto close = closes_.find(upper(port));
  if (close == closes_.end() || now - close->second >= Window) return std::nullopt;
  return now + Window;
}

std::string openFailureText(unsigned long code, const std::string& systemText) {
  switch (code) {
    case AccessDenied:
      // A port another program holds is refused this way too.
      return systemText + " (is another program using the port?)";
    case SemaphoreTimeout:
      // A Bluetooth port's open connects to the device.
      return "the Bluetooth device did not answer: is it switched on, in range and paired? (" +
             systemText + ")";
    default:
      return systemText;
  }
}
