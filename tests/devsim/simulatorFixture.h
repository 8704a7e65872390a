// The simulator's tests: a simulator started in-process with the host's end
// of its line opened.
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

namespace devsim_test {

using namespace std::chrono_literals;

// A stand-in firmware image: 508 blocks of reproducible noise.
inline std::string makeImage() {
  std::mt19937 random(7);
  std::string image(508 * 256, '\0');
  for (char& c : image) c = static_cast<char>(random() & 0xFF);
  return image;
}

inline std::string block(const std::string& image, int n) {
  return image.substr(static_cast<size_t>(n - 1) * 256, 256);
}

class SimulatorTest : public ::testing::Test {
 protected:
  void start(devsim::SimulatorOptions options = {}) {
    simulator_ = std::make_unique<devsim::DeviceSimulator>(std::move(options));
    ASSERT_TRUE(simulator_->start()) << simulator_->error();
    host_ = std::make_unique<TLineEnd>(simulator_->portPath());
    ASSERT_TRUE(host_->isOpen());
    crc_ = devsim::kCrcInitial;
  }

  devsim::DeviceSimulator& simulator() { return *simulator_; }
  TLineEnd& host() { return *host_; }

  bool probe() {
    EXPECT_TRUE(host().write("VERS"));
    const std::string answer = host().read(20);
    EXPECT_EQ(answer, "QUILMATRONX QX1 1.00");
    return answer == "QUILMATRONX QX1 1.00";
  }

  // The expected answer after `bytes` more image bytes: the running CRC,
  // high byte first, with "FZ" after the last block.
  std::string expectAnswer(std::string_view bytes, bool final = false) {
    crc_ = devsim::crc16Modbus(crc_, bytes);
    return std::string{static_cast<char>(crc_ >> 8), static_cast<char>(crc_ & 0xFF)} +
           (final ? "FZ" : "");
  }

  // Sends blocks first..last, each in one write, and checks each answer.
  bool sendBlocks(int first, int last) {
    for (int n = first; n <= last; ++n) {
      const std::string bytes = block(image_, n);
      if (!host().write(bytes) || host().read(n == 508 ? 4 : 2) != expectAnswer(bytes, n == 508))
        return false;
    }
    return true;
  }

  bool ended(devsim::SessionOutcome outcome) {
    return simulator().waitFor(5s) && simulator().outcome() == outcome;
  }

  const std::string image_ = makeImage();
  uint16_t crc_ = devsim::kCrcInitial;

 private:
  std::unique_ptr<devsim::DeviceSimulator> simulator_;
  std::unique_ptr<TLineEnd> host_;
};

}  // namespace devsim_test
