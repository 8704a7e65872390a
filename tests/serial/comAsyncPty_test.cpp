// The serial port element on Linux against real pty pairs: the test plays
// the device on the master side.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "portLog.h"
#include "serial/portNames.h"
#include "support/boundedWait.h"
#include "support/lineEnd.h"

namespace {

using namespace std::chrono_literals;

int threadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("Threads:")) return std::atoi(line.c_str() + 8);
  }
  return -1;
}

struct ComAsyncPtyTest : TLoggedPort, ::testing::Test {
  TPtyPair peer;

  void open() { TLoggedPort::open(peer.portPath()); }
};

// 38462 Bd both ways, not 38400.
TEST_F(ComAsyncPtyTest, TheUploadersSettingsAreOnTheLine) {
  open();
  EXPECT_EQ(log.entries(),
            (Strings{"opening", "open=" + std::to_string(devicePortNumber(peer.portPath()))}));
  termios2 t{};
  ASSERT_EQ(::ioctl(peer.portFd(), TCGETS2, &t), 0);
  EXPECT_EQ(t.c_cflag & (CBAUD | CBAUD << IBSHIFT),
            static_cast<tcflag_t>(BOTHER | BOTHER << IBSHIFT));
  EXPECT_EQ(t.c_ospeed, 38462u);
  EXPECT_EQ(t.c_ispeed, 38462u);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD),
            static_cast<tcflag_t>(CS8 | CREAD));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(ComAsyncPtyTest, ReceivesExactlyWhatWasSentHoweverSplitAndWritesRawBytes) {
  TRecorder failed;
  port.outWriteFailed = failed.link();
  write("closed");  // a closed port writes nothing: no count, but a failure
  EXPECT_TRUE(log.entries().empty());
  ASSERT_EQ(failed.received.size(), 1u);
  EXPECT_EQ(toInteger(failed.received[0]), 0);
  open();
  std::mt19937 random(7);
  std::string sent;
  for (int chunk = 0; chunk < 200; ++chunk) {
    std::string piece(1 + random() % 300, '\0');
    for (char& c : piece) c = static_cast<char>(random());
    sent += piece;
    ASSERT_TRUE(peer.write(piece));
    if (chunk % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
  }
  ASSERT_TRUE(log.waitForReceived(sent.size()));
  EXPECT_EQ(log.received(), sent);
  for (const std::string& entry : log.entries()) EXPECT_NE(entry, "rxchar=0");

  const std::string block("PUSK\0\x01\n\r\xfe", 9);
  write(block);
  TData number = integerData(65);
  port.inWrite(number, 2);
  EXPECT_EQ(peer.read(11), block + "65");
  const Strings entries = log.entries();
  EXPECT_EQ(Strings(entries.end() - 2, entries.end()), (Strings{"written=9", "written=2"}));
}

// A pty's purge threw away, now and then, "PUSK" written right before a close.
TEST_F(ComAsyncPtyTest, APurgeKeepsWhatWasWrittenBeforeIt) {
  const std::unique_ptr<TSerialDevice> device = platformSerialSystem().createDevice();
  std::string error;
  ASSERT_TRUE(device->open(peer.portPath(), error)) << error;
  for (int i = 0; i < 50; ++i) {
    uint32_t written = 0;
    ASSERT_TRUE(device->write("PUSK", written));
    ASSERT_TRUE(device->purge(serial::PurgeTxAbort | serial::PurgeRxAbort | serial::PurgeTxClear |
                              serial::PurgeRxClear));
    ASSERT_EQ(peer.read(4, 1s), "PUSK") << "write " << i;
  }
}

TEST_F(ComAsyncPtyTest, UnpluggedDeviceEndsTheReaderWithoutSpinning) {
  const int before = threadCount();
  open();
  ASSERT_EQ(threadCount(), before + 1);
  ASSERT_TRUE(peer.write("last"));
  ASSERT_TRUE(log.waitForReceived(4));
  log.clear();
  peer.close();
  Strings gone = CloseEvents;
  gone.push_back("vanished");
  EXPECT_TRUE(eventually("a vanished port", [&] { return log.entries() == gone; }));
  ASSERT_TRUE(eventually("the reader to end", [&] { return threadCount() == before; }));
  EXPECT_FALSE(port.opened());
  close();
  EXPECT_EQ(log.entries(), gone);
  open();
  EXPECT_EQ(log.entries().back(), "open=0");
}

TEST_F(ComAsyncPtyTest, ABusyPortIsMissingFromTheList) {
  ::setenv("QUILMATRONX_EXTRA_PORTS", ("/nonexistent/tty:relative:" + peer.portPath()).c_str(), 1);
  Strings ports = listPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), peer.portPath()), ports.end());

  // Busy: open here (what a second open says is FlashCommandLine's).
  open();
  ports = listPorts();
  EXPECT_EQ(std::find(ports.begin(), ports.end(), peer.portPath()), ports.end());
  // Unchecked, every full path is listed; a relative entry never is.
  port.CheckPorts = false;
  ports = listPorts();
  ASSERT_GE(ports.size(), 2u);
  EXPECT_EQ(Strings(ports.end() - 2, ports.end()), (Strings{"/nonexistent/tty", peer.portPath()}));
  ::unsetenv("QUILMATRONX_EXTRA_PORTS");
}

TEST_F(ComAsyncPtyTest, WriteToAStalledPeerEndsAtTheTimeout) {
  port.WriteTotalTimeoutConstant = 100;
  port.WriteTotalTimeoutMultiplier = 0;
  open();
  // Nobody reads the other side: the pty fills up and the write gives up.
  write(std::string(1 << 20, 'x'));
  const std::string last = log.entries().back();
  ASSERT_TRUE(last.starts_with("written="));
  const int written = std::atoi(last.c_str() + 8);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 1 << 20);
}

// A missing device is FlashCommandLine's; this one opens, but is no tty.
TEST_F(ComAsyncPtyTest, ADeviceThatIsNoTtyFailsToOpen) {
  TLoggedPort::open("null");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=0"}));
  EXPECT_EQ(port.openError(), "not a serial port (Inappropriate ioctl for device)");
}

}  // namespace
