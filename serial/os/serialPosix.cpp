// Linux serial backend: termios2 (BOTHER sets any baud rate exactly, such as
// 38462), raw mode, non-blocking reads that return what is buffered, and a
// reader that waits with poll() on the port and an eventfd that wakes it.
//
// Port names are device names under /dev ("ttyUSB0") or full paths. The port
// list holds the ttys in /sys/class/tty that have a driver, then the full
// paths listed, colon-separated, in the environment variable
// QUILMATRONX_EXTRA_PORTS (ports the machine does not list itself: a pty of
// a simulator, a socat link). Listing opens none of them.
//
// What differs from the Windows driver: only EV_RXCHAR is ever reported (the
// other watches are accepted and stay silent); no line error bits are
// reported; DiscardNull and the queue sizes have no effect; DTR and RTS
// follow the control indexes (enable and handshake raise the line, RTS
// handshake also turns on RTS/CTS flow control, disable and RTS toggle drop
// it), and a tty without modem lines (a pty) ignores them.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>

#include "../portNames.h"
#include "../serialDevice.h"

using namespace serial;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int AbortCheckMs = 50;

// Opens a tty for reading and writing and takes the lock other programs
// check; -1 with errno saying why when it is missing, busy, not permitted or
// not a tty.
int openExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios2 t{};
  int failure = 0;
  if (::ioctl(fd, TCGETS2, &t) != 0) {
    failure = errno;
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Another program holds the port: busy, not "try again".
    failure = errno == EWOULDBLOCK ? EBUSY : errno;
  }
  if (failure == 0) return fd;
  ::close(fd);
  errno = failure;
  return -1;
}

std::string openErrorText(int code) {
  const std::string words = std::generic_category().message(code);
  if (code == ENOTTY) return "not a serial port (" + words + ")";
  if (code == EACCES || code == EPERM) {
    return words +
           "; serial ports belong to the group dialout: sudo usermod -aG dialout $USER, then "
           "log in again";
  }
  return words;
}

bool setCharacterSize(termios2& t, uint8_t byteSize) {
  static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
  if (byteSize < 5 || byteSize > 8) return false;
  t.c_cflag |= Sizes[byteSize - 5];
  return true;
}

bool setParity(termios2& t, uint8_t parity) {
  switch (parity) {
    case 0:
      return true;
    case 1:
      t.c_cflag |= PARENB | PARODD;
      return true;
    case 2:
      t.c_cflag |= PARENB;
      return true;
    case 3:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      return true;
    case 4:
      t.c_cflag |= PARENB | CMSPAR;
      return true;
    default:
      return false;
  }
}

