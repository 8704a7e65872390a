#include "portResult.h"

#include <cstdio>

#include "runtime/codepage.h"

namespace {
// A device's text for a console line: control bytes as \xHH.
std::string readable(const std::string& cp1251) {
  std::string text;
  for (char c : cp1251) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      text += c;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    text += escape;
  }
  return cp1251ToUtf8(text);
}

// The port's own reason for a failed write, when it gave one.
std::string because(const TPortFacts& facts) {
  return facts.writeFailure.empty() ? "" : " (" + facts.writeFailure + ")";
}

void describeTransferFailure(const TPortFacts& facts, TPortResult& result) {
  const std::string block = "block " + std::to_string(facts.failingBlock);
  if (facts.failingBlock > 0) result.failingBlock = facts.failingBlock;
  switch (facts.failure) {
    case TFailureKind::WrongAnswer: {
      result.failure = "wrong-answer";
      result.received = facts.received;
      const std::string received = facts.received.empty() ? "nothing" : facts.received;
      if (facts.failingBlock == 0) {
        result.detail = "an answer before the first block: received " + received;
        return;
      }
      result.expected = facts.expected;
      result.detail = block + ": expected " + facts.expected + ", received " + received;
      return;
    }
    case TFailureKind::NoAnswer:
      result.failure = "no-answer";
      result.detail = "no answer for 3 s after " + block;
      return;
    case TFailureKind::WriteFailed:
      result.failure = "write-failed";
      result.detail = "a write to the port failed or timed out in " + block + because(facts);
      return;
    case TFailureKind::Vanished:
      result.failure = "vanished";
      result.detail = "the port vanished after " + block;
      return;
    case TFailureKind::None:
      result.failure = "no-outcome";
      result.detail = "the upload did not end within an hour";
      return;
  }
}
}  // namespace

TPortResult portResult(const TFlashSchema& schema, const TPortAttempt& port) {
  TPortFacts facts = schema.record.facts();
  // Its driver saw the port go before the watchdog could.
  if (port.vanishedWhileUploading && facts.failure == TFailureKind::None) {
    facts.failure = TFailureKind::Vanished;
    facts.failingBlock = facts.blocksSent;
  }
  TPortResult r;
  r.port = schema.port();
  r.model = cp1251ToUtf8(facts.model);
  r.version = cp1251ToUtf8(facts.version);
  if (facts.probeAnswered || facts.answeredLate) r.deviceLine = cp1251ToUtf8(facts.deviceLine);
  r.blocksAcknowledged = facts.acknowledged;
  r.seconds = std::chrono::duration<double>(schema.outcome.changedAt() - port.started).count();
  switch (schema.outcome.stage()) {
    case TFlashStage::Done:
      // The final answer acknowledges the block it answers, which may come
      // before the last one: the device may end the transfer early.
      r.blocksAcknowledged = facts.blocksSent;
      if (facts.writeFailed) {
        r.outcome = TPortOutcome::Failed;
        r.failure = "start-command";
        r.detail = "the start command could not be written" + because(facts);
        break;
      }
      r.outcome = TPortOutcome::Done;
      if (facts.blocksSent < TZKPortRecord::BlockCount) {
        r.detail = "the device ended the transfer after block " + std::to_string(facts.blocksSent) +
                   " of " + std::to_string(TZKPortRecord::BlockCount);
      }
      break;
    case TFlashStage::Found:
      r.outcome = TPortOutcome::Found;
      break;
    case TFlashStage::PortFailed:
      r.outcome = TPortOutcome::CannotOpen;
      r.failure = "cannot-open";
      r.detail = port.openError;
      break;
    case TFlashStage::NoDevice:
      r.outcome = TPortOutcome::NoDevice;
      if (facts.probeAnswered) {
        r.failure = "refused";
        r.detail = "refused device line \"" + readable(facts.deviceLine) + "\"";
      } else if (facts.answeredLate) {
        r.failure = "late";
        r.detail = "answered VERS after the 3 s limit";
      } else if (port.vanishedWhileProbing || facts.failure == TFailureKind::Vanished) {
        r.failure = "vanished";
        r.detail = "the port vanished";
      } else {
        r.failure = "no-answer";
        r.detail = "no answer to VERS within 3 s";
      }
      break;
    case TFlashStage::TransferError:
      r.outcome = TPortOutcome::Failed;
      describeTransferFailure(facts, r);
      break;
    case TFlashStage::Probing:
    case TFlashStage::Interrupted:
      r.outcome = TPortOutcome::Interrupted;
      r.failure = "interrupted";
      r.detail = port.uploading ? "interrupted after " + std::to_string(facts.acknowledged) +
                                      " blocks acknowledged"
                                : "interrupted before the upload";
      break;
  }
  return r;
}
