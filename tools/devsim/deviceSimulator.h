// The simulated bootloader on its own thread, at the device end of a pty pair
// (or of a given tty). The host opens portPath() and talks to it as to a
// device on a serial line.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/trace/traceFormat.h"
#include "tools/devsim/deviceProtocol.h"
#include "tools/devsim/simulatorOptions.h"

namespace devsim {

class DeviceSimulator {
 public:
  explicit DeviceSimulator(SimulatorOptions options);
  ~DeviceSimulator();
  DeviceSimulator(const DeviceSimulator&) = delete;
  DeviceSimulator& operator=(const DeviceSimulator&) = delete;

  // Creates the pty pair (or opens the tty) and starts the session thread.
  // On failure returns false and error() says why.
  bool start();
  // Ends the session now; its outcome is Stopped unless it had already ended.
  void stop();
  // Waits for the session to end; true when it has.
  bool waitFor(std::chrono::milliseconds timeout);

  // The path the host opens: the pty's slave, or the attached tty.
  const std::string& portPath() const { return portPath_; }
  const std::string& error() const { return error_; }

  SessionOutcome outcome() const;
  // The image bytes received during the upload.
  std::string received() const;
  int blocks() const;
  std::vector<std::string> log() const;
  // How long the adapter held the answers back in all, and how many it cut.
  std::chrono::nanoseconds adapterDelay() const;
  int adapterCuts() const;
  // A replay's first difference: where, what was expected and what came.
  std::string difference() const;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Wait { Ready, Woken, TimedOut };

  bool openPty();
  bool attach();
  void run();
  SessionOutcome serve();
  // Handles the bytes of one read; Running while the session goes on.
  SessionOutcome handle(const char* bytes, size_t count, Clock::time_point readAt);
  // Carries out an answer that becomes due at `at`.
  SessionOutcome send(const DeviceStep& step, Clock::time_point at);
  // Writes the bytes in one write once the line, free from `at` on, would
  // have carried them.
  bool writeOnLine(std::string_view bytes, Clock::time_point at);
  bool writeAll(std::string_view bytes);
  // writeOnLine through the adapter: the pieces it cuts, each at its time
  // (adapterLine.cpp).
  bool writeThroughAdapter(std::string_view bytes, Clock::time_point at);
  // Replaying a trace (replay.cpp): loads the port's entries; plays them.
  bool loadReplay();
  SessionOutcome replay();
  // Reads the host's bytes until `count` have come since the start, each
  // compared with the trace's as it comes; Running when they have.
  SessionOutcome receiveHostBytes(size_t count, const std::string& expected);
  SessionOutcome differs(size_t at, const std::string& expected, const std::string& why = {});
  SessionOutcome replayDiffers(std::string text);
  // The trace's `lost` at entry `at`: the port vanishes, and the rest of the
  // trace is checked against what a host can do without it.
  SessionOutcome vanish(size_t at, std::string expected);
  // A trace that ends without the port's close: nothing more may come.
  SessionOutcome cutEnd(const std::string& expected);
  // Stops the host's transmit once stallAfter bytes have come.
  void countForStall();
  // Sleeps until `when`; false when stopped meanwhile.
  bool pauseUntil(Clock::time_point when);
  // Waits for `events` on `fd` (or only for the deadline when fd is -1),
  // and for stop().
  Wait waitOn(int fd, short events, Clock::time_point deadline);
  void addLog(const std::string& line);
  static void closeFd(int& fd);

  const SimulatorOptions options_;
  std::string portPath_;
  std::string error_;
  int port_ = -1;   // the device end: the pty master, or the attached tty
  int hold_ = -1;   // our own handle on the pty slave, see serve()
  int wake_ = -1;   // eventfd that stop() signals
  int stall_ = -1;  // our handle on the slave that holds its transmit stopped
  long bytesIn_ = 0;
  Clock::time_point startedAt_{};
  Clock::duration byteTime_{};        // zero when unpaced
  Clock::time_point inboundFree_{};   // when the last received byte finished arriving
  Clock::time_point outboundFree_{};  // when the line towards the host is free again
  // Why the last write or pause gave up (session thread only).
  SessionOutcome interruption_ = SessionOutcome::Stopped;

  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
  // Guards the protocol and the outcome; taken before logMutex_, never after.
  mutable std::mutex stateMutex_;
  std::condition_variable ended_;
  DeviceProtocol protocol_;
  AdapterLine adapter_;
  SessionOutcome outcome_ = SessionOutcome::Running;
  std::thread thread_;
  // Replay state (session thread; difference_ under stateMutex_).
  std::vector<TTraceEntry> replay_;
  std::string replaySource_;                         // which port of which trace, for the log
  std::vector<std::pair<size_t, int>> replayLines_;  // host byte where a trace line begins
  std::string hostBytes_;                            // received from the host so far
  size_t hostCompared_ = 0;                          // of them compared with the trace
  bool closeDue_ = false;                            // the trace's final close is what comes next
  int sessions_ = 1;                                 // of the port, from open to close
  int session_ = 1;                                  // the one being played, from 1
  bool replayCut_ = false;                           // the trace ended without a close
  std::vector<std::pair<size_t, Clock::time_point>> arrivals_;  // bytes so far, when
  std::string difference_;
  // Set by the session thread itself: stop() may run there (from onLog) while
  // start() is still storing thread_, so it must not look at thread_ first.
  std::atomic<std::thread::id> sessionThread_{};
};

}  // namespace devsim
