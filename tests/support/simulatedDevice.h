// A simulated device on a pty of its own for one test; it stops when it goes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tools/devsim/deviceSimulator.h"

struct TSimulatedDevice : devsim::DeviceSimulator {
  explicit TSimulatedDevice(devsim::SimulatorOptions options = {})
      : DeviceSimulator(std::move(options)) {
    if (!start()) ADD_FAILURE() << "simulator: " << error();
  }
  // The image bytes received once the session has ended (the upload is
  // complete, the host closed the port).
  std::string receivedAtEnd() {
    waitFor(std::chrono::seconds(10));
    return received();
  }
};
