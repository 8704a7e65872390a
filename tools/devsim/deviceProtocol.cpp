#include "tools/devsim/deviceProtocol.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "tools/devsim/crc16Modbus.h"

namespace devsim {

namespace {

constexpr std::string_view kProbeCommand = "VERS";
constexpr std::string_view kStartCommand = "PUSK";
constexpr std::string_view kFinalMark = "FZ";

// Five bytes: never a block answer (2), a final answer (4) or a probe
// answer (no space).
const std::string kGarbage("\x00\xFF?\x80#", 5);

std::string hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

}  // namespace

const char* describe(SessionOutcome outcome) {
  switch (outcome) {
    case SessionOutcome::Running:
      return "still running";
    case SessionOutcome::Complete:
      return "complete: VERS, 508 blocks, PUSK";
    case SessionOutcome::HostClosed:
      return "the host closed the port before the session was complete";
    case SessionOutcome::TimedOut:
      return "no byte from the host for the inactivity time-out";
    case SessionOutcome::NotPusk:
      return "other bytes where PUSK was expected";
    case SessionOutcome::IncompleteUpload:
      return "PUSK after an early final answer: the image is incomplete";
    case SessionOutcome::Vanished:
      return "the port was closed on purpose (vanish)";
    case SessionOutcome::Stopped:
      return "stopped from outside";
    case SessionOutcome::CompleteAfterWrongAnswer:
      return "the host went on to PUSK past a wrong answer";
    case SessionOutcome::ReplayDiffers:
      return "the host did otherwise than the replayed trace shows";
  }
  return "unknown";
}

std::string quoted(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      text += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      text += escape;
    }
  }
  return "\"" + text + "\"";
}

DeviceProtocol::DeviceProtocol(const SimulatorOptions& options, Logger log)
    : options_(options), log_(std::move(log)), crc_(kCrcInitial) {}

DeviceProtocol::Match DeviceProtocol::match(uint8_t byte, std::string_view command) {
  command_.push_back(static_cast<char>(byte));
  if (command_ == command) return Match::Complete;
  return command.starts_with(command_) ? Match::Partial : Match::Mismatch;
}

DeviceStep DeviceProtocol::take(uint8_t byte) {
  switch (phase_) {
    case Phase::AwaitVers:
      switch (match(byte, kProbeCommand)) {
        case Match::Complete:
          command_.clear();
          return answerVers();
        case Match::Partial:
          return {};
        case Match::Mismatch: {
          std::string ignored = std::exchange(command_, {});
          // The byte that broke the match may begin the command itself.
          if (ignored.back() == kProbeCommand.front()) {
            ignored.pop_back();
            command_ = kProbeCommand.front();
          }
          log_("ignored before VERS: " + quoted(ignored));
          return {};
        }
      }
      break;
    case Phase::Upload:
      return takeUploadByte(byte);
    case Phase::AwaitPusk:
      switch (match(byte, kStartCommand)) {
        case Match::Complete:
          log_("PUSK received");
          if (finalBlock_ < kBlockCount) return end(SessionOutcome::IncompleteUpload);
          return end(wrongAnswerSent_ ? SessionOutcome::CompleteAfterWrongAnswer
                                      : SessionOutcome::Complete);
        case Match::Partial:
          return {};
        case Match::Mismatch:
          log_("expected PUSK, received " + quoted(command_));
          return end(SessionOutcome::NotPusk);
      }
      break;
    case Phase::Ended:
      break;
  }
  return {};
}

DeviceStep DeviceProtocol::answerVers() {
  if (options_.vanishAt == 0) {
    log_("VERS received: closing the port (vanish)");
    phase_ = Phase::Ended;
    return {DeviceStep::Kind::Vanish, 0, {}, SessionOutcome::Vanished};
  }
  if (!options_.answerVers) {
    log_("VERS received: not answered");
    return {};
  }
  phase_ = Phase::Upload;
  const bool garbage = options_.garbage.matches(0);
  std::string bytes = garbage ? kGarbage
                      : options_.identity
                          ? *options_.identity
                          : "QUILMATRONX " + options_.model + " " + options_.firmware;
  log_("VERS answered: " + quoted(bytes) + (garbage ? " (garbage)" : ""));
  return {DeviceStep::Kind::Answer, 0, std::move(bytes)};
}

DeviceStep DeviceProtocol::takeUploadByte(uint8_t byte) {
  std::string bytes(1, static_cast<char>(byte));
  if (image_.empty()) {
    // A host that did not take the identity probes again when the port is
    // chosen anew: "VERS" as the very first bytes is a probe, not image data.
    switch (match(byte, kProbeCommand)) {
      case Match::Complete:
        command_.clear();
        log_("VERS again before the upload");
        return answerVers();
      case Match::Partial:
        return {};
      case Match::Mismatch:
        log_("upload begins");
        bytes = std::exchange(command_, {});
        break;
    }
  }
  DeviceStep step;
  for (char c : bytes) {
    image_.push_back(c);
    crc_ = crc16Modbus(crc_, static_cast<uint8_t>(c));
    // At most four bytes pass here at once, so only the last can end a block.
    if (image_.size() % kBlockSize == 0) step = answerBlock(blocks());
  }
  return step;
}

DeviceStep DeviceProtocol::answerBlock(int block) {
  const std::string name = "block " + std::to_string(block);
  if (options_.vanishAt == block) {
    log_(name + " received: closing the port (vanish)");
    phase_ = Phase::Ended;
    return {DeviceStep::Kind::Vanish, block, {}, SessionOutcome::Vanished};
  }
  const bool final = block == kBlockCount || block == options_.earlyFinal;
  if (final) {
    phase_ = Phase::AwaitPusk;
    finalBlock_ = block;
  }
  if (options_.silentFrom > 0 && block >= options_.silentFrom) {
    log_(name + ": CRC " + hex4(crc_) + ", not answered (silent)");
    return {};
  }
  std::string bytes;
  std::string notes;
  if (options_.garbage.matches(block)) {
    bytes = kGarbage;
    notes = " (garbage)";
    wrongAnswerSent_ = true;
  } else {
    uint16_t value = crc_;
    if (options_.wrongCrc.matches(block)) {
      value ^= 0x0101;
      notes += " (wrong CRC)";
      wrongAnswerSent_ = true;
    }
    auto high = static_cast<char>(value >> 8);
    auto low = static_cast<char>(value & 0xFF);
    if (options_.swapCrc.matches(block)) {
      std::swap(high, low);
      notes += " (bytes swapped)";
      wrongAnswerSent_ = wrongAnswerSent_ || high != low;
    }
    bytes = {high, low};
    if (final && !options_.plainFinal) bytes += kFinalMark;
  }
  if (final && options_.plainFinal) {
    notes += " (final answer without FZ)";
    wrongAnswerSent_ = true;
  } else if (final) {
    notes += block < kBlockCount ? " (early final answer)" : " (final answer)";
  }
  log_(name + ": CRC " + hex4(crc_) + ", sent " + quoted(bytes) + notes);
  return {DeviceStep::Kind::Answer, block, std::move(bytes)};
}

DeviceStep DeviceProtocol::end(SessionOutcome outcome) {
  phase_ = Phase::Ended;
  return {DeviceStep::Kind::End, -1, {}, outcome};
}

}  // namespace devsim
