// The host's end of the line for the simulator's tests: opens the port the
// simulator offers and reads its answers with time limits, plus the
// expected answers computed here, independently of the simulator.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace devsim_test {

using namespace std::chrono_literals;

// Bit by bit, the textbook way; the simulator uses a table.
inline uint16_t referenceCrc(uint16_t crc, std::string_view bytes) {
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
  }
  return crc;
}

inline std::string crcAnswer(uint16_t crc) {
  return {static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

// A stand-in firmware image: 508 blocks of reproducible noise.
inline std::string makeImage(unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string image(508 * 256, '\0');
  for (char& c : image) c = static_cast<char>(random() & 0xFF);
  return image;
}

inline std::string block(const std::string& image, int n) {
  return image.substr(static_cast<size_t>(n - 1) * 256, 256);
}

class HostPort {
 public:
  explicit HostPort(const std::string& path) { open(path); }
  // Takes over an open descriptor.
  explicit HostPort(int fd) : fd_(fd) {}
  ~HostPort() { close(); }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  void open(const std::string& path) { fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool isOpen() const { return fd_ >= 0; }

  // One write call; false when it did not take all the bytes.
  bool write(std::string_view bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Collects bytes until `count` have come or `timeout` has passed.
  std::string read(size_t count, std::chrono::milliseconds timeout = 3000ms) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
      const std::string piece = readOnce(remaining(deadline), count - bytes.size());
      if (piece.empty()) break;
      bytes += piece;
    }
    return bytes;
  }

  // What one read call returns once something is there (empty on time-out
  // or hang-up), as a serial reader sees it.
  std::string readOnce(std::chrono::milliseconds timeout = 3000ms, size_t most = 4096) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0 || !(fd.revents & POLLIN)) return {};
    std::string bytes(most, '\0');
    const ssize_t count = ::read(fd_, bytes.data(), most);
    bytes.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return bytes;
  }

  // True when the device end has gone (the pty reports a hang-up).
  bool hungUp(std::chrono::milliseconds timeout = 3000ms) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return false;
    if (fd.revents & POLLHUP) return true;
    char byte;
    return ::read(fd_, &byte, 1) < 0 && errno == EIO;
  }

 private:
  static std::chrono::milliseconds remaining(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(left), 0ms);
  }

  int fd_ = -1;
};

// Sends blocks first..last of the image, each in one write, and checks each
// answer against the running CRC, which it carries on in `crc`.
inline bool sendBlocks(HostPort& host, const std::string& image, int first, int last,
                       uint16_t& crc) {
  for (int n = first; n <= last; ++n) {
    const std::string bytes = block(image, n);
    if (!host.write(bytes)) return false;
    crc = referenceCrc(crc, bytes);
    const std::string expected = crcAnswer(crc) + (n == 508 ? "FZ" : "");
    if (host.read(expected.size()) != expected) return false;
  }
  return true;
}

}  // namespace devsim_test
