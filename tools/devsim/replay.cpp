// Replaying a recorded trace: the simulator plays the device's side of one
// of the trace's ports, session by session (from an open to its close: a
// window program reopens the port at each pick, a station holds unit
// after unit). Before each read the program recorded, it waits for the
// host bytes the trace shows before it, comparing each as it comes (as
// bytes: how the host cut them into writes does not matter); then it hands
// the read over in one write, as long after the step before as it came in
// the trace. A port that was lost vanishes, and the rest of the trace must
// be what a host can do without it. The replay ends at the final close,
// once the host has closed the port; a trace without one (cut short by a
// second interrupt) at its last byte, after which the host must send
// nothing the trace lacks; or at the first difference.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tools/devsim/deviceSimulator.h"

namespace devsim {

namespace {

using Kind = TTraceEntry::Kind;

// After a cut trace's last byte, how long the host's further bytes are
// looked for.
constexpr std::chrono::seconds cutQuiet{1};

const char* kindWord(Kind kind) {
  switch (kind) {
    case Kind::Open:
      return "an open";
    case Kind::Settings:
      return "settings";
    case Kind::Written:
      return "bytes written";
    case Kind::Read:
      return "a read";
    default:
      return "an entry";
  }
}

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
  return replayDiffers(
      "difference at host byte " + std::to_string(at + 1) +
      (sessions_ > 1 ? " of session " + std::to_string(session_) : "") +
      (line > 0 ? " (trace line " + std::to_string(line) + ")" : "") + ": expected " +
      (at < expected.size() ? hexBytes(std::string_view(expected).substr(at))
                            : std::string(closeDue_ ? "the port's close" : "nothing more")) +
      ", received " + received + (why.empty() ? "" : " (" + why + ")"));
}

SessionOutcome DeviceSimulator::replayDiffers(std::string text) {
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
      // The host has the port open: from now on its close ends the session
      // (the last one: earlier ones are followed by a reopen).
      if (session_ == sessions_) closeFd(hold_);
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
  std::string expected;                     // the session's host bytes up to the current step
  Clock::time_point doneAt = Clock::now();  // when the step before was done
  addLog("replaying " + replaySource_);
  sessions_ = std::max<int>(
      1, static_cast<int>(std::count_if(replay_.begin(), replay_.end(), [](const TTraceEntry& e) {
        return e.kind == Kind::Open;
      })));
  session_ = 1;
  for (size_t i = 0; i < replay_.size(); ++i) {
    const TTraceEntry& entry = replay_[i];
    const bool last = i + 1 == replay_.size();
    if (entry.kind == Kind::Written) {
      replayLines_.emplace_back(expected.size(), entry.line);
      expected += entry.bytes;
      continue;
    }
    if (entry.kind != Kind::Read && entry.kind != Kind::Lost && entry.kind != Kind::Close) continue;
    SessionOutcome outcome = receiveHostBytes(expected.size(), expected);
    if (outcome != SessionOutcome::Running) return outcome;
    if (entry.kind == Kind::Close && !last) {
      // The host closes and opens again: what came beyond this session's
      // bytes belongs to the next one.
      hostBytes_.erase(0, expected.size());
      hostCompared_ = 0;
      for (auto& arrival : arrivals_) arrival.first -= std::min(arrival.first, expected.size());
      replayLines_.clear();
      expected.clear();
      ++session_;
      addLog("replay: session " + std::to_string(session_) + " of " + std::to_string(sessions_));
      continue;
    }
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
    if (entry.kind == Kind::Lost) return vanish(i, expected);
    if (!writeAll(entry.bytes)) return interruption_;
    doneAt = Clock::now();
  }
  const SessionOutcome outcome = receiveHostBytes(expected.size(), expected);
  if (outcome != SessionOutcome::Running) return outcome;
  return cutEnd(expected);
}

SessionOutcome DeviceSimulator::vanish(size_t at, std::string expected) {
  // What the host handed to the port as it went did not go out.
  for (size_t i = at + 1; i < replay_.size() && replay_[i].kind == Kind::NotWritten; ++i)
    expected += replay_[i].bytes;
  char buffer[4096];
  for (ssize_t got = 0; (got = ::read(port_, buffer, sizeof buffer)) > 0;)
    hostBytes_.append(buffer, static_cast<size_t>(got));
  for (; hostCompared_ < hostBytes_.size(); ++hostCompared_) {
    if (hostCompared_ >= expected.size() || hostBytes_[hostCompared_] != expected[hostCompared_])
      return differs(hostCompared_, expected, "before the port went");
  }
  addLog("replay: the port goes, as it went for the program");
  closeFd(hold_);
  closeFd(port_);
  // Without its port a host can only fail to write, fail to open and close.
  for (size_t i = at + 1; i < replay_.size(); ++i) {
    const Kind kind = replay_[i].kind;
    if (kind != Kind::NotWritten && kind != Kind::OpenFailed && kind != Kind::Close &&
        kind != Kind::Lost) {
      return replayDiffers("trace line " + std::to_string(replay_[i].line) + ": " + kindWord(kind) +
                           " after the port was lost, which a port that " + "vanished cannot give");
    }
  }
  return SessionOutcome::Complete;
}

SessionOutcome DeviceSimulator::cutEnd(const std::string& expected) {
  replayCut_ = true;
  addLog("replay: the trace ends without the port's close (cut short); replayed to its last byte");
  // The host's bytes beyond the trace's are not what was recorded.
  const auto deadline = Clock::now() + cutQuiet;
  char buffer[4096];
  for (;;) {
    if (hostBytes_.size() > expected.size())
      return differs(expected.size(), expected, "the trace was cut here");
    switch (waitOn(port_, POLLIN, deadline)) {
      case Wait::Woken:
        return SessionOutcome::Stopped;
      case Wait::TimedOut:
        return SessionOutcome::Complete;
      case Wait::Ready:
        break;
    }
    const ssize_t got = ::read(port_, buffer, sizeof buffer);
    if (got > 0)
      hostBytes_.append(buffer, static_cast<size_t>(got));
    else if (got == 0 || (errno != EAGAIN && errno != EINTR))
      return SessionOutcome::Complete;  // the host closed the port
  }
}

}  // namespace devsim
