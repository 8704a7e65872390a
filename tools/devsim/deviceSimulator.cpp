#include "tools/devsim/deviceSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/devsim/lineSettings.h"

namespace devsim {

namespace {

bool setFlags(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
         fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

void DeviceSimulator::closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

DeviceSimulator::DeviceSimulator(SimulatorOptions options)
    : options_(std::move(options)),
      protocol_(options_, [this](const std::string& line) { addLog(line); }),
      adapter_(options_.adapter) {}

DeviceSimulator::~DeviceSimulator() {
  stop();
  closeFd(hold_);
  closeFd(stall_);
  closeFd(port_);
  closeFd(wake_);
}

bool DeviceSimulator::start() {
  if (wake_ >= 0) {
    error_ = "the simulator runs one session only";
    return false;
  }
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) {
    error_ = std::string("cannot create an eventfd: ") + std::strerror(errno);
    return false;
  }
  if (!options_.replayPath.empty() && !loadReplay()) return false;
  if (!(options_.attachPath.empty() ? openPty() : attach())) return false;
  if (options_.baud > 0) {
    byteTime_ = std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(static_cast<int64_t>(10'000'000'000LL / options_.baud)));
  }
  startedAt_ = Clock::now();
  addLog("device on " + portPath_);
  thread_ = std::thread(&DeviceSimulator::run, this);
  return true;
}

bool DeviceSimulator::openPty() {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    error_ = std::string("cannot create a pty pair: ") + std::strerror(errno);
    return false;
  }
  port_ = master;
  hold_ = slave;
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0 || !setFlags(master) || !setFlags(slave)) {
    error_ = std::string("cannot set up the pty pair: ") + std::strerror(errno);
    return false;
  }
  portPath_ = name;
  // The slave keeps these settings for whoever opens it next; raw mode above
  // all keeps the pty from echoing the device's answers back to it.
  return configureLine(slave, options_.baud > 0 ? options_.baud : kLineBaud, error_);
}

bool DeviceSimulator::attach() {
  port_ = ::open(options_.attachPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (port_ < 0) {
    error_ = "cannot open " + options_.attachPath + ": " + std::strerror(errno);
    return false;
  }
  portPath_ = options_.attachPath;
  return configureLine(port_, options_.baud > 0 ? options_.baud : kLineBaud, error_);
}

void DeviceSimulator::stop() {
  if (wake_ < 0) return;
  const uint64_t one = 1;
  // The eventfd stays readable from now on, so every later wait ends at once.
  [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
  // Called from onLog, on the session thread itself: the session ends at its
  // next wait, and the destructor joins.
  if (std::this_thread::get_id() == sessionThread_.load()) return;
  if (thread_.joinable()) thread_.join();
}

bool DeviceSimulator::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(stateMutex_);
  return ended_.wait_for(lock, timeout, [this] { return outcome_ != SessionOutcome::Running; });
}

SessionOutcome DeviceSimulator::outcome() const {
  std::lock_guard lock(stateMutex_);
  return outcome_;
}

std::string DeviceSimulator::received() const {
  std::lock_guard lock(stateMutex_);
  return protocol_.received();
}

std::chrono::nanoseconds DeviceSimulator::adapterDelay() const {
  std::lock_guard lock(stateMutex_);
  return adapter_.delay();
}

int DeviceSimulator::adapterCuts() const {
  std::lock_guard lock(stateMutex_);
  return adapter_.cutAnswers();
}

int DeviceSimulator::blocks() const {
  std::lock_guard lock(stateMutex_);
  return protocol_.blocks();
}

std::vector<std::string> DeviceSimulator::log() const {
  std::lock_guard lock(logMutex_);
  return log_;
}

void DeviceSimulator::addLog(const std::string& line) {
  const std::chrono::duration<double> elapsed = Clock::now() - startedAt_;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%8.3f ", elapsed.count());
  std::lock_guard lock(logMutex_);
  log_.push_back(stamp + line);
  if (options_.onLog) options_.onLog(log_.back());
}

void DeviceSimulator::run() {
  sessionThread_.store(std::this_thread::get_id());
  const SessionOutcome outcome = options_.replayPath.empty() ? serve() : replay();
  if (adapter_.active()) {
    addLog("the adapter cut " + std::to_string(adapter_.cutAnswers()) + " answers and held them " +
           std::to_string(adapterDelay().count() / 1000) + " us back in all");
  }
  addLog(std::string("session ended: ") +
         (!options_.replayPath.empty() && outcome == SessionOutcome::Complete
              ? (replayCut_ ? "the trace, cut short, was replayed to its last byte"
                            : "the trace was replayed to its end")
              : describe(outcome)));
  {
    std::lock_guard lock(stateMutex_);
    outcome_ = outcome;
  }
  ended_.notify_all();
}

// While the upload has not begun, our own handle on the pty slave keeps the
// pty from hanging up when the host closes the port: choosing the port again
// closes and reopens it, and the device must still be there. Once image
// bytes arrive the handle goes, and the host's close ends the session.
SessionOutcome DeviceSimulator::serve() {
  char buffer[4096];
  auto deadline = Clock::now() + options_.inactivityTimeout;
  for (;;) {
    switch (waitOn(port_, POLLIN, deadline)) {
      case Wait::Woken:
        return SessionOutcome::Stopped;
      case Wait::TimedOut:
        return SessionOutcome::TimedOut;
      case Wait::Ready:
        break;
    }
    const ssize_t count = ::read(port_, buffer, sizeof buffer);
    if (count > 0) {
      const auto now = Clock::now();
      deadline = now + options_.inactivityTimeout;
      const SessionOutcome outcome = handle(buffer, static_cast<size_t>(count), now);
      if (outcome != SessionOutcome::Running) return outcome;
    } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
      return SessionOutcome::HostClosed;  // end of file or EIO: the host's end is gone
    }
  }
}

SessionOutcome DeviceSimulator::handle(const char* bytes, size_t count, Clock::time_point readAt) {
  for (size_t i = 0; i < count; ++i) {
    if (byteTime_.count() > 0) inboundFree_ = std::max(inboundFree_, readAt) + byteTime_;
    countForStall();
    DeviceStep step;
    {
      std::lock_guard lock(stateMutex_);
      step = protocol_.take(static_cast<uint8_t>(bytes[i]));
      if (hold_ >= 0 && protocol_.uploadStarted()) closeFd(hold_);
    }
    if (step.kind == DeviceStep::Kind::Nothing) continue;
    if (step.kind == DeviceStep::Kind::End) return step.outcome;
    // On a paced line the device answers the moment the byte has arrived,
    // however late this thread wakes up.
    const SessionOutcome outcome = send(step, byteTime_.count() > 0 ? inboundFree_ : Clock::now());
    if (outcome != SessionOutcome::Running) return outcome;
  }
  return SessionOutcome::Running;
}

SessionOutcome DeviceSimulator::send(const DeviceStep& step, Clock::time_point at) {
  if (step.kind == DeviceStep::Kind::Vanish) {
    closeFd(hold_);
    closeFd(port_);
    return step.outcome;
  }
  if (options_.delayed.matches(step.answer)) at += options_.delay;
  const std::string_view bytes = step.bytes;
  if (options_.split.matches(step.answer) && bytes.size() > 1) {
    const size_t half = bytes.size() / 2;
    if (!writeOnLine(bytes.substr(0, half), at) ||
        !writeOnLine(bytes.substr(half), outboundFree_ + options_.gap)) {
      return interruption_;
    }
    addLog("answer " + std::to_string(step.answer) + " split over two writes");
  } else if (!writeOnLine(bytes, at)) {
    return interruption_;
  }
  if (step.answer == 0 && !options_.stray.empty()) {
    if (!writeOnLine(options_.stray, outboundFree_ + options_.gap)) return interruption_;
    addLog("stray bytes sent: " + quoted(options_.stray));
  }
  return SessionOutcome::Running;
}

bool DeviceSimulator::writeOnLine(std::string_view bytes, Clock::time_point at) {
  if (adapter_.active()) return writeThroughAdapter(bytes, at);
  outboundFree_ = std::max(outboundFree_, at) + byteTime_ * static_cast<Clock::rep>(bytes.size());
  return pauseUntil(outboundFree_) && writeAll(bytes);
}

bool DeviceSimulator::writeAll(std::string_view bytes) {
  const auto deadline = Clock::now() + options_.inactivityTimeout;
  while (!bytes.empty()) {
    const ssize_t written = ::write(port_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<size_t>(written));
    } else if (written < 0 && errno == EAGAIN) {
      // The host does not read: wait for room, but not for ever.
      switch (waitOn(port_, POLLOUT, deadline)) {
        case Wait::Woken:
          interruption_ = SessionOutcome::Stopped;
          return false;
        case Wait::TimedOut:
          interruption_ = SessionOutcome::TimedOut;
          return false;
        case Wait::Ready:
          break;
      }
    } else if (written < 0 && errno != EINTR) {
      interruption_ = SessionOutcome::HostClosed;
      return false;
    }
  }
  return true;
}

bool DeviceSimulator::pauseUntil(Clock::time_point when) {
  if (waitOn(-1, 0, when) != Wait::Woken) return true;
  interruption_ = SessionOutcome::Stopped;
  return false;
}

DeviceSimulator::Wait DeviceSimulator::waitOn(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd fds[2] = {{wake_, POLLIN, 0}, {fd, events, 0}};  // poll skips fd -1
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>((left - seconds) / std::chrono::nanoseconds(1))};
    const int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready < 0 && errno == EINTR) continue;
    if (fds[0].revents != 0) return Wait::Woken;
    if (ready != 0) return Wait::Ready;  // also on an error: the read or write says which
    if (Clock::now() >= deadline) return Wait::TimedOut;
  }
}

}  // namespace devsim
