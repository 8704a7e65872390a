// Every event of a serial port element, named as "open=3" or "closed", from
// whichever thread fires it, and the element as its tests drive it.
#pragma once

#include <iterator>
#include <string>
#include <vector>

#include "app/portSettings.h"
#include "runtime/zkHub.h"
#include "serial/zkComAsync.h"
#include "support/boundedWait.h"
#include "support/recorder.h"

using Strings = std::vector<std::string>;

// What every close fires, in this order.
inline const Strings CloseEvents = {"closing", "cts=0", "dsr=0", "rlsd=0", "closed"};

class TPortLog : public TEventLog {
 public:
  enum : uint16_t { Read = 1, RxChar = 3 };

  TPortLog()
      : TEventLog({"written", "read", "port", "rxchar", "ring", "cts", "dsr", "rlsd", "rxflag",
                   "break", "rx80full", "txempty", "error", "opening", "open", "closing", "closed",
                   "vanished"}) {}

  // With readLoop, outRxChar also reaches the element's inRead, as in the program.
  void attach(TZKComAsync& port, bool readLoop = true) {
    TEventLink* links[] = {&port.outWritten, &port.outRead,    &port.outPort,     &port.outRxChar,
                           &port.outRing,    &port.outCts,     &port.outDsr,      &port.outRlsd,
                           &port.outRxFlag,  &port.outBreak,   &port.outRx80Full, &port.outTxEmpty,
                           &port.outError,   &port.outOpening, &port.outOpen,     &port.outClosing,
                           &port.outClosed,  &port.outVanished};
    for (uint16_t i = 0; i < std::size(links); ++i) *links[i] = link(i);
    if (!readLoop) return;
    readLoop_.setOutCount(2);
    readLoop_.outEvent = {link(RxChar), makeEventLink<&TZKComAsync::inRead>(&port, 3)};
    port.outRxChar = makeEventLink<&TZKHub::inWork>(&readLoop_);
  }

  // The bytes of every outRead, run together.
  std::string received() const {
    std::string bytes;
    for (const TEvent& e : events()) {
      if (e.index == Read) bytes += e.value.StrValue;
    }
    return bytes;
  }
  testing::AssertionResult waitForReceived(size_t bytes) {
    return eventually(
        std::to_string(bytes) + " bytes received", [&] { return received().size() >= bytes; },
        std::chrono::seconds(10));
  }

 private:
  TZKHub readLoop_;
};

// The element with the uploader's settings and every event logged.
struct TLoggedPort {
  TDispatchScope on;
  TPortLog log;  // outlives the port, whose destruction may still fire
  TZKComAsync port;

  explicit TLoggedPort(TSerialSystem& system = platformSerialSystem()) : port(system) {
    applyUploaderPortSettings(port);
    log.attach(port);
  }
  void open(const std::string& name) {
    TData d = stringData(name);
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
  Strings listPorts() {
    TRecorder names;
    port.outPort = names.link();
    TData none;
    port.inEnumPorts(none, 4);
    Strings result;
    for (const TData& d : names.received) result.push_back(d.StrValue);
    return result;
  }
};
