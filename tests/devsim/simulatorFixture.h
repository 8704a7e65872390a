// The host's end of the line for the simulator's tests: the port the
// simulator offers, read with time limits, and a simulator started
// in-process with the host's end opened.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "tools/devsim/crc16Modbus.h"
#include "tools/devsim/deviceSimulator.h"

namespace devsim_test {

using namespace std::chrono_literals;

// A stand-in firmware image: 508 blocks of reproducible noise.
inline std::string makeImage() {
  std::mt19937 random(7);
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
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const std::string piece = readOnce(std::max(left, 0ms), count - bytes.size());
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
  bool hungUp() {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, 3000) <= 0) return false;
    if (fd.revents & POLLHUP) return true;
    char byte;
    return ::read(fd_, &byte, 1) < 0 && errno == EIO;
  }

 private:
  int fd_ = -1;
};

class SimulatorTest : public ::testing::Test {
 protected:
  void start(devsim::SimulatorOptions options = {}) {
    simulator_ = std::make_unique<devsim::DeviceSimulator>(std::move(options));
    ASSERT_TRUE(simulator_->start()) << simulator_->error();
    host_ = std::make_unique<HostPort>(simulator_->portPath());
    ASSERT_TRUE(host_->isOpen());
    crc_ = devsim::kCrcInitial;
  }

  devsim::DeviceSimulator& simulator() { return *simulator_; }
  HostPort& host() { return *host_; }

  bool probe() {
    EXPECT_TRUE(host().write("VERS"));
    const std::string answer = host().read(20);
    EXPECT_EQ(answer, "QUILMATRONX QX1 1.00");
    return answer == "QUILMATRONX QX1 1.00";
  }

  // The expected answer after `bytes` more image bytes: the running CRC,
  // high byte first, with "FZ" after the last block.
  std::string expectAnswer(std::string_view bytes, bool final = false) {
    crc_ = devsim::crc16Modbus(crc_, bytes);
    return std::string{static_cast<char>(crc_ >> 8), static_cast<char>(crc_ & 0xFF)} +
           (final ? "FZ" : "");
  }

  // Sends blocks first..last, each in one write, and checks each answer.
  bool sendBlocks(int first, int last) {
    for (int n = first; n <= last; ++n) {
      const std::string bytes = block(image_, n);
      if (!host().write(bytes) || host().read(n == 508 ? 4 : 2) != expectAnswer(bytes, n == 508))
        return false;
    }
    return true;
  }

  bool ended(devsim::SessionOutcome outcome) {
    return simulator().waitFor(5s) && simulator().outcome() == outcome;
  }

  const std::string image_ = makeImage();
  uint16_t crc_ = devsim::kCrcInitial;

 private:
  std::unique_ptr<devsim::DeviceSimulator> simulator_;
  std::unique_ptr<HostPort> host_;
};

}  // namespace devsim_test
