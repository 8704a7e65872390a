// Replaying a recorded trace: the simulator plays the device's side of one
// of the trace's ports. Before each read the program recorded, it waits for
// the host bytes the trace shows before it, comparing each as it comes; then
// it hands the read over in one write, as long after the step before as it
// came in the trace. A port that was lost is closed; a silence stays silent.
// The replay ends at the trace's end (at the final close, once the host has
// closed the port) or at the first difference.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tools/devsim/deviceSimulator.h"

namespace devsim {

namespace {

using Kind = TTraceEntry::Kind;

std::string hexBytes(std::string_view bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  constexpr size_t shown = 8;
  std::string hex;
  for (char c : bytes.substr(0, shown)) {
    const auto byte = static_cast<unsigned char>(c);
    hex += {digits[byte >> 4], digits[byte & 15], ' '};
  }
  if (bytes.size() > shown) hex += "...";
  if (!hex.empty() && hex.back() == ' ') hex.pop_back();
  return hex.empty() ? "nothing" : hex;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

}  // namespace

std::string DeviceSimulator::difference() const {
  std::lock_guard lock(stateMutex_);
  return difference_;
}

bool DeviceSimulator::loadReplay() {
  const auto trace = readTrace(options_.replayPath, error_);
  if (!trace) return false;
  const std::vector<std::string> ports = trace->ports();
  std::string port = options_.replayPort;
  if (port.empty() && ports.size() == 1) port = ports.front();
  if (std::find(ports.begin(), ports.end(), port) == ports.end()) {
    error_ = ports.empty() ? options_.replayPath + " records no port"
             : port.empty()
                 ? options_.replayPath +
                       " records several ports; pick one with --replay-port: " + joined(ports)
                 : options_.replayPath + " records no port " + port + "; it has " + joined(ports);
    return false;
  }
  replay_ = trace->of(port);
  replaySource_ = port + " of " + options_.replayPath +
                  (trace->recordedBy.empty() ? "" : ", recorded by " + trace->recordedBy);
  return true;
}

SessionOutcome DeviceSimulator::differs(size_t at, const std::string& expected,
                                        const std::string& why) {
  // The trace line that holds host byte `at` (or the last one before it).
  int line = 0;
  for (const auto& [begins, number] : replayLines_)
    if (begins <= at) line = number;
  const std::string received =
      at < hostBytes_.size() ? hexBytes(std::string_view(hostBytes_).substr(at)) : "nothing";
  std::string text =
      "difference at host byte " + std::to_string(at + 1) +
      (line > 0 ? " (trace line " + std::to_string(line) + ")" : "") + ": expected " +
      (at < expected.size() ? hexBytes(std::string_view(expected).substr(at))
                            : std::string(closeDue_ ? "the port's close" : "nothing more")) +
      ", received " + received + (why.empty() ? "" : " (" + why + ")");
  addLog("replay: " + text);
  std::lock_guard lock(stateMutex_);
  difference_ = std::move(text);
  return SessionOutcome::ReplayDiffers;
}

SessionOutcome DeviceSimulator::receiveHostBytes(size_t count, const std::string& expected) {
  auto deadline = Clock::now() + options_.inactivityTimeout;
  for (;;) {
    // Bytes beyond those expected so far wait to be compared with the
    // trace's next ones: the host may go on writing while an answer is due.
    for (; hostCompared_ < std::min(hostBytes_.size(), expected.size()); ++hostCompared_) {
      if (hostBytes_[hostCompared_] != expected[hostCompared_])
        return differs(hostCompared_, expected);
    }
    if (hostBytes_.size() >= count) return SessionOutcome::Running;
    char buffer[4096];
    switch (waitOn(port_, POLLIN, deadline)) {
      case Wait::Woken:
        return SessionOutcome::Stopped;
      case Wait::TimedOut:
        return differs(hostBytes_.size(), expected,
                       "within " + std::to_string(options_.inactivityTimeout.count()) + " ms");
      case Wait::Ready:
        break;
    }
    const ssize_t got = ::read(port_, buffer, sizeof buffer);
    if (got > 0) {
      // The host has the port open: from now on its close ends the session.
      closeFd(hold_);
      hostBytes_.append(buffer, static_cast<size_t>(got));
      arrivals_.emplace_back(hostBytes_.size(), Clock::now());
      deadline = Clock::now() + options_.inactivityTimeout;
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      return hostBytes_.size() >= expected.size()
                 ? SessionOutcome::HostClosed
                 : differs(hostBytes_.size(), expected, "the host closed the port");
    }
  }
}

SessionOutcome DeviceSimulator::replay() {
  std::string expected;                     // the host bytes of the trace up to the current step
  Clock::time_point doneAt = Clock::now();  // when the step before was done
  addLog("replaying " + replaySource_);
  for (size_t i = 0; i < replay_.size(); ++i) {
    const TTraceEntry& entry = replay_[i];
    const bool last = i + 1 == replay_.size();
    if (entry.kind == Kind::Written) {
      replayLines_.emplace_back(expected.size(), entry.line);
      expected += entry.bytes;
      continue;
    }
    if (entry.kind != Kind::Read && entry.kind != Kind::Lost &&
        !(entry.kind == Kind::Close && last))
      continue;
    SessionOutcome outcome = receiveHostBytes(expected.size(), expected);
    if (outcome != SessionOutcome::Running) return outcome;
    const TTraceEntry& before = replay_[i - (i > 0 ? 1 : 0)];
    if (before.kind == Kind::Written && !expected.empty()) {
      // After host bytes: counted from the arrival of the last of them.
      const auto arrived = std::find_if(arrivals_.begin(), arrivals_.end(),
                                        [&](const auto& a) { return a.first >= expected.size(); });
      if (arrived != arrivals_.end()) doneAt = arrived->second;
    }
    const auto wait = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::max(0.0, entry.time - before.time)));
    if (entry.kind == Kind::Close) {
      // The host's close, and nothing more from it before.
      closeDue_ = true;
      outcome = receiveHostBytes(expected.size() + 1, expected);
      if (outcome == SessionOutcome::HostClosed) return SessionOutcome::Complete;
      return outcome == SessionOutcome::Running ? differs(expected.size(), expected) : outcome;
    }
    if (!pauseUntil(doneAt + wait)) return interruption_;
    if (entry.kind == Kind::Lost) {
      addLog("replay: the port goes, as it went for the program");
      closeFd(hold_);
      closeFd(port_);
      return SessionOutcome::Complete;
    }
    if (!writeAll(entry.bytes)) return interruption_;
    doneAt = Clock::now();
  }
  const SessionOutcome outcome = receiveHostBytes(expected.size(), expected);
  return outcome == SessionOutcome::Running ? SessionOutcome::Complete : outcome;
}

}  // namespace devsim