void setModemLine(int fd, int line, bool on) {
  // A pty has no modem lines; that is not an error here.
  ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

class TPosixDevice;

class TPosixWaiter final : public TSerialWaiter {
 public:
  TPosixWaiter(const TPosixDevice& device, int fd, int wake)
      : device_(device), fd_(fd), wake_(wake) {}
  TResult wait(uint32_t& mask) override;

 private:
  const TPosixDevice& device_;
  const int fd_;
  const int wake_;
  // What the last report said, to tell bytes nobody took from new ones.
  int lastReported_ = 0;
  uint64_t readAtReport_ = 0;
};

class TPosixDevice final : public TSerialDevice {
 public:
  ~TPosixDevice() override { close(); }

  bool open(const std::string& name, std::string& error) override {
    const int fd = openExclusive(devicePath(name));
    if (fd < 0) {
      error = openErrorText(errno);
      return false;
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
      error = openErrorText(errno);
      ::close(fd);
      return false;
    }
    // Keeps other programs that honour it (and are not root) out.
    ::ioctl(fd, TIOCEXCL);
    wake_ = wake;
    fd_ = fd;
    return true;
  }

  bool configure(const TSerialSettings& s) override {
    const int fd = fd_;
    termios2 t{};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD |
                                        CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CREAD | CLOCAL;
    t.c_ispeed = s.BaudRate;
    t.c_ospeed = s.BaudRate;
    if (!setCharacterSize(t, s.ByteSize) || !setParity(t, s.Parity) || s.StopBits > 2) {
      return false;
    }
    if (s.StopBits != 0) t.c_cflag |= CSTOPB;  // one and a half: two
    const bool rtsHandshake = s.rtsControl() == 2;
    if ((s.Flags & flag::OutxCtsFlow) != 0 || rtsHandshake) t.c_cflag |= CRTSCTS;
    t.c_iflag = 0;
    if ((s.Flags & flag::OutX) != 0) t.c_iflag |= IXON;
    if ((s.Flags & flag::InX) != 0) t.c_iflag |= IXOFF;
    if ((s.Flags & flag::Parity) != 0) t.c_iflag |= INPCK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
    if (::ioctl(fd, TCSETS2, &t) != 0) return false;
    const uint32_t dtr = s.dtrControl();
    setModemLine(fd, TIOCM_DTR, dtr == 1 || dtr == 2);
    setModemLine(fd, TIOCM_RTS, s.rtsControl() == 1 || rtsHandshake);
    return true;
  }

  bool setTimeouts(const TSerialTimeouts& timeouts) override {
    writeConstant_ = timeouts.WriteTotalTimeoutConstant;
    writeMultiplier_ = timeouts.WriteTotalTimeoutMultiplier;
    writeLimit_ = timeouts.WriteTotalTimeoutLimit;
    return true;
  }

  bool setEventMask(uint32_t mask) override {
    mask_ = mask;
    return fd_ >= 0;
  }

  bool purge(uint32_t flags) override {
    if ((flags & PurgeTxAbort) != 0) writeAborts_.fetch_add(1);
    const int fd = fd_;
    if (fd < 0) return false;
    const bool rx = (flags & PurgeRxClear) != 0;
    // Only what is still queued is thrown away. A pty queues nothing, and
    // clearing its output throws away what the far end has not read yet
    // ("PUSK" right before a close).
    int queued = 0;
    const bool tx =
        (flags & PurgeTxClear) != 0 && (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued > 0);
    if (!rx && !tx) return true;
    return ::ioctl(fd, TCFLSH, rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH)) == 0;
  }

  void setupQueues(uint32_t, uint32_t) override {}

  bool modemStatus(uint32_t& status) override {
    int lines = 0;
    const int fd = fd_;
    if (fd < 0 || ::ioctl(fd, TIOCMGET, &lines) != 0) return false;
    status = ((lines & TIOCM_CTS) != 0 ? MsCtsOn : 0) | ((lines & TIOCM_DSR) != 0 ? MsDsrOn : 0) |
             ((lines & TIOCM_RNG) != 0 ? MsRingOn : 0) | ((lines & TIOCM_CAR) != 0 ? MsRlsdOn : 0);
    return true;
  }

  bool clearErrors(uint32_t& errors, uint32_t& waiting) override {
    int count = 0;
    const int fd = fd_;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &count) != 0) return false;
    errors = 0;
    waiting = static_cast<uint32_t>(count);
    return true;
  }

  bool write(const std::string& bytes, uint32_t& written) override {
    // A tty has no line error that holds the port: nothing to clear.
    const bool started = writeOnce(bytes, written);
    writeFailure_ = written == bytes.size() ? TSerialFailure::None : TSerialFailure::Other;
    return started;
  }

  TSerialFailure lastWriteFailure() const override { return writeFailure_; }

  bool writeOnce(const std::string& bytes, uint32_t& written) {
    const int fd = fd_;
    if (fd < 0) return false;
    const uint64_t aborts = writeAborts_.load();
    const bool timed = writeConstant_ != 0 || writeMultiplier_ != 0 || writeLimit_ != 0;
    // Set at the first wait: a write that goes out at once (each image byte)
    // reads no clock.
    std::optional<Clock::time_point> deadline;
    size_t done = 0;
    while (done < bytes.size() && writeAborts_.load() == aborts) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) {
        written = 0;
        return true;
      }
      // Short slices, so that an abort ends the wait soon.
      int waitMs = AbortCheckMs;
      if (timed) {
        const Clock::time_point now = Clock::now();
        if (!deadline) deadline = now + writeWait(bytes.size());
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now).count();
        if (left <= 0) break;  // timed out: what went out is the result
        waitMs = static_cast<int>(std::min<int64_t>(left, AbortCheckMs));
      }
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, waitMs) < 0 && errno != EINTR) break;
      if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        written = 0;
        return true;
      }
    }
    written = static_cast<uint32_t>(done);
    return true;
  }

  bool read(uint32_t count, std::string& bytes) override {
    const int fd = fd_;
    if (fd < 0) return false;
    bytes.resize(count);
    ssize_t n = 0;
    do {
      n = ::read(fd, bytes.data(), count);
    } while (n < 0 && errno == EINTR);
    // Nothing waiting (EAGAIN) or a port gone: the read finished with nothing.
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) bytesRead_ += static_cast<uint64_t>(n);
    return true;
  }

  bool drain(bool unbounded) override {
    const int fd = fd_;
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
    const Clock::time_point deadline = Clock::now() + writeTimeout(static_cast<size_t>(queued));
    while (queued > 0 && (unbounded || Clock::now() < deadline)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (::ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
    }
    if (queued > 0) return false;
    // The driver's queue is empty: what its hardware still holds leaves
    // within a few byte times.
    ::ioctl(fd, TCSBRK, 1);
    return true;
  }

  void close() override {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) {
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
    }
    const int wake = wake_.exchange(-1);
    if (wake >= 0) ::close(wake);
  }

  std::unique_ptr<TSerialWaiter> makeWaiter() override {
    return std::make_unique<TPosixWaiter>(*this, fd_, wake_);
  }

  void wakeReader() override {
    const uint64_t one = 1;
    const int wake = wake_;
    if (wake < 0) return;
    // Only a full counter can refuse the write, and that one wakes anyway.
    [[maybe_unused]] const ssize_t ignored = ::write(wake, &one, sizeof one);
  }

  void rearmReader() override {
    uint64_t count = 0;
    const int wake = wake_;
    // Reading the counter resets it; an unwoken one refuses (non-blocking).
    if (wake < 0) return;
    [[maybe_unused]] const ssize_t ignored = ::read(wake, &count, sizeof count);
  }

  uint32_t mask() const { return mask_; }
  uint64_t bytesRead() const { return bytesRead_; }

 private:
  std::atomic<int> fd_{-1};
  std::atomic<int> wake_{-1};
  std::atomic<uint32_t> mask_{0};
  std::atomic<uint64_t> bytesRead_{0};
  std::atomic<uint64_t> writeAborts_{0};
  std::atomic<TSerialFailure> writeFailure_{TSerialFailure::None};
  uint32_t writeConstant_ = 0;
  uint32_t writeMultiplier_ = 0;
  uint32_t writeLimit_ = 0;

  // How long a write of a count of bytes may wait: the write time-out, at
  // most the limit.
  std::chrono::milliseconds writeWait(size_t bytes) const {
    const std::chrono::milliseconds limit(writeLimit_);
    if (writeConstant_ == 0 && writeMultiplier_ == 0) return limit;
    return writeLimit_ == 0 ? writeTimeout(bytes) : std::min(writeTimeout(bytes), limit);
  }

  // The write time-out for a count of bytes; without configured time-outs
  // (writes then wait as long as it takes) a drain still gives up after a
  // second.
  std::chrono::milliseconds writeTimeout(size_t bytes) const {
    if (writeConstant_ == 0 && writeMultiplier_ == 0) return std::chrono::milliseconds(1000);
    return std::chrono::milliseconds(writeConstant_ +
                                     static_cast<uint64_t>(writeMultiplier_) * bytes);
  }
};

