// The simulator's normal exchange over a pty: probe, the 508 block answers,
// PUSK, and how the session ends.
#include <pty.h>

#include <random>
#include <thread>

#include "simulatorFixture.h"
#include "tools/devsim/crc16Modbus.h"

namespace devsim_test {
namespace {

using devsim::SessionOutcome;

TEST(Crc, BothImplementationsGiveTheCheckValue) {
  EXPECT_EQ(referenceCrc(0xFFFF, "123456789"), 0x4B37);
  EXPECT_EQ(devsim::crc16Modbus(devsim::kCrcInitial, "123456789"), 0x4B37);
  const std::string image = makeImage();
  EXPECT_EQ(devsim::crc16Modbus(0xFFFF, image), referenceCrc(0xFFFF, image));
}

using Session = SimulatorTest;

TEST_F(Session, WholeUploadHoweverTheHostSplitsItsWrites) {
  start({.model = "M1", .firmware = "V2"});
  ASSERT_TRUE(host().write("V"));
  ASSERT_TRUE(host().write("ERS"));
  EXPECT_EQ(host().read(17), "QUILMATRONX M1 V2");

  std::mt19937 random(3);
  for (int n = 1; n <= 508; ++n) {
    const std::string bytes = block(image_, n);
    // Every 16th block one byte per write, as the uploader does; the others
    // in pieces of random size.
    for (size_t at = 0; at < bytes.size();) {
      const size_t piece = n % 16 == 0 ? 1 : 1 + random() % 200;
      ASSERT_TRUE(host().write(std::string_view(bytes).substr(at, piece)));
      at += piece;
    }
    const std::string expected = expectAnswer(bytes, n == 508);
    ASSERT_EQ(host().read(expected.size()), expected) << "block " << n;
  }
  ASSERT_TRUE(host().write("PU"));
  ASSERT_TRUE(host().write("SK"));
  EXPECT_TRUE(ended(SessionOutcome::Complete));
  EXPECT_EQ(simulator().blocks(), 508);
  EXPECT_TRUE(simulator().received() == image_);
}

TEST_F(Session, HostThatGoesOnPastAWrongAnswerIsReported) {
  start({.wrongCrc = devsim::AnswerPick::at(508)});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 507));
  ASSERT_TRUE(host().write(block(image_, 508)));
  const std::string right = expectAnswer(block(image_, 508), true);
  const std::string wrong = host().read(4);
  EXPECT_NE(wrong.substr(0, 2), right.substr(0, 2));
  EXPECT_EQ(wrong.substr(2), "FZ");
  ASSERT_TRUE(host().write("PUSK"));
  EXPECT_TRUE(ended(SessionOutcome::CompleteAfterWrongAnswer));
}

TEST_F(Session, FinalAnswerWithoutItsMarkThenStartCountsAsWrong) {
  start({.plainFinal = true});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(sendBlocks(1, 507));
  ASSERT_TRUE(host().write(block(image_, 508)));
  EXPECT_EQ(host().read(4, 300ms), expectAnswer(block(image_, 508)));
  ASSERT_TRUE(host().write("PUSK"));
  EXPECT_TRUE(ended(SessionOutcome::CompleteAfterWrongAnswer));
}

TEST_F(Session, OtherBytesWhereStartWasExpected) {
  start({.earlyFinal = 1});
  ASSERT_TRUE(probe());
  ASSERT_TRUE(host().write(block(image_, 1)));
  EXPECT_EQ(host().read(4), expectAnswer(block(image_, 1), true));
  ASSERT_TRUE(host().write("PUSH"));
  EXPECT_TRUE(ended(SessionOutcome::NotPusk));
  EXPECT_TRUE(logMentions("expected PUSK, received \"PUSH\""));
}

