// The serial seam: what the serial port element needs of the operating
// system. One backend per platform (serial/os), chosen by CMake; tests plug
// in their own. Flags, masks and status bits use the Win32 values
// throughout, so the element's logic is the same everywhere.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace serial {

// Port events (event mask and the mask a wait reports).
constexpr uint32_t EvRxChar = 0x0001;
constexpr uint32_t EvRxFlag = 0x0002;
constexpr uint32_t EvTxEmpty = 0x0004;
constexpr uint32_t EvCts = 0x0008;
constexpr uint32_t EvDsr = 0x0010;
constexpr uint32_t EvRlsd = 0x0020;
constexpr uint32_t EvBreak = 0x0040;
constexpr uint32_t EvErr = 0x0080;
constexpr uint32_t EvRing = 0x0100;
constexpr uint32_t EvRx80Full = 0x0400;

// Purge flags.
constexpr uint32_t PurgeTxAbort = 0x0001;
constexpr uint32_t PurgeRxAbort = 0x0002;
constexpr uint32_t PurgeTxClear = 0x0004;
constexpr uint32_t PurgeRxClear = 0x0008;

// What a close throws away after its drain: what was received, and output
// only when the drain did not empty the queue. A virtual port (a pty under
// Wine, a virtual pair) reports nothing queued while its far end has not
// read the bytes yet, and aborting or clearing its output throws those away
// ("PUSK" right before the close).
constexpr uint32_t closePurgeFlags(bool drained) {
  return PurgeRxAbort | PurgeRxClear | (drained ? 0 : PurgeTxAbort | PurgeTxClear);
}

// Line error bits.
constexpr uint32_t CeRxOver = 0x0001;
constexpr uint32_t CeOverrun = 0x0002;
constexpr uint32_t CeRxParity = 0x0004;
constexpr uint32_t CeFrame = 0x0008;
constexpr uint32_t CeBreak = 0x0010;
constexpr uint32_t CeTxFull = 0x0100;
constexpr uint32_t CeIoe = 0x0400;
constexpr uint32_t CeMode = 0x8000;

// Modem status bits.
constexpr uint32_t MsCtsOn = 0x0010;
constexpr uint32_t MsDsrOn = 0x0020;
constexpr uint32_t MsRingOn = 0x0040;
constexpr uint32_t MsRlsdOn = 0x0080;

// Bits of the line-settings flag word (the Win32 DCB bit fields).
namespace flag {
constexpr uint32_t Binary = 1u << 0;
constexpr uint32_t Parity = 1u << 1;
constexpr uint32_t OutxCtsFlow = 1u << 2;
constexpr uint32_t OutxDsrFlow = 1u << 3;
constexpr int DtrControlShift = 4;  // two bits
constexpr uint32_t DsrSensitivity = 1u << 6;
constexpr uint32_t TxContinueOnXoff = 1u << 7;
constexpr uint32_t OutX = 1u << 8;
constexpr uint32_t InX = 1u << 9;
constexpr uint32_t ErrorChar = 1u << 10;
constexpr uint32_t Null = 1u << 11;
constexpr int RtsControlShift = 12;  // two bits
constexpr uint32_t AbortOnError = 1u << 14;
}  // namespace flag

}  // namespace serial

// The line settings the element decides; every other field of the driver's
// settings keeps the value the driver reported.
struct TSerialSettings {
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;  // serial::flag bits
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 8;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char EvtChar = 0;
  bool SetErrorChar = false;  // ErrorChar is only written when replacing errors
  char ErrorChar = 0;

  uint32_t dtrControl() const { return (Flags >> serial::flag::DtrControlShift) & 3u; }
  uint32_t rtsControl() const { return (Flags >> serial::flag::RtsControlShift) & 3u; }
};

struct TSerialTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
  // Milliseconds any one write waits at most, whatever the two above give
  // for its size; 0: no limit.
  uint32_t WriteTotalTimeoutLimit = 0;
};

// Why the last write on a port failed.
enum class TSerialFailure {
  None,
  // A line error (framing, break, overrun) held the port: with AbortOnError
  // the driver fails every call until the error is cleared, and the write
  // failed again after that.
  LineError,
  Other,  // a time-out, a port that went away, a refusal
};

// Runs a port call (true: it did its work). With AbortOnError a line error
// fails every call on the port until it is cleared: when lineError() says
// the call failed that way, clearError() clears it and the call runs once
// more. The failure that remains.
template <class Call, class LineError, class ClearError>
TSerialFailure runPastLineError(Call call, LineError lineError, ClearError clearError) {
  if (call()) return TSerialFailure::None;
  if (!lineError() || !clearError()) return TSerialFailure::Other;
  if (call()) return TSerialFailure::None;
  return lineError() ? TSerialFailure::LineError : TSerialFailure::Other;
}

