// The serial port element over an in-memory port, with the uploader's settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "fakeSerial.h"
#include "portLog.h"
#include "serial/trace/tracedSerial.h"
#include "support/boundedWait.h"
#include "support/testFiles.h"
#include "ui/windowSystem.h"

namespace {

using namespace std::chrono_literals;

TEST(PortNames, WindowsAndLinuxRules) {
  const std::pair<std::string, int32_t> windows[] = {
      {"COM1", 1}, {"cOm255", 255},   {"COM12x", 12}, {"COM0001", 0}, {"XCOM1", 0},
      {"COM0", 0}, {"COM4096", 4096}, {"COM4097", 0}, {"COM", 0},     {"COMX", 0},
      {"LPT1", 0}, {"COM1234", 1234}, {"", 0},        {"COM10000", 0}};
  for (const auto& [name, number] : windows) EXPECT_EQ(comPortNumber(name), number) << name;
  // A device name without a tty number is still a name (1).
  const std::pair<std::string, int32_t> devices[] = {
      {"ttyUSB0", 1}, {"ttyS10", 11}, {"/dev/pts/3", 4}, {"/dev/serial", 1}, {"ttyX12345678", 1}};
  for (const auto& [name, number] : devices) EXPECT_EQ(devicePortNumber(name), number) << name;
  for (const std::string name : {"", "pts/3", "../etc/passwd", ".", "..", "/dev/../etc/passwd",
                                 "/dev/", "tty USB0", "/dev//ttyS0", "tty\nS0"})
    EXPECT_EQ(devicePortNumber(name), 0) << name;
  EXPECT_EQ(devicePortNumber(std::string(256, 'a')), 0);
  EXPECT_EQ(devicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(devicePath("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(canonicalComName("\\\\.\\com5"), "COM5");
}

// What an open asks of the port, in this order.
const Strings OpenSteps = {"open COM2", "purge 12", "queues 4096 4096",
                           "configure", "timeouts", "mask 1"};

// The fake port system is made before the element that uses it.
struct TFakeSystemFirst {
  TFakeSystem system;
};

struct ComAsyncTest : TFakeSystemFirst, TLoggedPort, ::testing::Test {
  ComAsyncTest() : TLoggedPort(system) {}
};

TEST_F(ComAsyncTest, ANameThatIsNoPortFailsBeforeThePortIsTouched) {
  open("LPT1");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=0"}));
  EXPECT_EQ(port.openError(), "not a serial port name");
  EXPECT_TRUE(system.Port.calls().empty());
  log.clear();
  open("com3");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=3"}));
  EXPECT_EQ(system.Port.OpenedName, "com3");  // as typed
}

// A port whose open blocks is left out after a bounded wait; a Bluetooth
// port is never tried (its open is a connection attempt of seconds).
TEST_F(ComAsyncTest, PortListTriesAllPortsAtOnceForABoundedTimeButNoBluetoothPort) {
  system.Listed = {{"COM3"}, {"COM1"}, {"COM7"}, {"COM4", true}, {"COM9"}, {"COM2"}};
  std::mutex lock;
  std::condition_variable changed;
  Strings tried;
  int ended = 0;
  bool released = false;
  const auto trying = [&](const char* name) { return std::ranges::count(tried, name) == 1; };
  system.Opens = [&](const std::string& name) {
    std::unique_lock guard(lock);
    tried.push_back(name);
    changed.notify_all();
    bool opens = name != "COM9";
    // COM3 and COM1 each open only while the other is tried too.
    if (name == "COM3" || name == "COM1")
      opens = changed.wait_for(guard, 5s, [&] { return trying("COM3") && trying("COM1"); });
    if (name == "COM7")
      waitOrEnd("the test to release COM7", changed, guard, [&] { return released; });
    ++ended;
    changed.notify_all();
    return opens;
  };
  port.CheckPorts = false;
  EXPECT_EQ(listPorts(), (Strings{"COM3", "COM1", "COM7", "COM4 Bluetooth", "COM9", "COM2"}));
  EXPECT_TRUE(tried.empty());
  port.CheckPorts = true;
  EXPECT_EQ(listPorts(), (Strings{"COM3", "COM1", "COM4 Bluetooth", "COM2"}));
  std::unique_lock guard(lock);
  released = true;
  changed.notify_all();
  waitOrEnd("COM7's open to end", changed, guard, [&] { return ended == 5; });
  guard.unlock();
  open("COM4 Bluetooth");
  EXPECT_EQ(system.Port.OpenedName, "COM4");
}

TEST_F(ComAsyncTest, PortsThatComeAndGoJoinAndLeaveTheListUntilTheWatchStops) {
  TEventLog seen({"joined", "left"});
  port.outPort = seen.link(0);
  port.outPortGone = seen.link(1);
  port.WatchPorts = true;
  system.Listed = {{"COM1"}, {"COM2"}};
  system.Opens = [](const std::string& name) { return name != "COM5"; };
  TData none;
  port.inEnumPorts(none, 4);
  system.Port.set([&] { system.Listed = {{"COM2"}, {"COM5"}, {"COM3"}}; });
  const Strings changed{"joined=COM1", "joined=COM2", "left=COM1", "joined=COM3"};  // COM5 is busy
  EXPECT_TRUE(eventually("COM1 to leave and COM3 to join", [&] {
    return seen.entries() == changed;
  })) << testing::PrintToString(seen.entries());
  port.inStopWatch(none, 5);
  system.Port.set([&] { system.Listed = {{"COM4"}}; });
  port.stopWatch();
  EXPECT_EQ(seen.entries(), changed);
}

// What the line shows is comAsyncPty_test.cpp's.
TEST_F(ComAsyncTest, TheUploadersSettingsReachThePort) {
  open("COM2");
  // No flag but these: DTR and RTS control are 0 too.
  EXPECT_EQ(system.Port.Settings.Flags, serial::flag::Binary | serial::flag::AbortOnError);
  const TSerialTimeouts& t = system.Port.Timeouts;
  EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(system.Port.calls(), OpenSteps);
}

TEST_F(ComAsyncTest, TheLinkedNameWinsAndAnOpenPortIgnoresOpen) {
  TProvider name;
  name.answer = stringData("COM9");
  port.dataPort = name.link();
  port.Port = "COM1";
  open("");
  open("");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=9"}));
  EXPECT_EQ(system.Port.OpenedName, "COM9");
}

TEST_F(ComAsyncTest, AMissingPortOrRefusedSettingsLeaveItClosed) {
  // Each failure and the steps taken up to it.
  const std::tuple<std::string, size_t, std::string> cases[] = {
      {"open", 1, "no such port COM2"},
      {"purge", 3, "the port refused to clear its queues: the fake refused purge"},
      {"configure", 4, "the port refused the line settings: the fake refused configure"},
      {"timeouts", 5, "the port refused the time-outs: the fake refused timeouts"},
      {"mask", 6, "the port refused the event watch: the fake refused mask"}};
  for (const auto& [failing, taken, error] : cases) {
    TFakeSystem fresh;
    TLoggedPort element(fresh);
    fresh.Port.Failing = failing;
    element.open("COM2");
    const bool refused = taken > 1;
    Strings calls(OpenSteps.begin(), OpenSteps.begin() + static_cast<ptrdiff_t>(taken));
    if (refused) calls.insert(calls.end(), {"drain", "purge 10", "close"});
    Strings expected{"opening"};
    if (refused) expected.insert(expected.end(), CloseEvents.begin(), CloseEvents.end());
    expected.push_back("open=0");
    EXPECT_EQ(element.log.entries(), expected) << failing;
    EXPECT_EQ(fresh.Port.calls(), calls);
    EXPECT_FALSE(element.port.opened());
    EXPECT_EQ(fresh.Port.Waiters, 0);
    EXPECT_EQ(element.port.openError(), error);
  }
}

// "PUSK" may still be in a USB adapter's own buffer: the purge waits its time
// on the line (40 bits at 38462 Bd) and leaves the output alone.
TEST_F(ComAsyncTest, CloseClearsTheMaskStopsTheReaderAndFiresInOrder) {
  port.FlushOnClose = true;
  open("COM1");
  const auto written = std::chrono::steady_clock::now();
  write("PUSK");
  log.clear();
  close();
  EXPECT_GE(system.Port.PurgedAt - written, 3040us);
  EXPECT_EQ(log.entries(), CloseEvents);
  const Strings calls = system.Port.calls();
  EXPECT_EQ(Strings(calls.end() - 4, calls.end()),
            (Strings{"mask 0", "drain unbounded", "purge 10", "close"}));
  EXPECT_FALSE(port.opened());
  log.clear();
  close();
  EXPECT_TRUE(log.entries().empty());
}

TEST_F(ComAsyncTest, ASecondCloseWaitsUntilTheFirstHasFinished) {
  open("COM1");
  std::atomic<bool> draining{false}, release{false};
  system.Port.OnDrain = [&] {
    draining = true;
    EXPECT_TRUE(eventually("the test to release the drain", release));
  };
  TTestThread first("the first close", [&] { close(); });
  ASSERT_TRUE(eventually("the first close to drain", draining));
  std::atomic<bool> secondReturned{false};
  TTestThread second("the second close", [&] {
    close();
    secondReturned = true;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(secondReturned);
  release = true;
  first.join();
  second.join();
  const Strings calls = system.Port.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), 1);
  EXPECT_FALSE(port.opened());
}

// The descriptor a close releases may be handed out again at once: a write
// still under way must end before it goes.
TEST_F(ComAsyncTest, ACloseAbortsAWriteUnderWayAndReleasesThePortAfterIt) {
  log.onReceive = [&](TData& d, uint16_t event) {
    if (event == TPortLog::Read) write(d.StrValue);
  };
  open("COM1");
  system.Port.HoldWrites = true;
  const auto held = [&] {
    const Strings calls = system.Port.calls();
    return std::count(calls.begin(), calls.end(), "write held");
  };
  TTestThread writer("the held write", [&] { write("x"); });
  system.Port.pushEvent(serial::EvRxChar, "SZ");
  EXPECT_TRUE(eventually("a held write on each thread", [&] { return held() == 2; }));
  // A close that waited for the reader before the purge would never end.
  TTestThread(
      "the close", [&] { close(); }, 2s)
      .join();
  writer.join();
  const Strings calls = system.Port.calls();
  EXPECT_LT(std::find(calls.begin(), calls.end(), "purge 15"),
            std::find(calls.begin(), calls.end(), "write ended"));
  EXPECT_EQ(calls.back(), "close");
}

// This thread is the UI thread of a window system in memory: closing, or
// reopening after the handler closed, joins a reader that waits for it.
TEST_F(ComAsyncTest, CloseAndReopenKeepServingSyncCallsOfABusyHandler) {
  installWindowSystem(createHeadlessWindowSystem());
  for (const bool handlerCloses : {true, false}) {
    std::atomic<bool> inHandler{false};
    std::atomic<int> uiCalls{0};
    log.onReceive = [&](TData&, uint16_t event) {
      if (event != TPortLog::Read) return;
      if (handlerCloses) close();
      inHandler = true;
      windowSystem().invokeSync([&] { ++uiCalls; });  // shows the bytes
    };
    open("COM1");
    system.Port.pushEvent(serial::EvRxChar, "status");
    ASSERT_TRUE(eventually("the read's handler", inHandler));
    log.clear();
    if (handlerCloses)
      open("COM1");
    else
      close();
    EXPECT_EQ(uiCalls, 1) << handlerCloses;
    EXPECT_EQ(log.entries(), handlerCloses ? Strings({"opening", "open=1"}) : CloseEvents);
    close();
  }
  // Data still arriving after the close is never delivered.
  system.Port.pushEvent(serial::EvRxChar, "late");
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(log.entries(), CloseEvents);
}

// A line error (AbortOnError) fails every call until it is cleared.
TEST_F(ComAsyncTest, ALineErrorIsClearedAndTheCallRunsOnceMore) {
  open("COM1");
  for (const bool stuck : {false, true}) {
    system.Port.set([&] { system.Port.LineError = true, system.Port.LineErrorStuck = stuck; });
    log.clear();
    write("VERS");
    EXPECT_EQ(log.entries(), (Strings{stuck ? "written=0" : "written=4"})) << stuck;
    TData why;
    port.varWriteFailure(why, 0);
    EXPECT_EQ(toString(why), stuck ? "line error" : "");
  }
  system.Port.set([&] { system.Port.LineError = true, system.Port.LineErrorStuck = false; });
  system.Port.pushEvent(serial::EvRxChar, "SZ");
  EXPECT_TRUE(log.waitForReceived(2)) << "the reader did not go on after a line error";
}

// Empty masks from a port that answers are waited through, not spun on;
// each way of finding the port gone is traced as "lost".
TEST_F(ComAsyncTest, AReaderClosesAPortFoundGoneAndSaysSo) {
  using TResult = TSerialWaiter::TResult;
  Strings gone = CloseEvents;
  gone.push_back("vanished");
  const std::string tracePath = testing::TempDir() + "quil-gone.trace";
  std::string error;
  const auto trace = TTraceFile::create(tracePath, "test", error);
  ASSERT_TRUE(trace) << error;
  for (const TResult ending : {TResult::Failed, TResult::Aborted, TResult::Event}) {
    TFakeSystem fresh;
    TTracedSerialSystem traced(fresh, *trace);
    TLoggedPort element(traced);
    for (int opening = 0; opening < 2; ++opening) {
      element.open("COM1");
      element.log.clear();
      fresh.Port.set([&] { fresh.Port.WaitsEnd = ending; });
      if (ending != TResult::Failed && opening == 0) {
        std::this_thread::sleep_for(100ms);
        EXPECT_LT(fresh.Port.ErrorQueries, 30) << "spins";
        EXPECT_TRUE(element.port.opened());
        fresh.Port.set([&] { fresh.Port.ErrorQueryFails = true; });
      }
      EXPECT_TRUE(eventually(
          "the port closed and reported gone", [&] { return element.log.entries() == gone; }, 2s))
          << "ending " << static_cast<int>(ending);
      EXPECT_FALSE(element.port.opened());
    }
  }
  trace->finish();
  const std::vector<TTraceEntry> entries = traceOf(tracePath).entries;
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const TTraceEntry& e) { return e.kind == TTraceEntry::Kind::Lost; }),
            6);
  std::remove(tracePath.c_str());
}

}  // namespace
