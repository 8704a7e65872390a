// The simulated bootloader's side of the exchange, without any I/O: it takes
// the host's bytes one at a time and says what the device does next.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tools/devsim/simulatorOptions.h"

namespace devsim {

// How a session ended; the value is the program's exit status. 1 is left
// to the program for a bad command line or a port that could not be set up.
enum class SessionOutcome {
  Running = -1,
  Complete = 0,                  // "VERS", 508 blocks, "PUSK"
  HostClosed = 2,                // the host closed the port after the upload began
  TimedOut = 3,                  // no byte from the host for the inactivity time-out
  NotPusk = 4,                   // other bytes where "PUSK" was expected
  IncompleteUpload = 5,          // "PUSK" after an early final answer
  Vanished = 6,                  // the port was closed on purpose (fault mode)
  Stopped = 7,                   // stopped from outside (signal, test)
  CompleteAfterWrongAnswer = 8,  // the host went on to "PUSK" past a wrong answer
  ReplayDiffers = 9,             // a replayed host did otherwise than its trace shows
};

const char* describe(SessionOutcome outcome);

// What one received byte makes the device do.
struct DeviceStep {
  enum class Kind { Nothing, Answer, Vanish, End };
  Kind kind = Kind::Nothing;
  int answer = -1;    // 0: the answer to "VERS"; n: the answer to block n
  std::string bytes;  // what to send
  SessionOutcome outcome = SessionOutcome::Running;  // with End
};

class DeviceProtocol {
 public:
  using Logger = std::function<void(const std::string&)>;

  DeviceProtocol(const SimulatorOptions& options, Logger log);

  DeviceStep take(uint8_t byte);

  // The image bytes received so far, in order.
  const std::string& received() const { return image_; }
  int blocks() const { return static_cast<int>(image_.size() / kBlockSize); }
  bool uploadStarted() const { return !image_.empty(); }

 private:
  enum class Phase { AwaitVers, Upload, AwaitPusk, Ended };
  enum class Match { Partial, Complete, Mismatch };

  // Adds the byte to the command being received and compares it so far.
  Match match(uint8_t byte, std::string_view command);
  DeviceStep answerVers();
  DeviceStep takeUploadByte(uint8_t byte);
  DeviceStep answerBlock(int block);
  DeviceStep end(SessionOutcome outcome);

  const SimulatorOptions& options_;
  Logger log_;
  Phase phase_ = Phase::AwaitVers;
  std::string command_;  // bytes of a command not yet complete
  std::string image_;
  uint16_t crc_;
  int finalBlock_ = 0;
  bool wrongAnswerSent_ = false;
};

// Bytes as readable text: printable ASCII kept, the rest as \xHH.
std::string quoted(const std::string& bytes);

}  // namespace devsim
