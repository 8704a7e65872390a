#include "fixtureSerial.h"

#include <unistd.h>

namespace devsim {

class FixtureSerial::Device final : public TSerialDevice {
 public:
  Device(FixtureSerial& fixture, std::unique_ptr<TSerialDevice> port)
      : fixture_(fixture), port_(std::move(port)) {}

  bool open(const std::string& name, std::string& error) override {
    ++fixture_.opens;
    name_ = name;
    return port_->open(name, error);
  }
  bool modemStatus(uint32_t& status) override {
    if (!fixture_.present) return port_->modemStatus(status);
    status = fixture_.present(name_) ? serial::MsDsrOn : 0;
    return true;
  }
  bool write(const std::string& bytes, uint32_t& written) override {
    if (bytes.starts_with("VERS")) ++fixture_.probes;
    return port_->write(bytes, written);
  }
  bool configure(const TSerialSettings& s) override { return port_->configure(s); }
  bool setTimeouts(const TSerialTimeouts& t) override { return port_->setTimeouts(t); }
  bool setEventMask(uint32_t mask) override { return port_->setEventMask(mask); }
  bool purge(uint32_t flags) override { return port_->purge(flags); }
  void setupQueues(uint32_t in, uint32_t out) override { port_->setupQueues(in, out); }
  bool clearErrors(uint32_t& errors, uint32_t& waiting) override {
    return port_->clearErrors(errors, waiting);
  }
  TSerialFailure lastWriteFailure() const override { return port_->lastWriteFailure(); }
  bool read(uint32_t count, std::string& bytes) override { return port_->read(count, bytes); }
  bool drain(bool unbounded) override { return port_->drain(unbounded); }
  void close() override { port_->close(); }
  std::string lastErrorText() const override { return port_->lastErrorText(); }
  std::unique_ptr<TSerialWaiter> makeWaiter() override { return port_->makeWaiter(); }
  void wakeReader() override { port_->wakeReader(); }
  void rearmReader() override { port_->rearmReader(); }

 private:
  FixtureSerial& fixture_;
  const std::unique_ptr<TSerialDevice> port_;
  std::string name_;
};

std::unique_ptr<TSerialDevice> FixtureSerial::createDevice() {
  return std::make_unique<Device>(*this, inner_.createDevice());
}

std::vector<TListedPort> FixtureSerial::systemPorts() {
  std::vector<TListedPort> listed;
  for (const std::string& path : made)
    if (::access(path.c_str(), F_OK) == 0) listed.push_back({path});
  return listed;
}

}  // namespace devsim
