// A simulated device for one test; SimulatorTest opens its line's host end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "support/lineEnd.h"
#include "tools/devsim/crc16Modbus.h"
#include "tools/devsim/deviceSimulator.h"

struct TSimulatedDevice : devsim::DeviceSimulator {
  explicit TSimulatedDevice(devsim::SimulatorOptions options = {})
      : DeviceSimulator(std::move(options)) {
    if (!start()) ADD_FAILURE() << "simulator: " << error();
  }
  // The image bytes received once the session has ended.
  std::string receivedAtEnd() {
    waitFor(std::chrono::seconds(10));
    return received();
  }
};

class SimulatorTest : public ::testing::Test {
 protected:
  void start(devsim::SimulatorOptions options = {}) {
    simulator_ = std::make_unique<TSimulatedDevice>(std::move(options));
    host_ = std::make_unique<TLineEnd>(simulator_->portPath());
    ASSERT_TRUE(host_->isOpen());
    crc_ = devsim::kCrcInitial;
  }

  TSimulatedDevice& simulator() { return *simulator_; }
  TLineEnd& host() { return *host_; }

  // Block n (1..508) of the image.
  std::string block(int n) const { return image_.substr(static_cast<size_t>(n - 1) * 256, 256); }

  bool probe() { return host().write("VERS") && host().read(20) == "QUILMATRONX QX1 1.00"; }

  // The answer after `bytes` more image bytes: the running CRC, high byte
  // first, "FZ" after the last block.
  std::string expectAnswer(std::string_view bytes, bool final = false) {
    crc_ = devsim::crc16Modbus(crc_, bytes);
    return std::string{static_cast<char>(crc_ >> 8), static_cast<char>(crc_ & 0xFF)} +
           (final ? "FZ" : "");
  }

  // Sends blocks first..last, each in one write, and checks each answer.
  bool sendBlocks(int first, int last) {
    for (int n = first; n <= last; ++n) {
      if (!host().write(block(n)) ||
          host().read(n == 508 ? 4 : 2) != expectAnswer(block(n), n == 508))
        return false;
    }
    return true;
  }

  bool ended(devsim::SessionOutcome outcome) {
    return simulator().waitFor(std::chrono::seconds(5)) && simulator().outcome() == outcome;
  }

  // A stand-in firmware image: 508 blocks of reproducible noise.
  const std::string image_ = [] {
    std::mt19937 random(7);
    std::string image(508 * 256, '\0');
    for (char& c : image) c = static_cast<char>(random() & 0xFF);
    return image;
  }();
  uint16_t crc_ = devsim::kCrcInitial;

 private:
  std::unique_ptr<TSimulatedDevice> simulator_;
  std::unique_ptr<TLineEnd> host_;
};
