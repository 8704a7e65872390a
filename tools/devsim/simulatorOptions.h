// What the simulated bootloader says and which faults it injects.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "tools/devsim/adapterLine.h"

namespace devsim {

// The upload is exactly this many blocks of this many bytes.
inline constexpr int kBlockCount = 508;
inline constexpr int kBlockSize = 256;

// Answers are numbered: 0 is the answer to "VERS", n (1..508) the answer to
// block n. A pick names one answer, every answer, or none.
struct AnswerPick {
  int number = -1;
  bool every = false;

  static AnswerPick at(int n) { return AnswerPick{n, false}; }
  static AnswerPick all() { return AnswerPick{-1, true}; }
  bool active() const { return every || number >= 0; }
  bool matches(int answer) const { return every || number == answer; }
};

struct SimulatorOptions {
  // Empty: create a pty pair; otherwise the tty to attach to.
  std::string attachPath{};

  // The answer to "VERS" is "QUILMATRONX <model> <firmware>" unless an
  // identity text replaces it whole.
  std::string model = "QX1";
  std::string firmware = "1.00";
  std::optional<std::string> identity{};

  // The session ends after this long without a byte from the host.
  std::chrono::milliseconds inactivityTimeout{30000};

  // 0: unpaced. Otherwise bytes take 10 bit times each on the line.
  unsigned baud = 0;

  // A slow device: answers picked here go out this much later.
  std::chrono::milliseconds delay{0};
  AnswerPick delayed = AnswerPick::all();

  // Pause between the writes of a split answer, and before stray bytes, so
  // the host sees them in separate reads, and as separate answers (the host
  // joins pieces less than 50 ms apart).
  std::chrono::milliseconds gap{100};

  // The adapter that hands the device's answers to the host.
  AdapterOptions adapter{};
  // -1: off; n: the host's transmit stops once n bytes have arrived (as if
  // the adapter stopped taking bytes); what the host writes then stays in
  // its queue. Created ptys only.
  long stallAfter = -1;

  // Fault modes.
  bool answerVers = true;
  AnswerPick wrongCrc{};    // blocks only
  AnswerPick swapCrc{};     // blocks only: low byte first
  int silentFrom = 0;       // 0: off; n: no answer from block n on
  AnswerPick split{};       // two writes instead of one
  int earlyFinal = 0;       // 0: off; n < 508: block n gets the final answer
  bool plainFinal = false;  // the last block is answered without "FZ"
  std::string stray{};      // written after the answer to "VERS"
  AnswerPick garbage{};     // garbage instead of the answer
  int vanishAt = -1;        // -1: off; n: the port closes instead of answer n

  // Not empty: play the device's side of this recorded trace instead
  // (replay.cpp); the fault modes and pacing then do not apply.
  std::string replayPath{};
  // The trace's port to replay; empty: its only one.
  std::string replayPort{};

  // Called on the session thread with each log line as it happens.
  std::function<void(const std::string&)> onLog{};
};

}  // namespace devsim
