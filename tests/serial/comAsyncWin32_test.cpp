// The Windows backend under Wine against a pty mapped as a COM port: the
// device (winePortPeer.py) echoes every byte and unplugs on "UNPLUG".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "portLog.h"
#include "serial/portNames.h"
#include "support/boundedWait.h"

namespace {

struct WinePortTest : TLoggedPort, ::testing::Test {
  std::string name;

  void SetUp() override {
    const char* mapped = std::getenv("QUIL_SERIAL_TEST_PORT");
    if (mapped == nullptr) GTEST_SKIP() << "needs a mapped port (winePortPeer.py)";
    name = mapped;
  }
  std::string expectedOpen() const { return "open=" + std::to_string(comPortNumber(name)); }
  void open() { TLoggedPort::open(name); }
  // The reader may still hand on an empty read of bytes it already gave.
  Strings entriesBesideTheReader() const {
    Strings kept;
    for (const std::string& e : log.entries()) {
      if (!e.starts_with("read") && !e.starts_with("rxchar")) kept.push_back(e);
    }
    return kept;
  }
};

TEST_F(WinePortTest, PortListFindsTheMappedPort) {
  port.CheckPorts = false;
  const Strings all = listPorts();
  EXPECT_NE(std::find(all.begin(), all.end(), name), all.end());
  port.CheckPorts = true;
  const Strings available = listPorts();
  EXPECT_NE(std::find(available.begin(), available.end(), name), available.end());
}

TEST_F(WinePortTest, OpenReceiveWriteCloseAndReopen) {
  open();
  ASSERT_EQ(log.entries(), (Strings{"opening", expectedOpen()}));

  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  // A write tells its count before it returns; the echo may come first.
  write(everyByte);
  EXPECT_EQ(entriesBesideTheReader(), (Strings{"opening", expectedOpen(), "written=256"}));
  ASSERT_TRUE(log.waitForReceived(everyByte.size()));
  EXPECT_EQ(log.received(), everyByte);

  // One write per byte, as the upload sends its blocks.
  for (char c : std::string("VERS")) write(std::string(1, c));
  ASSERT_TRUE(log.waitForReceived(260));
  EXPECT_EQ(log.received(), everyByte + "VERS");

  log.clear();
  close();
  EXPECT_EQ(entriesBesideTheReader(), CloseEvents);
  EXPECT_EQ(log.received(), "");

  log.clear();
  open();
  ASSERT_EQ(log.entries(), (Strings{"opening", expectedOpen()}));
  write(std::string("again\0", 6));
  ASSERT_TRUE(log.waitForReceived(6));
  EXPECT_EQ(log.received(), std::string("again\0", 6));
  close();
}

// Wine's purge flushed the pty's output although the queue reported empty:
// "PUSK" right before a close was lost now and then.
TEST_F(WinePortTest, ACloseKeepsWhatWasWrittenBeforeIt) {
  const std::unique_ptr<TSerialDevice> device = platformSerialSystem().createDevice();
  std::string error;
  ASSERT_TRUE(device->open(name, error)) << error;
  ASSERT_TRUE(device->setTimeouts({0xFFFFFFFF, 0, 0, 0, 1000}));  // reads return at once
  for (int i = 0; i < 200; ++i) {
    uint32_t written = 0;
    ASSERT_TRUE(device->write("PUSK", written));
    // The close's purge of the output; what it clears of the input is the echo.
    const uint32_t output = serial::PurgeTxAbort | serial::PurgeTxClear;
    ASSERT_TRUE(device->purge(serial::closePurgeFlags(device->drain(false)) & output));
    std::string echoed;
    EXPECT_TRUE(eventually("the echo of write " + std::to_string(i), [&] {
      std::string bytes;
      if (device->read(static_cast<uint32_t>(4 - echoed.size()), bytes)) echoed += bytes;
      return echoed.size() == 4;
    }));
    ASSERT_EQ(echoed, "PUSK") << "write " << i;
  }
  device->close();
}

TEST_F(WinePortTest, HandlerClosesThePortOnTheReaderThread) {
  log.onReceive = [&](TData& d, uint16_t event) {
    if (event == TPortLog::Read && d.StrValue.find("FZ") != std::string::npos) close();
  };
  open();
  write(
      "\x12\x34"
      "FZ");
  ASSERT_TRUE(eventually("the close", [&] { return log.entries().back() == "closed"; }));
  // The close routine ends, on the reader thread, just after its last event.
  EXPECT_TRUE(eventually("the close to end", [&] { return !port.opened(); }));
  log.clear();
  open();
  EXPECT_EQ(log.entries(), (Strings{"opening", expectedOpen()}));
  close();
}

// Last: the device goes away for good.
TEST_F(WinePortTest, UnpluggedDeviceClosesThePortAndSaysSo) {
  open();
  write("UNPLUG");
  Strings gone = CloseEvents;
  gone.push_back("vanished");
  const auto endsGone = [&] {
    const Strings e = log.entries();
    return e.size() >= gone.size() &&
           Strings(e.end() - static_cast<ptrdiff_t>(gone.size()), e.end()) == gone;
  };
  EXPECT_TRUE(eventually("a vanished port", endsGone));
  log.clear();
  close();
  EXPECT_TRUE(log.entries().empty());
  EXPECT_FALSE(port.opened());
}

}  // namespace
