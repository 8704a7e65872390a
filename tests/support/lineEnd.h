// One end of a serial line on a pty, read with time limits.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

class TLineEnd {
 public:
  TLineEnd() = default;
  explicit TLineEnd(const std::string& path) { open(path); }
  ~TLineEnd() { close(); }
  TLineEnd(const TLineEnd&) = delete;
  TLineEnd& operator=(const TLineEnd&) = delete;

  void open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  }
  // At the device's end: the device is unplugged.
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool isOpen() const { return fd_ >= 0; }

  // False when the far end has not taken all the bytes within the time: a
  // port that stops reading fails the test instead of hanging it.
  bool write(std::string_view bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<size_t>(n));
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd fd{fd_, POLLOUT, 0};
      if ((n < 0 && errno != EAGAIN) || left.count() <= 0 ||
          ::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
        return false;
    }
    return true;
  }

  // Collects bytes until count have come or the time is up.
  std::string read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const std::string piece =
          readOnce(std::max(left, std::chrono::milliseconds(0)), count - bytes.size());
      if (piece.empty()) break;
      bytes += piece;
    }
    return bytes;
  }

  // One read call once something is there (empty on time-out or hang-up).
  std::string readOnce(std::chrono::milliseconds timeout = std::chrono::seconds(3),
                       size_t most = 4096) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0 || !(fd.revents & POLLIN)) return {};
    std::string bytes(most, '\0');
    const ssize_t count = ::read(fd_, bytes.data(), most);
    bytes.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return bytes;
  }

 protected:
  int fd_ = -1;
};

// A pty pair whose device end the test holds; it keeps the port open too, so
// the pair lives on between other opens.
class TPtyPair : public TLineEnd {
 public:
  TPtyPair() {
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0 ||
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK) != 0)
      std::abort();
    portPath_ = ::ptsname(fd_);
    portFd_ = ::open(portPath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~TPtyPair() {
    close();
    ::close(portFd_);
  }
  const std::string& portPath() const { return portPath_; }
  // The test's own handle on the port.
  int portFd() const { return portFd_; }

 private:
  std::string portPath_;
  int portFd_ = -1;
};
