// The USB-serial adapter between the device and the host, as the host sees
// it: the chip takes the device's bytes off the line into a buffer and hands
// the buffer to the host only when its timer expires (a latency timer,
// restarted at every send, or a host's poll) or when a packet is full. So
// one answer can reach the host in several reads.
//
// The timer runs free of the device: where its expiry falls against an
// answer is drawn from a generator seeded once, so a run is repeatable and
// a test can pick seeds that cut the answers it wants cut.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace devsim {

struct AdapterOptions {
  enum class Kind { None, LatencyTimer, Polled };
  Kind kind = Kind::None;
  std::chrono::microseconds period{16000};  // the timer or the poll interval
  size_t packet = 62;                       // bytes per packet to the host; 0: no limit
  uint32_t seed = 1;
};

class AdapterLine {
 public:
  using Duration = std::chrono::nanoseconds;
  struct Piece {
    size_t size;     // bytes handed over
    Duration after;  // when, after the answer's first byte reached the chip
  };

  explicit AdapterLine(const AdapterOptions& options);
  bool active() const { return options_.kind != AdapterOptions::Kind::None; }

  // Cuts an answer of `size` bytes that reach the chip `byteTime` apart
  // into the pieces the host receives; adds what the chip held the last
  // byte back to delay().
  std::vector<Piece> cut(size_t size, Duration byteTime);
  // How long the chip held answers back in all: from each answer's last
  // byte on the line to its delivery.
  Duration delay() const { return delay_; }
  // Answers handed over in more than one piece.
  int cutAnswers() const { return cutAnswers_; }

 private:
  AdapterOptions options_;
  std::mt19937 random_;
  Duration delay_{};
  int cutAnswers_ = 0;
};

}  // namespace devsim
