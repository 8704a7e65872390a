#include "serial/trace/tracedSerial.h"

#include <atomic>
#include <mutex>

#include "serial/trace/traceFormat.h"

namespace {

using Kind = TTraceEntry::Kind;

class TTracedDevice : public TSerialDevice {
 public:
  TTracedDevice(std::unique_ptr<TSerialDevice> inner, TTraceFile& file)
      : inner_(std::move(inner)), file_(file) {}

  bool open(const std::string& name, std::string& error) override {
    const bool opened = inner_->open(name, error);
    std::lock_guard guard(order_);
    port_ = name;
    open_ = opened;
    lostTold_ = false;  // each opening's own
    event(opened ? "open" : "cannot-open", opened ? std::string() : error);
    return opened;
  }
  bool configure(const TSerialSettings& settings) override {
    const bool applied = inner_->configure(settings);
    std::lock_guard guard(order_);
    event("settings", describeSettings(settings) + (applied ? "" : " (refused by the port)"));
    return applied;
  }
  // The write is recorded under the lock it runs under: the device can only
  // answer once the bytes are out, so its answer is recorded after them.
  bool write(const std::string& bytes, uint32_t& written) override {
    std::lock_guard guard(order_);
    const bool started = inner_->write(bytes, written);
    const size_t count = started ? std::min<size_t>(written, bytes.size()) : 0;
    const double at = file_.secondsSinceStart();
    const std::string_view all(bytes);
    file_.writeLine(traceFormat::bytesLines(at, port_, '>', all.substr(0, count)) +
                    traceFormat::bytesLines(at, port_, '!', all.substr(count)));
    return started;
  }
  TSerialFailure lastWriteFailure() const override { return inner_->lastWriteFailure(); }
  bool read(uint32_t count, std::string& bytes) override {
    const bool started = inner_->read(count, bytes);
    if (bytes.empty()) return started;
    std::lock_guard guard(order_);
    // One write of all its lines: other ports' lines cannot come between.
    file_.writeLine(traceFormat::bytesLines(file_.secondsSinceStart(), port_, '<', bytes));
    return started;
  }
  void close() override {
    inner_->close();
    std::lock_guard guard(order_);
    if (open_) event("close");
    open_ = false;
  }
  std::unique_ptr<TSerialWaiter> makeWaiter() override;

  bool setTimeouts(const TSerialTimeouts& timeouts) override {
    return inner_->setTimeouts(timeouts);
  }
  bool setEventMask(uint32_t mask) override { return inner_->setEventMask(mask); }
  bool purge(uint32_t flags) override { return inner_->purge(flags); }
  void setupQueues(uint32_t inQueue, uint32_t outQueue) override {
    inner_->setupQueues(inQueue, outQueue);
  }
  bool modemStatus(uint32_t& status) override { return inner_->modemStatus(status); }
  // A wait that ends without an event (some Windows unplugs, a line
  // error) makes the reader ask the port this; one that no longer answers
  // is gone, and the reader ends.
  bool clearErrors(uint32_t& errors, uint32_t& waiting) override {
    const bool answered = inner_->clearErrors(errors, waiting);
    if (!answered) lost();
    return answered;
  }
  bool drain(bool unbounded) override { return inner_->drain(unbounded); }
  void wakeReader() override { inner_->wakeReader(); }
  std::string lastErrorText() const override { return inner_->lastErrorText(); }

  void lost() {
    std::lock_guard guard(order_);
    if (open_ && !lostTold_) event("lost");
    lostTold_ = true;
  }

 private:
  // Called holding order_.
  void event(const char* name, const std::string& words = {}) {
    file_.writeLine(traceFormat::eventLine(file_.secondsSinceStart(), port_, name, words));
  }

  std::unique_ptr<TSerialDevice> inner_;
  TTraceFile& file_;
  std::mutex order_;
  std::string port_;
  bool open_ = false;
  bool lostTold_ = false;
};

class TTracedWaiter : public TSerialWaiter {
 public:
  TTracedWaiter(std::unique_ptr<TSerialWaiter> inner, TTracedDevice& device)
      : inner_(std::move(inner)), device_(device) {}
  TResult wait(uint32_t& mask) override {
    const TResult result = inner_->wait(mask);
    if (result == TResult::Failed) device_.lost();
    return result;
  }

 private:
  std::unique_ptr<TSerialWaiter> inner_;
  TTracedDevice& device_;
};

std::unique_ptr<TSerialWaiter> TTracedDevice::makeWaiter() {
  return std::make_unique<TTracedWaiter>(inner_->makeWaiter(), *this);
}

const char* controlWord(uint32_t control) {
  static const char* const words[] = {"off", "on", "handshake", "toggle"};
  return words[control & 3u];
}

}  // namespace

std::unique_ptr<TSerialDevice> TTracedSerialSystem::createDevice() {
  return std::make_unique<TTracedDevice>(inner_.createDevice(), file_);
}

std::string describeSettings(const TSerialSettings& settings) {
  static const char parity[] = "NOEMS";
  static const char* const stopBits[] = {"1", "1.5", "2"};
  namespace flag = serial::flag;
  std::string flow;
  if (settings.Flags & flag::OutxCtsFlow) flow += " CTS";
  if (settings.Flags & flag::OutxDsrFlow) flow += " DSR";
  if (settings.Flags & (flag::OutX | flag::InX)) flow += " XON/XOFF";
  return std::to_string(settings.BaudRate) + " Bd " + std::to_string(settings.ByteSize) +
         parity[std::min<int>(settings.Parity, 4)] + stopBits[std::min<int>(settings.StopBits, 2)] +
         ", DTR " + controlWord(settings.dtrControl()) + ", RTS " +
         controlWord(settings.rtsControl()) +
         (flow.empty() ? ", no flow control" : ", flow control:" + flow);
}
