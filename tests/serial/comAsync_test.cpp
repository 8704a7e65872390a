// The serial port element's own logic over an in-memory port: name checks,
// settings, event mask, event orders, writing, dispatch and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "eventLog.h"
#include "fakeSerial.h"
#include "support/recorder.h"
#include "syncCalls.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const Strings CloseEvents = {"closing", "cts=0", "dsr=0", "rlsd=0", "closed"};

Strings concat(Strings a, const Strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct ComAsyncTest : ::testing::Test {
  TDispatchScope on;
  TFakeSystem system;
  TEventLog log;  // outlives the port, whose destruction may still fire
  TZKComAsync port{system};

  ComAsyncTest() {
    applyFormSettings(port);
    log.attach(port, true);
  }
  void open(const std::string& name) {
    TData d = stringData(name);
    port.inOpen(d, 0);
  }
  void close() {
    TData d;
    port.inClose(d, 1);
  }
};

TEST_F(ComAsyncTest, NamesOutsideComOneTo255FailBeforeThePortIsTouched) {
  for (const char* name : {"COM0", "COM256", "COM", "COMX", "LPT1", "COM1234", ""}) {
    SCOPED_TRACE(name);
    log.clear();
    open(name);
    EXPECT_EQ(log.entries(), (Strings{"opening", "open=0"}));
    EXPECT_EQ(port.openError(), "not a serial port name");
  }
  EXPECT_TRUE(system.Port.calls().empty());
  EXPECT_FALSE(port.opened());
}

TEST_F(ComAsyncTest, PrefixFoldsCaseAndTheNameIsUsedAsTyped) {
  open("com3");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=3"}));
  EXPECT_EQ(system.Port.OpenedName, "com3");
  EXPECT_EQ(port.portName(), "com3");
  close();
  log.clear();
  // The digits end the number; the rest is left to the port to reject.
  system.Port.FailOpen = true;
  open("COM3X");
  EXPECT_EQ(system.Port.calls().back(), "open COM3X");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=0"}));
}

TEST(PortNames, WindowsRule) {
  EXPECT_EQ(comPortNumber("COM1"), 1);
  EXPECT_EQ(comPortNumber("cOm255"), 255);
  EXPECT_EQ(comPortNumber("COM12x"), 12);
  EXPECT_EQ(comPortNumber("COM0001"), 0);  // seven characters
  EXPECT_EQ(comPortNumber("XCOM1"), 0);
}

TEST(PortNames, LinuxRuleTakesDeviceNamesAndFullPaths) {
  EXPECT_EQ(devicePortNumber("ttyUSB0"), 1);
  EXPECT_EQ(devicePortNumber("ttyS10"), 11);
  EXPECT_EQ(devicePortNumber("/dev/pts/3"), 4);
  EXPECT_EQ(devicePortNumber("/dev/serial_link"), 1);
  EXPECT_EQ(devicePortNumber("ttyX12345678"), 1);  // no tty number, still a name
  for (const char* bad : {"", "pts/3", "../etc/passwd", ".", "..", "/dev/../etc/passwd", "/dev/",
                          "tty USB0", "/dev//ttyS0", "tty\nS0"}) {
    EXPECT_EQ(devicePortNumber(bad), 0) << bad;
  }
  EXPECT_EQ(devicePortNumber(std::string(256, 'a')), 0);
  EXPECT_EQ(devicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(devicePath("/dev/pts/3"), "/dev/pts/3");
}

TEST_F(ComAsyncTest, LinuxNamesReportTheirNumberPlusOne) {
  system.DeviceNames = true;
  open("/dev/pts/7");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=8"}));
  EXPECT_EQ(system.Port.OpenedName, "/dev/pts/7");
}

TEST_F(ComAsyncTest, FormValuesGiveFlagWord4001AndReceiveOnlyMask) {
  open("COM5");
  const TSerialSettings& s = system.Port.Settings;
  EXPECT_EQ(s.Flags, 0x00004001u);
  EXPECT_EQ(s.BaudRate, 38462u);
  EXPECT_EQ(s.ByteSize, 8);
  EXPECT_EQ(s.Parity, 0);
  EXPECT_EQ(s.StopBits, 0);
  EXPECT_EQ(s.XonLim, 1024);
  EXPECT_EQ(s.XoffLim, 1024);
  EXPECT_EQ(s.XonChar, 17);
  EXPECT_EQ(s.XoffChar, 19);
  EXPECT_FALSE(s.SetErrorChar);
  EXPECT_EQ(system.Port.Mask, 0x0001u);
  EXPECT_EQ(system.Port.Timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
  EXPECT_EQ(system.Port.Timeouts.WriteTotalTimeoutConstant, 1000u);
  EXPECT_EQ(system.Port.Timeouts.WriteTotalTimeoutMultiplier, 100u);
  // The open sequence: purge (tx + rx clear) and queues before the settings.
  EXPECT_EQ(system.Port.calls(), (Strings{"open COM5", "purge 12", "queues 4096 4096", "configure",
                                          "timeouts", "mask 1"}));
}

TEST_F(ComAsyncTest, EveryPropertyLandsInItsBit) {
  port.DiscardNull = true;
  port.ParityCheck = true;
  port.ReplaceErrors = true;
  port.ErrorChar = 0x13F;
  port.DsrSensitivity = port.CtsFlow = port.DsrFlow = port.TxContinueOnXoff = true;
  port.InX = port.OutX = true;
  port.AbortOnError = false;
  TSerialSettings s = port.buildSettings(9600, 2, 3);
  EXPECT_EQ(s.Flags, 0x3FEFu);
  EXPECT_EQ(s.dtrControl(), 2u);
  EXPECT_EQ(s.rtsControl(), 3u);
  EXPECT_TRUE(s.SetErrorChar);
  EXPECT_EQ(s.ErrorChar, 0x3F);
  // Out-of-range control indexes mean "disable"; replacing needs parity check.
  port.ParityCheck = false;
  s = port.buildSettings(9600, 3, 4);
  EXPECT_EQ(s.dtrControl(), 0u);
  EXPECT_EQ(s.rtsControl(), 0u);
  EXPECT_FALSE(s.SetErrorChar);
  EXPECT_EQ(s.Flags & 0x0402u, 0u);
}

TEST_F(ComAsyncTest, EventMaskFollowsTheWatchProperties) {
  EXPECT_EQ(port.buildEventMask(), 0x0001u);
  port.WatchRxFlag = port.WatchTxEmpty = port.WatchCts = port.WatchDsr = port.WatchRlsd = true;
  port.WatchBreak = port.WatchError = port.WatchRing = port.WatchRx80Full = true;
  EXPECT_EQ(port.buildEventMask(), 0x05FFu);
  port.WatchRxChar = false;
  port.WatchError = false;
  EXPECT_EQ(port.buildEventMask(), 0x057Eu);
}

TEST_F(ComAsyncTest, DataLinksOverrideTheDefaults) {
  TProvider name, baud, dtr, rts;
  name.answer = stringData("COM9");
  baud.answer = integerData(115200);
  dtr.answer = integerData(1);
  rts.answer = integerData(2);
  port.dataPort = name.link();
  port.dataBaudRate = baud.link();
  port.dataDtrControl = dtr.link();
  port.dataRtsControl = rts.link();
  port.Port = "COM1";
  TData d;
  port.inOpen(d, 0);
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=9"}));
  EXPECT_EQ(system.Port.Settings.BaudRate, 115200u);
  EXPECT_EQ(system.Port.Settings.Flags, 0x00006011u);
}

TEST_F(ComAsyncTest, OpenReportsLinesThatAreOnThenTheNumber) {
  system.Port.Modem = serial::MsCtsOn | serial::MsRlsdOn;
  open("COM2");
  EXPECT_EQ(log.entries(), (Strings{"opening", "cts=1", "rlsd=1", "open=2"}));
  EXPECT_EQ(port.cts(), 1);
  EXPECT_EQ(port.dsr(), 0);
  // An open port ignores inOpen completely.
  log.clear();
  open("COM4");
  EXPECT_TRUE(log.entries().empty());
  close();
  EXPECT_EQ(log.entries(), CloseEvents);
  EXPECT_EQ(port.cts(), 0);
  EXPECT_EQ(port.rlsd(), 0);
}

TEST_F(ComAsyncTest, MissingPortFailsWithoutCloseEventsAndKeepsTheReason) {
  system.Port.FailOpen = true;
  open("COM2");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=0"}));
  EXPECT_FALSE(port.opened());
  EXPECT_EQ(port.openError(), "no such port COM2");
  system.Port.FailOpen = false;
  open("COM2");
  EXPECT_EQ(port.openError(), "");
}

TEST_F(ComAsyncTest, RefusedSettingsCloseThePortAgain) {
  struct TCase {
    bool TFakePort::*failure;
    Strings calls;  // the calls after "open COM2", "purge 12", "queues 4096 4096"
  };
  const TCase cases[] = {
      {&TFakePort::FailPurge, {}},
      {&TFakePort::FailConfigure, {"configure"}},
      {&TFakePort::FailTimeouts, {"configure", "timeouts"}},
      {&TFakePort::FailMask, {"configure", "timeouts", "mask 1"}},
  };
  for (const TCase& c : cases) {
    TFakeSystem fresh;
    TZKComAsync element(fresh);
    TEventLog events;
    events.attach(element, false);
    fresh.Port.*c.failure = true;
    TData d = stringData("COM2");
    element.inOpen(d, 0);
    EXPECT_EQ(events.entries(), concat(concat({"opening"}, CloseEvents), {"open=0"}));
    EXPECT_EQ(fresh.Port.calls(),
              concat(concat({"open COM2", "purge 12", "queues 4096 4096"}, c.calls),
                     {"drain", "purge 15", "close"}));
    EXPECT_FALSE(element.opened());
    EXPECT_EQ(fresh.Port.Waiters, 0);
  }
}

TEST_F(ComAsyncTest, CloseClearsTheMaskStopsTheReaderAndFiresInOrder) {
  port.FlushOnClose = true;
  open("COM1");
  log.clear();
  close();
  EXPECT_EQ(log.entries(), CloseEvents);
  const Strings calls = system.Port.calls();
  EXPECT_EQ(Strings(calls.end() - 4, calls.end()),
            (Strings{"mask 0", "drain unbounded", "purge 15", "close"}));
  EXPECT_FALSE(port.opened());
  // Closing a closed port does nothing.
  log.clear();
  close();
  EXPECT_TRUE(log.entries().empty());
}

// A close on another thread returns only once the port is closed; the one
// under way goes on alone.
TEST_F(ComAsyncTest, ASecondCloseWaitsUntilTheFirstHasFinished) {
  open("COM1");
  std::atomic<bool> draining{false};
  std::atomic<bool> release{false};
  system.Port.OnDrain = [&] {
    draining = true;
    while (!release) std::this_thread::sleep_for(1ms);
  };
  std::thread first([&] { close(); });
  while (!draining) std::this_thread::sleep_for(1ms);
  std::atomic<bool> secondReturned{false};
  std::thread second([&] {
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
// still under way on another thread must end before it goes.
TEST_F(ComAsyncTest, ACloseAbortsAWriteUnderWayAndReleasesThePortAfterIt) {
  open("COM1");
  system.Port.HoldWrites = true;
  std::thread writer([&] {
    TData d = stringData("x");
    port.inWrite(d, 2);
  });
  {
    std::unique_lock lock(system.Port.Lock);
    system.Port.Changed.wait(lock, [&] {
      return !system.Port.Calls.empty() && system.Port.Calls.back() == "write held";
    });
  }
  close();
  writer.join();
  const Strings calls = system.Port.calls();
  const auto at = [&](const char* call) { return std::find(calls.begin(), calls.end(), call); };
  EXPECT_LT(at("purge 15"), at("write ended"));
  EXPECT_LT(at("write ended"), at("close"));
}

TEST_F(ComAsyncTest, WriteSendsTheTextOfTheValue) {
  TData d = integerData(65);
  port.inWrite(d, 2);  // closed: nothing
  EXPECT_TRUE(log.entries().empty());
  open("COM1");
  log.clear();
  port.inWrite(d, 2);
  TData nul = stringData(std::string("a\0b", 3));
  port.inWrite(nul, 2);
  EXPECT_EQ(system.Port.Written, std::string("65a\0b", 5));
  EXPECT_EQ(log.entries(), (Strings{"written=2", "written=3"}));
}

TEST_F(ComAsyncTest, ReceiveEventReadsWhatIsWaitingNulIncluded) {
  open("COM1");
  log.clear();
  const std::string bytes("\0ANS\0", 5);
  system.Port.pushEvent(serial::EvRxChar, bytes);
  ASSERT_TRUE(log.waitForReceived(bytes.size()));
  EXPECT_EQ(log.received(), bytes);
  // A second notification for bytes already taken reads nothing.
  system.Port.pushEvent(serial::EvRxChar);
  ASSERT_TRUE(log.waitFor([](const TEventLog& l) { return l.entries().size() == 4; }));
  const Strings entries = log.entries();
  EXPECT_EQ(entries[0], "rxchar=5");
  EXPECT_EQ(entries[2], "rxchar=0");
  EXPECT_EQ(entries[3], "read=");
}

TEST_F(ComAsyncTest, DispatchFiresInFixedOrderOnTheReaderThread) {
  port.WatchRxFlag = port.WatchTxEmpty = port.WatchCts = port.WatchDsr = port.WatchRlsd = true;
  port.WatchBreak = port.WatchError = port.WatchRing = port.WatchRx80Full = true;
  system.Port.Modem = serial::MsDsrOn;
  open("COM1");
  log.clear();
  system.Port.pushEvent(0x05FF, "x");
  ASSERT_TRUE(log.waitFor([](const TEventLog& l) { return l.entries().size() == 11; }));
  EXPECT_EQ(log.entries(), (Strings{"rxchar=1", "read=x", "txempty", "break", "ring", "cts=0",
                                    "dsr=1", "rxflag", "rlsd=0", "error", "rx80full"}));
  for (std::thread::id id : log.threads()) EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(ComAsyncTest, ErrorCheckListsTextsOnlyWithoutAbortOnError) {
  port.WatchError = true;
  system.Port.Errors = 0xFFFF;
  open("COM1");
  system.Port.pushEvent(serial::EvErr);
  ASSERT_TRUE(log.waitFor([](const TEventLog& l) { return l.entries().back() == "error"; }));
  EXPECT_TRUE(port.errorList().empty());  // AbortOnError: no check
  close();

  port.AbortOnError = false;
  open("COM1");
  log.clear();
  system.Port.pushEvent(serial::EvErr);
  ASSERT_TRUE(log.waitFor([](const TEventLog& l) { return !l.entries().empty(); }));
  EXPECT_EQ(port.errorList(),
            (Strings{"Receive Framing Error", "Receive Overrun Error", "Receive Queue overflow",
                     "TX Queue is full", "Break Detected", "Port I/O Error",
                     "Requested mode unsupported"}));
  EXPECT_EQ(lineErrorTexts(serial::CeRxParity | serial::CeBreak, true),
            (Strings{"Receive Parity Error", "Break Detected"}));
}

TEST_F(ComAsyncTest, WithNothingWatchedNoReaderRuns) {
  port.WatchRxChar = false;
  open("COM1");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=1"}));
  system.Port.pushEvent(serial::EvRxChar, "data");
  close();
  EXPECT_EQ(system.Port.Waiters, 0);
  EXPECT_EQ(log.entries(), concat({"opening", "open=1"}, CloseEvents));
}

TEST_F(ComAsyncTest, HandlerOnTheReaderThreadMayCloseThePort) {
  port.WatchTxEmpty = true;
  std::atomic<bool> closedInHandler{false};
  log.OnEvent = [&](TEventLog::TEvent event, TData& d) {
    if (event == TEventLog::Read && d.StrValue == "bye") {
      close();
      closedInHandler = true;
    }
  };
  open("COM1");
  log.clear();
  // Receive and output-empty at once: the close in the read handler stops
  // the dispatch before output-empty fires.
  system.Port.pushEvent(serial::EvRxChar | serial::EvTxEmpty, "bye");
  for (int i = 0; i < 5000 && !closedInHandler; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(closedInHandler);
  EXPECT_EQ(log.entries(), concat({"rxchar=3", "read=bye"}, CloseEvents));
  EXPECT_FALSE(port.opened());
  // The port opens again with a fresh reader; the old one is gone.
  open("COM1");
  system.Port.pushEvent(serial::EvRxChar, "again");
  ASSERT_TRUE(log.waitFor([](const TEventLog& l) { return l.received() == "byeagain"; }));
  close();
  EXPECT_EQ(system.Port.Waiters, 2);
}

TEST_F(ComAsyncTest, ReopenWhileTheOldReaderWaitsForThisThread) {
  TSyncCalls ui;
  TPumpScope pump(ui);
  std::atomic<bool> closedInHandler{false};
  log.OnEvent = [&](TEventLog::TEvent event, TData& d) {
    if (event != TEventLog::Read || d.StrValue != "bye") return;
    close();
    closedInHandler = true;
    ui.invokeSync([] {});  // e.g. shows "disconnected"
  };
  open("COM1");
  system.Port.pushEvent(serial::EvRxChar, "bye");
  for (int i = 0; i < 5000 && !closedInHandler; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(closedInHandler);
  // Reopening joins the old reader, which first needs this thread.
  log.clear();
  open("COM1");
  EXPECT_EQ(log.entries(), (Strings{"opening", "open=1"}));
  EXPECT_EQ(ui.servedTotal(), 1u);
}

TEST_F(ComAsyncTest, VanishedPortEndsTheReaderAndCloseIsStillClean) {
  open("COM1");
  system.Port.vanish();
  // The reader leaves the port quiet on its way out.
  const auto quiet = [&] {
    const Strings calls = system.Port.calls();
    return calls.size() >= 2 && calls[calls.size() - 2] == "mask 0" && calls.back() == "purge 12";
  };
  for (int i = 0; i < 5000 && !quiet(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(quiet());
  log.clear();
  close();
  EXPECT_EQ(log.entries(), CloseEvents);
}

TEST_F(ComAsyncTest, CloseKeepsServingSyncCallsOfABusyHandler) {
  TSyncCalls ui;
  TPumpScope pump(ui);
  std::atomic<bool> inHandler{false};
  std::atomic<int> uiChanges{0};
  log.OnEvent = [&](TEventLog::TEvent event, TData&) {
    if (event != TEventLog::Read) return;
    inHandler = true;
    // The handler shows the bytes in a window: a synchronous UI call.
    ui.invokeSync([&] { ++uiChanges; });
  };
  open("COM1");
  system.Port.pushEvent(serial::EvRxChar, "status");
  while (!inHandler) std::this_thread::yield();
  // The reader now waits for this thread, which closes the port.
  log.clear();
  close();
  EXPECT_EQ(uiChanges, 1);
  EXPECT_EQ(log.entries(), CloseEvents);
  // Data still arriving after the close is never delivered.
  system.Port.pushEvent(serial::EvRxChar, "late");
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(log.entries(), CloseEvents);
}

TEST_F(ComAsyncTest, PortListComesAsOneEventPerPort) {
  TData d;
  port.inEnumPorts(d, 4);
  EXPECT_EQ(log.entries(), (Strings{"port=COM1", "port=COM3"}));
}

TEST_F(ComAsyncTest, DestructionClosesAnOpenPort) {
  auto element = std::make_unique<TZKComAsync>(system);
  TEventLog events;
  events.attach(*element, false);
  TData d = stringData("COM1");
  element->inOpen(d, 0);
  events.clear();
  element.reset();
  EXPECT_EQ(events.entries(), CloseEvents);
}

}  // namespace