TSerialWaiter::TResult TPosixWaiter::wait(uint32_t& mask) {
  constexpr int RetryMs = 10;
  for (;;) {
    const bool watchRx = (device_.mask() & EvRxChar) != 0;
    // Bytes reported but not taken by anyone: only new bytes make a new
    // report, and poll() cannot wait for those, so look again shortly.
    const bool unclaimed = lastReported_ > 0 && device_.bytesRead() == readAtReport_;
    pollfd p[2] = {{fd_, static_cast<short>(watchRx && !unclaimed ? POLLIN : 0), 0},
                   {wake_, POLLIN, 0}};
    if (::poll(p, 2, unclaimed ? RetryMs : -1) < 0) {
      if (errno == EINTR) continue;
      return TResult::Failed;
    }
    if (p[1].revents != 0) return TResult::Stopped;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) return TResult::Failed;
    const bool fresh = device_.bytesRead() != readAtReport_ || waiting > lastReported_;
    if (watchRx && waiting > 0 && fresh) {
      lastReported_ = waiting;
      readAtReport_ = device_.bytesRead();
      mask = EvRxChar;
      return TResult::Event;
    }
    if ((p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return TResult::Failed;
    if (waiting == 0) lastReported_ = 0;
    if ((p[0].revents & POLLIN) != 0) {
      // Readable with nothing to read: do not spin on it.
      pollfd w{wake_, POLLIN, 0};
      if (::poll(&w, 1, RetryMs) > 0) return TResult::Stopped;
    }
  }
}

// ttyS0 before ttyS1 before ttyS10.
bool naturalLess(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& s) {
    size_t i = s.size();
    while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
    const std::string digits = s.substr(i);
    return std::make_pair(s.substr(0, i), digits.size() > 9 ? 0 : std::atoll(digits.c_str()));
  };
  return split(a) < split(b);
}

