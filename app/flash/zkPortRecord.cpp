#include "zkPortRecord.h"

#include <utility>

#include "app/flash/host.h"
#include "app/texts.h"
#include "elements/hexText.h"

namespace {
// The upload's final answer: the check sum followed by "FZ".
const std::string finalMark = "465A";
}  // namespace

std::string hexBytes(const std::string& bytes) {
  std::string text;
  for (char c : bytes) text += intToHex(static_cast<unsigned char>(c), 2);
  return text;
}

void TZKPortRecord::inProbeAnswer(TData& d, uint16_t) {
  const std::string piece = toString(d);
  std::lock_guard guard(lock_);
  (probeClosed_ ? facts_.answeredLate : facts_.probeAnswered) = true;
  // The probe joins the pieces of a line; its message ends one.
  if (std::exchange(lineTold_, false)) facts_.deviceLine.clear();
  facts_.deviceLine += piece;
}

bool TZKPortRecord::closeProbe() {
  std::lock_guard guard(lock_);
  probeClosed_ = true;
  return facts_.probeAnswered;
}

void TZKPortRecord::inMessage(TData& d, uint16_t) {
  // The device line is the format text with the model word for %1 and the
  // version word for %2; the model word holds no space.
  const std::string& format = texts::deviceInfo();
  const size_t first = format.find("%1");
  const std::string between = format.substr(first + 2, format.find("%2") - first - 2);
  const std::string message = toString(d);
  {
    std::lock_guard guard(lock_);
    lineTold_ = true;
  }
  if (message.compare(0, first, format, 0, first) != 0) return;
  const size_t split = message.find(between, first);
  if (split == std::string::npos) return;
  std::lock_guard guard(lock_);
  facts_.model = message.substr(first, split - first);
  facts_.version = message.substr(split + between.size());
}

void TZKPortRecord::inCrc(TData& d, uint16_t) {
  if (bytesSent_.fetch_add(1) % BlockSize == 0) {
    std::lock_guard guard(lock_);
    answer_.clear();  // a block begins
  }
  fireEvent(outCrc, d);
}

int32_t TZKPortRecord::blocksSent() const {
  return static_cast<int32_t>((bytesSent_.load() + BlockSize - 1) / BlockSize);
}

void TZKPortRecord::inProgress(TData& d, uint16_t) {
  const int32_t blocks = toInteger(d);
  if (blocks <= 0) return;
  std::lock_guard guard(lock_);
  facts_.acknowledged = blocks;
}

void TZKPortRecord::inAnswer(TData& d, uint16_t) {
  const std::string piece = toString(d);
  std::lock_guard guard(lock_);
  answer_ += piece;  // the upload joins the pieces since the block began
  answering_ = std::this_thread::get_id();
}

void TZKPortRecord::inAnswerHandled(TData&, uint16_t) {
  std::lock_guard guard(lock_);
  answering_ = {};
}

void TZKPortRecord::inWriteFailed(TData&, uint16_t) {
  TData none;  // the event's count is no reason
  std::string why = readString(none, dataWriteFailure, "");
  std::lock_guard guard(lock_);
  if (bytesSent_.load() == 0 || facts_.writeFailed) return;
  facts_.writeFailed = true;
  facts_.writeFailure = std::move(why);
}

void TZKPortRecord::inError(TData&, uint16_t) {
  TData none;
  const std::string crc = readString(none, dataCrc, "");
  std::unique_lock guard(lock_);
  if (facts_.failure != TFailureKind::None) return;
  facts_.failingBlock = blocksSent();
  if (facts_.writeFailed) {
    facts_.failure = TFailureKind::WriteFailed;
    return;
  }
  if (answering_ == std::this_thread::get_id()) {
    facts_.failure = TFailureKind::WrongAnswer;
    if (bytesSent_.load() > 0)
      facts_.expected = crc + (facts_.failingBlock == BlockCount ? finalMark : "");
    facts_.received = hexBytes(answer_);
    return;
  }
  // A port that vanished looks like silence to the upload.
  guard.unlock();
  const bool present = portPresent(Port);
  guard.lock();
  if (facts_.failure == TFailureKind::None)
    facts_.failure = present ? TFailureKind::NoAnswer : TFailureKind::Vanished;
}

void TZKPortRecord::inVanished(TData&, uint16_t) {
  std::lock_guard guard(lock_);
  if (facts_.failure != TFailureKind::None) return;
  facts_.failingBlock = blocksSent();
  facts_.failure = TFailureKind::Vanished;
}

TPortFacts TZKPortRecord::facts() const {
  std::lock_guard guard(lock_);
  TPortFacts facts = facts_;
  facts.blocksSent = blocksSent();
  return facts;
}
