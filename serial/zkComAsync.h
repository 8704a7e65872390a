// The asynchronous serial port element: lists the machine's ports, opens one
// with fixed line settings, runs a reader thread that fires the port's
// events, and reads and writes raw bytes (NUL included).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "runtime/link.h"
#include "serial/serialDevice.h"

class TZKComAsync {
 public:
  explicit TZKComAsync(TSerialSystem& system = platformSerialSystem());
  virtual ~TZKComAsync();
  TZKComAsync(const TZKComAsync&) = delete;
  TZKComAsync& operator=(const TZKComAsync&) = delete;

  std::string Port;
  int32_t BaudRate = 9600;
  int32_t Parity = 0;
  int32_t DataBits = 3;
  int32_t StopBits = 0;
  int32_t EventChar = 0;
  bool DiscardNull = false;
  bool AbortOnError = false;
  bool ParityCheck = false;
  bool ReplaceErrors = false;
  int32_t ErrorChar = 0;
  bool DsrSensitivity = false;
  bool CtsFlow = false;
  bool DsrFlow = false;
  bool TxContinueOnXoff = false;
  int32_t XoffChar = 19;
  int32_t XonChar = 17;
  bool InX = false;
  bool OutX = false;
  int32_t InQueue = 4096;
  int32_t OutQueue = 4096;
  int32_t RtsControl = 0;
  int32_t DtrControl = 0;
  bool WatchRxChar = true;
  bool WatchRxFlag = false;
  bool WatchTxEmpty = false;
  bool WatchCts = false;
  bool WatchDsr = false;
  bool WatchRlsd = false;
  bool WatchBreak = false;
  bool WatchError = false;
  bool WatchRing = false;
  bool WatchRx80Full = false;
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  // Milliseconds a write waits at most, whatever its size (0: no limit): a
  // block must not wait for 100 ms a byte on a stalled transmit.
  uint32_t WriteTotalTimeoutLimit = 0;
  bool CheckPorts = true;
  bool FlushOnClose = false;
  // After inEnumPorts, ports that appear are added (outPort) and listed
  // ones that go away are removed (outPortGone), until inStopWatch.
  bool WatchPorts = false;

  TEventLink outWritten;
  // A write that did not go out whole; the count written.
  TEventLink outWriteFailed;
  TEventLink outRead;
  TEventLink outPort;
  // A port outPort listed has gone; the same text.
  TEventLink outPortGone;
  TEventLink outRxChar;
  TEventLink outRing;
  TEventLink outCts;
  TEventLink outDsr;
  TEventLink outRlsd;
  TEventLink outRxFlag;
  TEventLink outBreak;
  TEventLink outRx80Full;
  TEventLink outTxEmpty;
  TEventLink outError;
  TEventLink outOpening;
  TEventLink outOpen;
  TEventLink outClosing;
  TEventLink outClosed;
  // The port went away (unplugged, removed) while open: fired on the reader
  // thread after the close it caused (outClosing to outClosed).
  TEventLink outVanished;

  TEventLink dataBaudRate;
  TEventLink dataPort;
  TEventLink dataDtrControl;
  TEventLink dataRtsControl;

  void inOpen(TData& d, uint16_t index);
  void inClose(TData& d, uint16_t index);
  void inWrite(TData& d, uint16_t index);
  void inRead(TData& d, uint16_t index);
  void inEnumPorts(TData& d, uint16_t index);
  // Ends the port watch: it fires nothing more (the data is ignored). Its
  // thread ends soon after and is joined by stopWatch or the destruction.
  void inStopWatch(TData& d, uint16_t index);
  // Ends the port watch and waits for its thread.
  void stopWatch();
  // 1 while received bytes are on their way to outRead: waiting in the
  // driver, or taken by the reader and not yet handed on; otherwise 0.
  void varPending(TData& d, uint16_t index);
  // Why the last write failed, when the port knows: "line error" when it
  // failed again after the line error was cleared; empty otherwise. Read
  // on the writing thread, in the handling of outWriteFailed.
  void varWriteFailure(TData& d, uint16_t index);

  bool opened() const { return opened_.load(std::memory_order_acquire); }
  // What the last open decided (valid after it got that far).
  const TSerialSettings& settings() const { return settings_; }
  const TSerialTimeouts& timeouts() const { return timeouts_; }
  uint32_t eventMask() const { return eventMask_; }
  const std::string& portName() const { return portName_; }
  // Why the last open failed, for the operator (UTF-8, the system's words
  // where the system gave a reason); empty after a successful open. Read on
  // the thread that opened, e.g. in the handler of outOpen.
  const std::string& openError() const { return openError_; }
  // Line states as last read: 0 or 1.
  uint8_t dsr() const { return dsr_.load(); }
  uint8_t cts() const { return cts_.load(); }
  uint8_t rlsd() const { return rlsd_.load(); }
  // Every modem line as last read (serial::Ms*On bits, RI included); 0
  // while closed.
  uint32_t modemLines() const { return modemLines_.load(); }
  // Texts of the last successful error check.
  std::vector<std::string> errorList() const;

