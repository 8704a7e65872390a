#include "tools/devsim/adapterLine.h"

namespace devsim {

AdapterLine::AdapterLine(const AdapterOptions& options)
    : options_(options), random_(options.seed) {}

std::vector<AdapterLine::Piece> AdapterLine::cut(size_t size, Duration byteTime) {
  std::vector<Piece> pieces;
  if (size == 0) return pieces;
  const Duration period = options_.period;
  // Time from the first byte's arrival to the timer's next expiry.
  Duration expiry{std::uniform_int_distribution<int64_t>(1, period.count())(random_)};
  size_t held = 0;
  for (size_t i = 0; i < size; ++i) {
    const Duration arrived = byteTime * static_cast<int64_t>(i);
    // Expiries before this byte hand over what is held (an empty buffer
    // sends nothing; the timer runs on).
    while (expiry < arrived) {
      if (held > 0) pieces.push_back({held, expiry});
      held = 0;
      expiry += period;
    }
    ++held;
    if (options_.packet > 0 && held == options_.packet) {
      pieces.push_back({held, arrived});
      held = 0;
      expiry = arrived + period;  // a send restarts the timer
    }
  }
  if (held > 0) pieces.push_back({held, expiry});
  const Duration lastByte = byteTime * static_cast<int64_t>(size - 1);
  delay_ += pieces.back().after - lastByte;
  if (pieces.size() > 1) ++cutAnswers_;
  return pieces;
}

}  // namespace devsim

// The simulator's side: where the pieces go out.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "tools/devsim/deviceSimulator.h"

namespace devsim {

namespace {
// Unpaced, the pieces still follow the line's byte time for the cut, and go
// out this far apart so that the host reads them apart.
constexpr auto unpacedByteTime = std::chrono::nanoseconds(10'000'000'000LL / 38462);
constexpr auto unpacedPieceGap = std::chrono::milliseconds(1);
}  // namespace

bool DeviceSimulator::writeThroughAdapter(std::string_view bytes, Clock::time_point at) {
  const Clock::time_point start = std::max(outboundFree_, at);
  const bool paced = byteTime_.count() > 0;
  std::vector<AdapterLine::Piece> pieces;
  {
    std::lock_guard lock(stateMutex_);
    pieces = adapter_.cut(bytes.size(), paced ? byteTime_ : unpacedByteTime);
  }
  outboundFree_ = start + byteTime_ * static_cast<Clock::rep>(bytes.size());
  const Clock::time_point firstByte = start + byteTime_;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const auto when = paced ? firstByte + pieces[i].after : Clock::now() + unpacedPieceGap;
    if (!pauseUntil(i == 0 && !paced ? start : when) || !writeAll(bytes.substr(0, pieces[i].size)))
      return false;
    bytes.remove_prefix(pieces[i].size);
  }
  return true;
}

void DeviceSimulator::countForStall() {
  if (options_.stallAfter < 0 || ++bytesIn_ != options_.stallAfter || !options_.attachPath.empty())
    return;
  stall_ = ::open(portPath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (stall_ >= 0 && tcflow(stall_, TCOOFF) == 0) {
    addLog("transmit stopped after " + std::to_string(bytesIn_) + " bytes");
  } else {
    addLog("cannot stop the transmit");
  }
}

}  // namespace devsim
