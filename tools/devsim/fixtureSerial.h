// The host's side of a simulated fixture: the serial ports of another
// serial system, with what a pty lacks and a fixture has. A pty has no
// modem lines, so the fixture's "unit present" switch (a line's present())
// is reported on DSR, per port; the fixture counts how often the host opened its
// port (each open and close pulses DTR and RTS) and probed it ("VERS");
// with made set, only those ports of it that exist are listed, so a host
// on every port probes no real equipment.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "serial/serialDevice.h"

namespace devsim {

class FixtureSerial final : public TSerialSystem {
 public:
  explicit FixtureSerial(TSerialSystem& inner) : inner_(inner) {}

  std::unique_ptr<TSerialDevice> createDevice() override;
  int32_t portNumber(const std::string& name) override { return inner_.portNumber(name); }
  std::vector<TListedPort> systemPorts() override;

  // Whether a unit is on the port opened by that name (DSR); empty: the
  // port's own modem lines.
  std::function<bool(const std::string& port)> present;
  std::vector<std::string> made;
  std::atomic<int> opens{0};
  std::atomic<int> probes{0};

 private:
  class Device;
  TSerialSystem& inner_;
};

}  // namespace devsim