  // The settings record and the event mask the current properties give.
  TSerialSettings buildSettings(int32_t baudRate, int32_t dtrIndex, int32_t rtsIndex) const;
  uint32_t buildEventMask() const;

 private:
  // What one reader thread shares with the element; it outlives the element's
  // interest in it when the thread closed its own port. Stopping it also
  // ends any interruptible wait of a handler on it (threadStop.h).
  struct TReaderState {
    std::stop_source Stop;
    std::mutex Lock;
    std::condition_variable Changed;
    bool Started = false;  // the element holds the thread; guarded by Lock
    std::atomic<bool> Finished{false};
  };

  // The ports of the list that open now (all with CheckPorts off).
  std::vector<TListedPort> offered(std::vector<TListedPort> ports);
  void watchLoop(std::vector<TListedPort> present, std::vector<TListedPort> shown);
  // Fires unless the watch was told to stop.
  void fireWatched(TEventLink& link, const TListedPort& port);
  bool openSequence(int32_t baudRate, int32_t dtrIndex, int32_t rtsIndex);
  void closeRoutine();
  // Claims the close for this thread; false when another thread's close
  // was under way (it has finished when this returns, unless this is the
  // reader thread that close is stopping) or the port is closed.
  bool beginClose();
  void closeSteps(bool vanished = false);
  // Tells the reader to stop; its state, to wait for its end, unless this is
  // the reader itself.
  std::shared_ptr<TReaderState> stopReader();
  void joinLeftoverReader();
  static void waitForReaderEnd(const TReaderState& state, std::thread& reader);
  void readerLoop(std::shared_ptr<TReaderState> state);
  void dispatch(uint32_t mask, const std::stop_token& stop);
  // After a wait that brought no event: whether the port still answers.
  bool portAnswers();
  void waitUntilTheLineIsFree();
  // How long a count of bytes takes on the line at the open port's settings.
  int64_t lineMicros(uint32_t bytes) const;
  bool readModemStatus();
  void checkErrors();

  TSerialSystem& system_;
  std::unique_ptr<TSerialDevice> device_;
  std::thread reader_;
  std::shared_ptr<TReaderState> readerState_;
  // A reader whose own handler closed the port: it ends by itself and is
  // joined by the next open or the destructor.
  std::thread leftoverReader_;
  std::shared_ptr<TReaderState> leftoverState_;
  uint32_t eventMask_ = 0;
  std::atomic<bool> opened_{false};
  // Counts writes; orders what preceded a write before the handling of the
  // answer to it (inWrite, inRead).
  std::atomic<uint64_t> writesIssued_{0};
  // The byte count of the last write since the last close: the close gives
  // them their time on the line.
  std::atomic<uint32_t> lastWritten_{0};
  // Device calls hold it shared, the close exclusively while it releases the
  // port: no thread uses a descriptor the close has given back.
  std::shared_mutex deviceUse_;
  std::mutex closeLock_;
  bool closeBusy_ = false;  // guarded by closeLock_
  // Set for the whole close: writes are refused meanwhile.
  std::atomic<bool> closing_{false};
  std::atomic<uint8_t> dsr_{0};
  std::atomic<uint8_t> cts_{0};
  std::atomic<uint8_t> rlsd_{0};
  std::atomic<uint32_t> modemLines_{0};
  uint32_t waitingBytes_ = 0;  // from the last error query; reader thread only
  // Set by the reader from a receive event until outRxChar's chain returned.
  std::atomic<bool> handingOn_{false};
  TSerialTimeouts timeouts_;
  TSerialSettings settings_;
  std::string portName_;
  std::string openError_;
  mutable std::mutex errorListLock_;
  std::vector<std::string> errorList_;
  // The port watch: its thread fires outPort and outPortGone.
  std::thread watch_;
  std::mutex watchLock_;
  std::condition_variable watchChanged_;
  bool watchStop_ = false;  // guarded by watchLock_
  std::atomic<bool> watchFinished_{false};
};

// The line error texts for an error word, in the order they are listed.
std::vector<std::string> lineErrorTexts(uint32_t errors, bool parityCheck);
