#include "flashRun.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "app/flash/host.h"
#include "app/flash/portResult.h"
#include "app/texts.h"
#include "runtime/codepage.h"

namespace {
using Clock = std::chrono::steady_clock;

// The upload's own watchdog reports silence within seconds; this only bounds
// a wait that something unforeseen would otherwise make endless.
constexpr std::chrono::hours uploadLimit{1};
constexpr std::chrono::milliseconds pollPeriod{20};
// A device line that came in time but is still being handled when the
// probe's time is up gets this long to become a device or a refusal.
constexpr std::chrono::milliseconds probeGrace{1000};

}  // namespace

struct TFlashRun::TPort {
  std::unique_ptr<TFlashSchema> schema;
  Clock::time_point started{};
  Clock::time_point uploadStarted{};
  TFlashStage announced = TFlashStage::Probing;
  bool uploading = false;
  bool stopped = false;
  std::thread closer;  // ends the port's part; see stop()
  std::atomic<bool> closed{false};
  bool vanishedWhileProbing = false;
  std::string openError;
};

TFlashRun::TFlashRun(TFlashRunOptions options) : options_(std::move(options)) {
  TSerialSystem& serial = options_.serial != nullptr ? *options_.serial : platformSerialSystem();
  if (options_.trace != nullptr)
    tracedSerial_ = std::make_unique<TTracedSerialSystem>(serial, *options_.trace);
  size_t width = 0;
  for (const std::string& port : options_.ports) width = std::max(width, textWidth(port));
  for (const std::string& port : options_.ports) {
    auto entry = std::make_unique<TPort>();
    entry->schema = std::make_unique<TFlashSchema>(
        port, options_.board, tracedSerial_ ? static_cast<TSerialSystem&>(*tracedSerial_) : serial);
    if (options_.byteWrites) entry->schema->writeEachByte();
    if (options_.board != nullptr) {
      entry->schema->progress.attach(
          *options_.board, options_.board->live() ? padded(port, width + 2) : port + ": ");
    }
    ports_.push_back(std::move(entry));
  }
}

TFlashRun::~TFlashRun() {
  for (auto& port : ports_) {
    stop(*port);
    port->closer.join();
  }
}

std::vector<TPortResult> TFlashRun::run(const TInterrupts& interrupts) {
  for (auto& port : ports_) {
    port->started = Clock::now();
    port->schema->selectPort();
    // The open ran on this thread, its reason is fresh.
    port->openError = port->schema->comPort.openError();
  }
  bool open = true;
  while (open && interrupts() == 0) {
    open = false;
    for (auto& port : ports_) open = !advance(*port) || open;
    if (open) std::this_thread::sleep_for(pollPeriod);
  }
  for (auto& port : ports_) {
    // Interrupted: what is still open ends here; what ended meanwhile is
    // still told.
    TZKFlashOutcome& outcome = port->schema->outcome;
    if (!outcome.decide(TFlashStage::Probing, TFlashStage::Interrupted) && !options_.probeOnly)
      outcome.decide(TFlashStage::Found, TFlashStage::Interrupted);
    if (outcome.stage() != port->announced) announce(*port, outcome.stage());
    stop(*port);
  }
  std::vector<TPortResult> results;
  for (const auto& port : ports_) results.push_back(result(*port));
  return results;
}

bool TFlashRun::waitForClose(const TInterrupts& interrupts) {
  std::optional<Clock::time_point> interruptedAt;
  for (;;) {
    if (std::all_of(ports_.begin(), ports_.end(), [](const auto& p) { return p->closed.load(); }))
      return true;
    if (!interruptedAt && interrupts() > 0) interruptedAt = Clock::now();
    if (interruptedAt && (interrupts() > 1 || Clock::now() - *interruptedAt >= interruptedEndLimit))
      return false;
    std::this_thread::sleep_for(pollPeriod);
  }
}

bool TFlashRun::advance(TPort& port) {
  TFlashSchema& schema = *port.schema;
  const Clock::time_point now = Clock::now();
  TFlashStage stage = schema.outcome.stage();
  // A device line by the limit counts (the probe decides it); a later one is
  // late, whatever the probe makes of it meanwhile.
  if (stage == TFlashStage::Probing && now - port.started >= probeTimeout &&
      (!schema.record.closeProbe() || now - port.started >= probeTimeout + probeGrace) &&
      schema.outcome.decide(TFlashStage::Probing, TFlashStage::NoDevice)) {
    port.vanishedWhileProbing = !portPresent(schema.port());
    stage = TFlashStage::NoDevice;
  }
  if (stage != port.announced) announce(port, stage);
  if (stage == TFlashStage::Found && !options_.probeOnly && !port.uploading) {
    port.uploading = true;
    port.uploadStarted = now;
    schema.progress.start();
    schema.startUpload();
  } else if (stage == TFlashStage::Found && port.uploading &&
             now - port.uploadStarted > uploadLimit &&
             schema.outcome.decide(TFlashStage::Found, TFlashStage::TransferError)) {
    announce(port, TFlashStage::TransferError);
  }
  return port.stopped;
}

void TFlashRun::announce(TPort& port, TFlashStage stage) {
  port.announced = stage;
  TFlashSchema& schema = *port.schema;
  if (stage == TFlashStage::Found) {
    const TPortFacts facts = schema.record.facts();
    schema.progress.setDevice(cp1251ToUtf8(facts.model + " " + facts.version));
    if (!options_.probeOnly) return;
  }
  // The outcome is decided: nothing more goes to or comes from the device.
  stop(port);
  TConsoleBoard* board = options_.board;
  if (board == nullptr) return;
  const TPortResult outcome = result(port);
  const std::string prefix = schema.port() + ": ";
  const auto say = [&](std::FILE* stream, const std::string& cp1251) {
    board->print(stream, prefix + cp1251ToUtf8(cp1251));
  };
  const bool done = outcome.outcome == TPortOutcome::Done;
  schema.progress.finish(
      done ? outcome.blocksAcknowledged : 0,
      outcomeWord(outcome.outcome) + "  " +
          (outcome.detail.empty() ? secondsText(outcome.seconds) : outcome.detail));
  // A start command that could not be written fails a finished transfer.
  if (stage == TFlashStage::Done && !done) stage = TFlashStage::TransferError;
  switch (stage) {
    case TFlashStage::PortFailed:
      board->print(board->err(), "cannot open port " + schema.port() + ": " + outcome.detail);
      break;
    case TFlashStage::NoDevice:
      // The probe says so itself when the device answered something else.
      if (outcome.deviceLine.empty()) say(board->out(), texts::noDevice());
      board->print(board->err(), prefix + outcome.detail);
      break;
    case TFlashStage::Done:
      say(board->out(), texts::successLine1());
      say(board->out(), texts::successLine2());
      if (!outcome.detail.empty()) board->print(board->err(), prefix + outcome.detail);
      break;
    case TFlashStage::TransferError:
      say(board->out(), texts::transferError());
      say(board->out(), texts::checkCables());
      board->print(board->err(), prefix + outcome.detail);
      break;
    default:
      break;
  }
}

void TFlashRun::stop(TPort& port) {
  // Off the main thread: a close may wait for the output to drain, and the
  // other ports go on meanwhile.
  if (port.stopped) return;
  port.stopped = true;
  port.closer = std::thread([&port] {
    port.schema->stop();
    port.closed = true;
  });
}

TPortResult TFlashRun::result(const TPort& port) const {
  return portResult(*port.schema,
                    {port.started, port.openError, port.vanishedWhileProbing, port.uploading});
}
