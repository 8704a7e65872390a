// What happened on one port, told from the points the probe and the upload
// offer: the device line, the running check sum after every image byte, the
// blocks acknowledged, and, when the transfer fails, which block, what the
// device should have answered and what it answered, or that it fell silent
// or vanished. The elements fire into it on their threads; the main thread
// reads facts().
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/link.h"

enum class TFailureKind { None, WrongAnswer, NoAnswer, Vanished, WriteFailed };

struct TPortFacts {
  bool probeAnswered = false;  // within the probe's time
  bool answeredLate = false;   // only after the probe's time was up
  std::string deviceLine;      // the last line the probe was given (1251)
  std::string model, version;  // the words of the device line shown (1251)
  int32_t blocksSent = 0;      // whole or begun
  int32_t acknowledged = 0;
  bool writeFailed = false;  // a write after the first image byte went out short
  std::string writeFailure;  // why, when the port could tell ("line error")
  // The first failure of the transfer.
  TFailureKind failure = TFailureKind::None;
  int32_t failingBlock = 0;  // the block answered or the last one sent; 0: none yet
  std::string expected;      // hexadecimal, as the upload compares it
  std::string received;
};

class TZKPortRecord {
 public:
  static constexpr int32_t BlockSize = 256;
  static constexpr int32_t BlockCount = 508;

  std::string Port;             // looked for when the device falls silent
  TEventLink dataWriteFailure;  // why a write failed, as the port tells it
  TEventLink dataCrc;           // the running check sum, read when an answer is wrong
  TEventLink outCrc;            // the check sum of inCrc, once recorded

  // Bytes the probe is given.
  void inProbeAnswer(TData& d, uint16_t index);
  // The probe's time is up: true when the device had answered by then; an
  // answer from now on is late. Decided under the record's lock, so an
  // answer is either in time or late, never both.
  bool closeProbe();
  // The probe's status text: the device line shown when it names a device.
  void inMessage(TData& d, uint16_t index);
  // The running check sum after each image byte; passed on to outCrc (a
  // tap in line costs the image byte less than a hub's copies). Counts the
  // byte; the check sum itself is read back from dataCrc when needed.
  void inCrc(TData& d, uint16_t index);
  // Acknowledged blocks; 0 is the counter wrapping after the last block.
  void inProgress(TData& d, uint16_t index);
  // Bytes the upload is given; their handling runs on this thread until
  // inAnswerHandled.
  void inAnswer(TData& d, uint16_t index);
  void inAnswerHandled(TData& d, uint16_t index);
  // A write that did not go out while the image goes out: the failure that
  // follows.
  void inWriteFailed(TData& d, uint16_t index);
  // The upload's error: a failed write, a wrong answer when it comes from an answer's
  // handling, otherwise the watchdog's time-out.
  void inError(TData& d, uint16_t index);
  // The port's reader found the port gone.
  void inVanished(TData& d, uint16_t index);

  TPortFacts facts() const;

 private:
  int32_t blocksSent() const;  // whole or begun

  mutable std::mutex lock_;
  TPortFacts facts_;
  // Counted without the lock, which only a block's first byte takes.
  std::atomic<int64_t> bytesSent_{0};
  bool probeClosed_ = false;
  std::string answer_;     // received since the block began
  bool lineTold_ = false;  // the probe's message ended the device line
  std::thread::id answering_{};
};

// Bytes as hexadecimal text, two upper-case digits each.
std::string hexBytes(const std::string& bytes);
