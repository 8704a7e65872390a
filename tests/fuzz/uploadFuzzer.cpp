// Scripts of device answers and watchdog ticks against the probe and upload
// schemas; after each step the invariants of a transfer must hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "app/flash/flashSchema.h"
#include "app/uploadSchema.h"
#include "elements/timerSeam.h"
#include "runtime/startList.h"
#include "serial/fakeSerial.h"
#include "support/recorder.h"
#include "tools/devsim/crc16Modbus.h"

namespace {

using Upload = TClassMultiElementEx_2168BB0;

// The running timers (the probe's quiet gap, the watchdog) by id.
std::map<uint32_t, uintptr_t> runningTimers;
uint32_t lastTimerId = 0;
uint32_t startTimer(uint32_t, uint32_t, uintptr_t context) {
  runningTimers[++lastTimerId] = context;
  return lastTimerId;
}
void stopTimer(uint32_t id) { runningTimers.erase(id); }
void tickAll() {
  const auto timers = runningTimers;  // a tick may start or stop timers
  for (const auto& [id, context] : timers) deliverTimerTick(context);
}

void check(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

class TFuzzRun {
 public:
  TFuzzRun() {
    // The test plays the reader thread: no port events, reads on demand.
    schema.comPort.WatchRxChar = false;
    schema.upload.outEvent[Upload::outDone] = done.link();
    schema.upload.outEvent[Upload::outError] = errors.link();
    done.onReceive = [this](TData&, uint16_t) { writtenAtOutcome = written().size(); };
    errors.onReceive = done.onReceive;
    schema.upload.outEvent[Upload::outProgress] = progress.link();
    runStartProcs();
    schema.selectPort();
  }

  // Bit i of `cuts` cuts after byte i; bit 7 adds an empty read first.
  void answerInPieces(const std::string& bytes, uint8_t cuts) {
    if ((cuts & 0x80) != 0) answer({});
    std::string piece;
    for (size_t i = 0; i < bytes.size(); ++i) {
      piece += bytes[i];
      if (i + 1 == bytes.size() || ((cuts >> i) & 1) != 0) answer(std::exchange(piece, {}));
    }
  }
  bool decided() const { return done.received.size() + errors.received.size() > 0; }

  void answer(std::string bytes) {
    {
      std::lock_guard lock(serial.Port.Lock);
      serial.Port.Incoming += bytes;
    }
    fireEvent(schema.comPort.outRxChar, static_cast<int32_t>(bytes.size()));
  }
  // What a healthy device answers: the running check sum, high byte first.
  std::string checkSum() {
    const std::string image = written().size() > 4 ? written().substr(4) : std::string();
    const uint16_t crc = devsim::crc16Modbus(devsim::kCrcInitial, image);
    return {static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
  }
  std::string written() {
    std::lock_guard lock(serial.Port.Lock);
    return serial.Port.Written;
  }

  void checkInvariants() {
    check(done.received.size() + errors.received.size() <= 1, "one outcome");
    const std::string now = written();
    if (!errors.received.empty()) check(now.size() == writtenAtOutcome, "nothing after a failure");
    if (!done.received.empty()) {
      check(now.size() == writtenAtOutcome && now.ends_with("PUSK"), "only PUSK after success");
    }
    for (size_t i = 0; i < progress.received.size(); ++i) {
      check(toInteger(progress.received[i]) == static_cast<int32_t>(i + 1), "progress in steps");
    }
  }

  TFakeSystem serial;
  TFlashSchema schema{"COM1", nullptr, serial};
  TRecorder done, errors, progress;
  size_t writtenAtOutcome = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  timerSeam() = TTimerSeam{&startTimer, &stopTimer};
  enableDispatch();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzRun run;
  size_t at = 0;
  const auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  // A few acknowledged blocks per input keep the runs fast.
  int blocksLeft = 3;
  bool started = false;
  // A block has just gone out and nothing has come since.
  bool waiting = false;
  for (int step = 0; step < 64 && at < size; ++step) {
    switch (next() % 6) {
      case 0: {  // any bytes in one read
        std::string bytes;
        for (uint8_t n = next() % 32; n > 0 && at < size; --n) bytes += static_cast<char>(next());
        run.answer(bytes);
        waiting = false;
        break;
      }
      case 1:
        if (blocksLeft-- > 0) {
          const size_t blocks = run.progress.received.size();
          run.answerInPieces(run.checkSum(), next());
          if (waiting && !run.decided())
            check(run.progress.received.size() == blocks + 1, "a cut block answer is taken");
          waiting = run.progress.received.size() == blocks + 1;
        }
        break;
      case 2: {
        const size_t blocks = run.progress.received.size();
        const uint8_t cuts = next();
        run.answerInPieces(run.checkSum() + "FZ", cuts);
        // Cut right after the check sum, it answers the block ("FZ" fails the next).
        if (waiting && ((cuts >> 1) & 1) != 0) {
          check(run.progress.received.size() == blocks + 1,
                "a cut check sum is the block's answer");
        } else if (waiting) {
          check(run.done.received.size() == 1, "a cut final answer is taken");
        }
        waiting = false;
        break;
      }
      case 3:
        tickAll();
        break;
      case 4: {
        const std::string line = "QUILMATRONX QX1 1.00";
        const size_t cut = next() % line.size();
        run.answer(line.substr(0, cut));
        run.answer(line.substr(cut));
        waiting = false;
        break;
      }
      default:
        if (!std::exchange(started, true)) {
          run.schema.startUpload();
          TData route;  // 1: the probe routes the answers to the upload
          run.schema.probe.varPoint(route, 0);
          waiting = toInteger(route) == 1;
        }
        break;
    }
    waiting = waiting && !run.decided();
    run.checkInvariants();
  }
  return 0;
}
