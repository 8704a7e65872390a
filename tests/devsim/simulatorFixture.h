// A simulator started in-process with the host's end of its pty opened, and
// helpers that drive the exchange and check every answer.
#pragma once

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <memory>

#include "hostPort.h"
#include "tools/devsim/deviceSimulator.h"

namespace devsim_test {

class SimulatorTest : public ::testing::Test {
 protected:
  void start(devsim::SimulatorOptions options = {}) {
    simulator_ = std::make_unique<devsim::DeviceSimulator>(std::move(options));
    ASSERT_TRUE(simulator_->start()) << simulator_->error();
    host_ = std::make_unique<HostPort>(simulator_->portPath());
    ASSERT_TRUE(host_->isOpen());
  }

  devsim::DeviceSimulator& simulator() { return *simulator_; }
  HostPort& host() { return *host_; }

  bool probe(const std::string& identity = "QUILMATRONX QX1 1.00") {
    EXPECT_TRUE(host().write("VERS"));
    const std::string answer = host().read(identity.size());
    EXPECT_EQ(answer, identity);
    return answer == identity;
  }

  // The expected answer after `bytes` more image bytes: the running CRC,
  // high byte first, with "FZ" after the last block.
  std::string expectAnswer(std::string_view bytes, bool final = false) {
    crc_ = referenceCrc(crc_, bytes);
    return crcAnswer(crc_) + (final ? "FZ" : "");
  }

  bool sendBlocks(int first, int last) {
    return devsim_test::sendBlocks(host(), image_, first, last, crc_);
  }

  bool ended(devsim::SessionOutcome outcome) {
    return simulator().waitFor(std::chrono::seconds(5)) && simulator().outcome() == outcome;
  }

  // The session thread logs after it acted, so give it a moment on a busy
  // machine.
  bool logMentions(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    do {
      for (const auto& line : simulator().log()) {
        if (line.find(text) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

  const std::string image_ = makeImage();
  uint16_t crc_ = 0xFFFF;

 private:
  std::unique_ptr<devsim::DeviceSimulator> simulator_;
  std::unique_ptr<HostPort> host_;
};

}  // namespace devsim_test