TEST_F(Session, JunkBeforeTheProbeIsIgnored) {
  start();
  ASSERT_TRUE(host().write("xVVE"));
  ASSERT_TRUE(host().write("RS"));
  EXPECT_EQ(host().read(20), "QUILMATRONX QX1 1.00");
  EXPECT_TRUE(logMentions("ignored before VERS: \"x\""));
  EXPECT_TRUE(logMentions("ignored before VERS: \"V\""));
  ASSERT_TRUE(sendBlocks(1, 1));
}

TEST_F(Session, HostMayReopenAndProbeAgainBeforeTheUpload) {
  start();
  ASSERT_TRUE(probe());
  host().close();
  host().open(simulator().portPath());
  ASSERT_TRUE(host().isOpen());
  ASSERT_TRUE(probe());
  // Neither probe counts as image data.
  ASSERT_TRUE(sendBlocks(1, 2));
  EXPECT_EQ(simulator().received(), image_.substr(0, 512));
  EXPECT_EQ(simulator().outcome(), SessionOutcome::Running);
}

TEST_F(Session, ImageThatBeginsLikeTheProbeIsNotTakenForIt) {
  start();
  ASSERT_TRUE(probe());
  const std::string bytes = "VEXX" + block(image_, 1).substr(4);
  ASSERT_TRUE(host().write(bytes));
  EXPECT_EQ(host().read(2), expectAnswer(bytes));
  EXPECT_EQ(simulator().received(), bytes);
}

TEST_F(Session, HostClosingDuringTheUploadEndsIt) {
  start();
  ASSERT_TRUE(probe());
  ASSERT_TRUE(host().write(image_.substr(0, 100)));
  // The upload has begun once the simulator has taken the bytes.
  while (simulator().received().size() < 100) std::this_thread::sleep_for(1ms);
  host().close();
  EXPECT_TRUE(ended(SessionOutcome::HostClosed));
  EXPECT_EQ(simulator().received(), image_.substr(0, 100));
}

TEST_F(Session, EndsAfterTheInactivityTimeOutOrWhenStopped) {
  start({.inactivityTimeout = 200ms});
  ASSERT_TRUE(probe());
  EXPECT_TRUE(ended(SessionOutcome::TimedOut));

  devsim::DeviceSimulator other({});
  ASSERT_TRUE(other.start());
  EXPECT_FALSE(other.waitFor(10ms));
  other.stop();
  EXPECT_TRUE(other.waitFor(0ms));
  EXPECT_EQ(other.outcome(), SessionOutcome::Stopped);
  EXPECT_FALSE(other.start());
}

TEST(Stop, FromTheLogCallbackEndsTheSessionWithoutJoiningItself) {
  devsim::DeviceSimulator* self = nullptr;
  devsim::SimulatorOptions options;
  options.onLog = [&self](const std::string& line) {
    if (line.find("VERS answered") != std::string::npos) self->stop();
  };
  devsim::DeviceSimulator simulator(std::move(options));
  self = &simulator;
  ASSERT_TRUE(simulator.start());
  HostPort host(simulator.portPath());
  ASSERT_TRUE(host.write("VERS"));
  EXPECT_TRUE(simulator.waitFor(5s));
  EXPECT_EQ(simulator.outcome(), SessionOutcome::Stopped);
}

TEST(Attach, TakesAGivenTtyAndFailsClearlyOnAMissingOne) {
  devsim::DeviceSimulator missing({.attachPath = "/dev/no-such-tty"});
  EXPECT_FALSE(missing.start());
  EXPECT_NE(missing.error().find("/dev/no-such-tty"), std::string::npos);

  // The simulator takes a pty's slave; the host talks through its master.
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  HostPort host(master);
  const std::string path = ttyname(slave);
  ::close(slave);
  devsim::DeviceSimulator attached({.attachPath = path});
  ASSERT_TRUE(attached.start()) << attached.error();
  EXPECT_EQ(attached.portPath(), path);
  ASSERT_TRUE(host.write("VERS"));
  EXPECT_EQ(host.read(20), "QUILMATRONX QX1 1.00");
}

}  // namespace
}  // namespace devsim_test
