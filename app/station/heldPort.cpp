#include "heldPort.h"

#include "app/station/stationHost.h"

// The device a schema's port element sees: every call goes to the held
// port, only open and close decide whether the OS port opens and closes.
class THeldPort::TSession final : public TSerialDevice {
 public:
  explicit TSession(THeldPort& held) : held_(held), port_(*held.device_) {}

  bool open(const std::string& name, std::string& error) override {
    if (held_.reuse(name)) return true;
    held_.closeHeld();
    if (!port_.open(name, error)) return false;
    held_.name_ = name;
    held_.target_ = canonicalDevice(name);
    held_.failed_ = false;
    return true;
  }
  void close() override {
    if (held_.failed_) held_.closeHeld();
  }
  bool configure(const TSerialSettings& settings) override {
    return kept(port_.configure(settings));
  }
  bool setTimeouts(const TSerialTimeouts& timeouts) override {
    return kept(port_.setTimeouts(timeouts));
  }
  bool setEventMask(uint32_t mask) override { return kept(port_.setEventMask(mask)); }
  bool purge(uint32_t flags) override { return kept(port_.purge(flags)); }
  void setupQueues(uint32_t inQueue, uint32_t outQueue) override {
    port_.setupQueues(inQueue, outQueue);
  }
  bool modemStatus(uint32_t& status) override { return port_.modemStatus(status); }
  bool clearErrors(uint32_t& errors, uint32_t& waiting) override {
    return kept(port_.clearErrors(errors, waiting));
  }
  bool write(const std::string& bytes, uint32_t& written) override {
    return port_.write(bytes, written);
  }
  TSerialFailure lastWriteFailure() const override { return port_.lastWriteFailure(); }
  bool read(uint32_t count, std::string& bytes) override { return port_.read(count, bytes); }
  bool drain(bool unbounded) override { return port_.drain(unbounded); }
  std::string lastErrorText() const override { return port_.lastErrorText(); }
  std::unique_ptr<TSerialWaiter> makeWaiter() override {
    return std::make_unique<TWaiter>(held_, port_.makeWaiter());
  }
  void wakeReader() override { port_.wakeReader(); }

 private:
  // A port that went away under the reader is not handed on.
  class TWaiter final : public TSerialWaiter {
   public:
    TWaiter(THeldPort& held, std::unique_ptr<TSerialWaiter> inner)
        : held_(held), inner_(std::move(inner)) {}
    TResult wait(uint32_t& mask) override {
      const TResult result = inner_->wait(mask);
      if (result == TResult::Failed) held_.failed_ = true;
      return result;
    }

   private:
    THeldPort& held_;
    const std::unique_ptr<TSerialWaiter> inner_;
  };

  // A refused setting or a failed error query: the port may have gone, and
  // the next schema opens it afresh. (A pty has no modem lines to report.)
  bool kept(bool done) {
    if (!done) held_.failed_ = true;
    return done;
  }

  THeldPort& held_;
  TSerialDevice& port_;
};

THeldPort::THeldPort(TSerialSystem& inner) : inner_(inner), device_(inner.createDevice()) {}

THeldPort::~THeldPort() { closeHeld(); }

std::unique_ptr<TSerialDevice> THeldPort::createDevice() {
  return std::make_unique<TSession>(*this);
}

void THeldPort::release() { closeHeld(); }

bool THeldPort::reuse(const std::string& name) {
  if (name_.empty() || failed_ || name != name_ || canonicalDevice(name) != target_) return false;
  // A port that went away while no schema had it (a hang-up) is opened
  // afresh rather than handed on dead.
  uint32_t errors = 0;
  uint32_t waiting = 0;
  if (!device_->clearErrors(errors, waiting)) return false;
  // The last schema's close woke its reader for good.
  device_->rearmReader();
  return true;
}

void THeldPort::closeHeld() {
  if (name_.empty()) return;
  device_->close();
  name_.clear();
  target_.clear();
}