// The reader thread's side of a port: it waits for the next port event.
class TSerialWaiter {
 public:
  enum class TResult {
    Event,    // mask holds the events that happened, possibly none
    Stopped,  // woken by TSerialDevice::wakeReader
    Failed,   // the port went away (unplugged, removed, hung up)
    // The wait ended without a reason of its own (a line error does this
    // with AbortOnError); whether the port is still there needs a look.
    Aborted,
  };
  virtual ~TSerialWaiter() = default;
  virtual TResult wait(uint32_t& mask) = 0;
};

// One port. Opened and closed again as often as the element likes; safe to
// call from the reader thread and another thread at once, as the element
// does (a write from one thread while the other reads).
class TSerialDevice {
 public:
  virtual ~TSerialDevice() = default;
  // Opens the named port exclusively. False when it cannot be opened; error
  // then says why in the system's own words (UTF-8), for the operator.
  virtual bool open(const std::string& name, std::string& error) = 0;
  // Applies the settings over those the driver reports.
  virtual bool configure(const TSerialSettings& settings) = 0;
  virtual bool setTimeouts(const TSerialTimeouts& timeouts) = 0;
  // 0 clears the mask; a wait in progress then ends.
  virtual bool setEventMask(uint32_t mask) = 0;
  // PurgeTxAbort also ends a write under way on another thread.
  virtual bool purge(uint32_t flags) = 0;
  virtual void setupQueues(uint32_t inQueue, uint32_t outQueue) = 0;
  virtual bool modemStatus(uint32_t& status) = 0;
  // Takes the line error bits and reports the bytes waiting to be read.
  virtual bool clearErrors(uint32_t& errors, uint32_t& waiting) = 0;
  // false: the write could not be started. Otherwise written is the count
  // sent, 0 when the write failed after it started. A call that a line error
  // fails is run once more after the error was cleared.
  virtual bool write(const std::string& bytes, uint32_t& written) = 0;
  // Why the last write that sent nothing failed; None after one that sent.
  virtual TSerialFailure lastWriteFailure() const = 0;
  // false: the read could not be started. Otherwise bytes holds at most count
  // bytes that were waiting, possibly none; empty when it failed after
  // it started.
  virtual bool read(uint32_t count, std::string& bytes) = 0;
  // Waits until the driver has handed on the bytes given to the port: at
  // most the write time-out for what is queued (constant plus per byte), or
  // as long as it takes when unbounded. True when the queue emptied.
  virtual bool drain(bool unbounded) = 0;
  virtual void close() = 0;
  // The system's own words for why this thread's last failed call on the
  // port failed (UTF-8); empty when it gave none.
  virtual std::string lastErrorText() const { return {}; }

  // Called on the reader thread, which keeps it until it ends.
  virtual std::unique_ptr<TSerialWaiter> makeWaiter() = 0;
  // Makes the current and any later wait of this open port end with Stopped.
  virtual void wakeReader() = 0;
  // Once the reader that wakeReader stopped has ended: the waits of the next
  // reader on this port, kept open, block again.
  virtual void rearmReader() {}
};

// A serial port as the system lists it.
struct TListedPort {
  std::string Name;
  // Its open is a connection attempt that blocks for seconds: it is never
  // opened just to see whether it opens.
  bool Bluetooth = false;

  bool operator==(const TListedPort&) const = default;
};

class TSerialSystem {
 public:
  virtual ~TSerialSystem() = default;
  virtual std::unique_ptr<TSerialDevice> createDevice() = 0;
  // The number a successful open of this name reports; 0 when the name is
  // not a port name here (the port is then not touched).
  virtual int32_t portNumber(const std::string& name) = 0;
  // The machine's serial ports from the system's own list; none is opened
  // (an open raises DTR and RTS, which resets some devices).
  virtual std::vector<TListedPort> systemPorts() { return {}; }
  // Opens the port and closes it again: whether it can be opened now. May
  // block as long as the driver takes.
  virtual bool portOpens(const std::string&) { return false; }
  // The system that lists and checks the ports: a check may outlive the
  // list that started it, and a wrapper, not the platform's system.
  virtual TSerialSystem& listingSystem() { return *this; }
  // The names of systemPorts(); with checkPorts only those that open now
  // (openablePorts).
  std::vector<std::string> listPorts(bool checkPorts);
};

// Which of the ports can be opened now. Each is opened on a thread of its
// own, all at once, and given at most `limit`: a port whose open has not
// ended by then is left out (the thread runs out by itself and touches
// nothing but its own result). Bluetooth ports are kept without an open.
// The order stays as listed.
std::vector<TListedPort> openablePorts(TSerialSystem& system, std::vector<TListedPort> ports,
                                       std::chrono::milliseconds limit);
// How long an open may take before a list leaves the port out.
constexpr std::chrono::milliseconds PortCheckLimit{1000};

// The running platform's backend.
TSerialSystem& platformSerialSystem();