class TPosixSerialSystem final : public TSerialSystem {
 public:
  std::unique_ptr<TSerialDevice> createDevice() override {
    return std::make_unique<TPosixDevice>();
  }

  int32_t portNumber(const std::string& name) override { return devicePortNumber(name); }

  std::vector<TListedPort> systemPorts() override {
    std::vector<std::string> names = driverTtys();
    std::sort(names.begin(), names.end(), naturalLess);
    for (std::string& path : extraPorts()) names.push_back(std::move(path));
    std::vector<TListedPort> ports;
    for (std::string& name : names) {
      const bool bluetooth = name.starts_with("rfcomm");
      ports.push_back({std::move(name), bluetooth});
    }
    return ports;
  }

  bool portOpens(const std::string& name) override {
    const int fd = openExclusive(devicePath(name));
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

 private:
  static std::vector<std::string> driverTtys() {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it("/sys/class/tty", error), end; !error && it != end;
         it.increment(error)) {
      std::error_code missing;
      // Virtual consoles and ptys have no device driver; serial ports do.
      if (fs::exists(it->path() / "device" / "driver", missing)) {
        names.push_back(it->path().filename().string());
      }
    }
    return names;
  }

  static std::vector<std::string> extraPorts() {
    std::vector<std::string> paths;
    const char* list = std::getenv("QUILMATRONX_EXTRA_PORTS");
    if (list == nullptr) return paths;
    const std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
      const size_t end = std::min(text.find(':', start), text.size());
      std::string path = text.substr(start, end - start);
      // Full paths only, so an entry cannot be mistaken for a name in /dev.
      if (path.starts_with('/') && devicePortNumber(path) != 0) paths.push_back(std::move(path));
      start = end + 1;
    }
    return paths;
  }
};

}  // namespace

TSerialSystem& platformSerialSystem() {
  static TPosixSerialSystem system;
  return system;
}
