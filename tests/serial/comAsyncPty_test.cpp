// The serial port element on Linux against real pty pairs: the test plays
// the device on the master side.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "app/portSettings.h"
#include "portLog.h"
#include "support/recorder.h"

namespace {

using namespace std::chrono_literals;

class TPtyPeer {
 public:
  TPtyPeer() {
    Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0) std::abort();
    SlavePath = ::ptsname(Master);
    // Holding the slave open keeps the pair alive between the element's opens.
    Slave = ::open(SlavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~TPtyPeer() {
    hangUp();
    ::close(Slave);
  }
  TPtyPeer(const TPtyPeer&) = delete;
  TPtyPeer& operator=(const TPtyPeer&) = delete;

  void send(const std::string& bytes) const {
    ASSERT_EQ(::write(Master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads until count bytes came or a second passed.
  std::string receive(size_t count) const {
    std::string bytes;
    while (bytes.size() < count) {
      pollfd p{Master, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
      char buffer[4096];
      const ssize_t n = ::read(Master, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }
  // The device is unplugged.
  void hangUp() {
    if (Master >= 0) ::close(Master);
    Master = -1;
  }
  termios2 lineSettings() const {
    termios2 t{};
    ::ioctl(Slave, TCGETS2, &t);
    return t;
  }
  int number() const { return std::atoi(SlavePath.substr(SlavePath.rfind('/') + 1).c_str()); }

  std::string SlavePath;

 private:
  int Master = -1;
  int Slave = -1;
};

int threadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("Threads:")) return std::atoi(line.c_str() + 8);
  }
  return -1;
}

struct ComAsyncPtyTest : ::testing::Test {
  TDispatchScope on;
  TPtyPeer peer;
  TPortLog log;
  TZKComAsync port;

  ComAsyncPtyTest() {
    applyUploaderPortSettings(port);
    log.attach(port);
  }
  void open() {
    TData d = stringData(peer.SlavePath);
    port.inOpen(d, 0);
  }
  void close() {
    TData d;
    port.inClose(d, 1);
  }
  void write(const std::string& bytes) {
    TData d = stringData(bytes);
    port.inWrite(d, 2);
  }
};

// The line as the uploader leaves it, read back from the tty: 38462 Bd both
// ways (not 38400), 8 data bits, no parity, one stop bit, no flow control,
// raw bytes, reads that return at once.
TEST_F(ComAsyncPtyTest, TheUploadersSettingsAreOnTheLine) {
  open();
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=" + std::to_string(peer.number() + 1)}));
  const termios2 t = peer.lineSettings();
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
  write("closed");  // a closed port writes nothing
  EXPECT_TRUE(log.entries().empty());
  open();
  std::mt19937 random(7);
  std::string sent;
  for (int chunk = 0; chunk < 200; ++chunk) {
    std::string piece(1 + random() % 300, '\0');
    for (char& c : piece) c = static_cast<char>(random());
    sent += piece;
    peer.send(piece);
    if (chunk % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
  }
  ASSERT_TRUE(log.waitForReceived(sent.size()));
  EXPECT_EQ(log.received(), sent);
  // Every notification carried bytes and was read at once.
  for (const std::string& entry : log.entries()) EXPECT_NE(entry, "rxchar=0");

  const std::string block("PUSK\0\x01\n\r\xfe", 9);
  write(block);
  TData number = integerData(65);
  port.inWrite(number, 2);
  EXPECT_EQ(peer.receive(11), block + "65");
  const Strings entries = log.entries();
  EXPECT_EQ(Strings(entries.end() - 2, entries.end()), (Strings{"written=9", "written=2"}));
}

TEST_F(ComAsyncPtyTest, HandlerClosesThePortWhenTheAnswerArrives) {
  log.onReceive = [&](TData& d, uint16_t event) {
    if (event == TPortLog::Read && d.StrValue.ends_with("FZ")) close();
  };
  open();
  peer.send(
      "\x12\x34"
      "FZ");
  ASSERT_TRUE(log.waitFor([&] { return log.entries().back() == "closed"; }));
  // The close routine ends, on the reader thread, just after its last event.
  for (int i = 0; i < 5000 && port.opened(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(port.opened());
  peer.send("late");
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(log.entries().back(), "closed");
  log.clear();
  open();  // joins the reader that closed its own port
  EXPECT_EQ(log.entries().back(), "open=" + std::to_string(peer.number() + 1));
}

TEST_F(ComAsyncPtyTest, UnpluggedDeviceEndsTheReaderWithoutSpinning) {
  const int before = threadCount();
  open();
  ASSERT_EQ(threadCount(), before + 1);
  peer.send("last");
  ASSERT_TRUE(log.waitForReceived(4));
  peer.hangUp();
  // The reader notices the hang-up and ends by itself.
  for (int i = 0; i < 5000 && threadCount() != before; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(threadCount(), before);
  log.clear();
  close();
  EXPECT_EQ(log.entries(), CloseEvents);
  EXPECT_EQ(log.received(), "");
}

TEST_F(ComAsyncPtyTest, BusyPortFailsToOpenAndIsMissingFromTheList) {
  ::setenv("QUILMATRONX_EXTRA_PORTS", ("/nonexistent/tty:relative:" + peer.SlavePath).c_str(), 1);
  TRecorder listed;
  port.outPort = listed.link();
  TData none;
  port.inEnumPorts(none, 4);
  ASSERT_FALSE(listed.received.empty());
  EXPECT_EQ(listed.received.back().StrValue, peer.SlavePath);

  open();
  TPortLog secondLog;
  TZKComAsync second;
  secondLog.attach(second, false);
  TData d = stringData(peer.SlavePath);
  second.inOpen(d, 0);
  EXPECT_EQ(secondLog.entries(), (Strings{"opening", "open=0"}));
  EXPECT_EQ(second.openError(), "Device or resource busy");

  listed.received.clear();
  port.inEnumPorts(none, 4);
  for (const TData& name : listed.received) EXPECT_NE(name.StrValue, peer.SlavePath);
  port.CheckPorts = false;
  listed.received.clear();
  port.inEnumPorts(none, 4);
  // Unchecked, every full path is listed; a relative entry never is.
  ASSERT_GE(listed.received.size(), 2u);
  EXPECT_EQ(listed.received[listed.received.size() - 2].StrValue, "/nonexistent/tty");
  EXPECT_EQ(listed.received.back().StrValue, peer.SlavePath);
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

TEST_F(ComAsyncPtyTest, MissingDeviceFailsToOpen) {
  TData d = stringData("/dev/pts/999999");
  port.inOpen(d, 0);
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=0"}));
  EXPECT_EQ(port.openError(), "No such file or directory");
  d = stringData("null");  // opens, but is no tty
  port.inOpen(d, 0);
  EXPECT_EQ(log.entries().back(), "open=0");
  EXPECT_EQ(port.openError(), "not a serial port (Inappropriate ioctl for device)");
}

}  // namespace
