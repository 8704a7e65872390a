#include "zkComAsync.h"

#include <system_error>

#include "runtime/threadStop.h"

using namespace serial;

namespace {

// The element whose reader thread this is, on a reader thread.
thread_local const TZKComAsync* readerThreadOf = nullptr;

uint32_t bitIf(bool on, uint32_t bit) { return on ? bit : 0; }

char lowByte(int32_t value) { return static_cast<char>(value & 0xFF); }

}  // namespace

std::vector<std::string> lineErrorTexts(uint32_t errors, bool parityCheck) {
  struct TErrorText {
    uint32_t Bit;
    const char* Text;
  };
  static constexpr TErrorText Texts[] = {
      {CeFrame, "Receive Framing Error"},
      {CeRxParity, "Receive Parity Error"},
      {CeOverrun, "Receive Overrun Error"},
      {CeRxOver, "Receive Queue overflow"},
      {CeTxFull, "TX Queue is full"},
      {CeBreak, "Break Detected"},
      {CeIoe, "Port I/O Error"},
      {CeMode, "Requested mode unsupported"},
  };
  std::vector<std::string> list;
  for (const TErrorText& entry : Texts) {
    if ((errors & entry.Bit) == 0) continue;
    if (entry.Bit == CeRxParity && !parityCheck) continue;
    list.emplace_back(entry.Text);
  }
  return list;
}

TZKComAsync::TZKComAsync(TSerialSystem& system) : System(system), Device(system.createDevice()) {}

TZKComAsync::~TZKComAsync() {
  closeRoutine();
  joinLeftoverReader();
}

TSerialSettings TZKComAsync::buildSettings(int32_t baudRate, int32_t dtrIndex,
                                           int32_t rtsIndex) const {
  TSerialSettings s;
  s.BaudRate = static_cast<uint32_t>(baudRate);
  s.ByteSize = static_cast<uint8_t>(DataBits + 5);
  s.Parity = static_cast<uint8_t>(Parity);
  s.StopBits = static_cast<uint8_t>(StopBits);
  s.XonLim = static_cast<uint16_t>(InQueue / 4);
  s.XoffLim = s.XonLim;
  s.XonChar = lowByte(XonChar);
  s.XoffChar = lowByte(XoffChar);
  s.EvtChar = lowByte(EventChar);
  const uint32_t dtr = dtrIndex >= 0 && dtrIndex <= 2 ? static_cast<uint32_t>(dtrIndex) : 0;
  const uint32_t rts = rtsIndex >= 0 && rtsIndex <= 3 ? static_cast<uint32_t>(rtsIndex) : 0;
  const bool replaceErrors = ParityCheck && ReplaceErrors;
  s.Flags = flag::Binary | (dtr << flag::DtrControlShift) | (rts << flag::RtsControlShift) |
            bitIf(DiscardNull, flag::Null) | bitIf(AbortOnError, flag::AbortOnError) |
            bitIf(ParityCheck, flag::Parity) | bitIf(replaceErrors, flag::ErrorChar) |
            bitIf(DsrSensitivity, flag::DsrSensitivity) | bitIf(CtsFlow, flag::OutxCtsFlow) |
            bitIf(DsrFlow, flag::OutxDsrFlow) | bitIf(TxContinueOnXoff, flag::TxContinueOnXoff) |
            bitIf(InX, flag::InX) | bitIf(OutX, flag::OutX);
  s.SetErrorChar = replaceErrors;
  if (replaceErrors) s.ErrorChar = lowByte(ErrorChar);
  return s;
}

uint32_t TZKComAsync::buildEventMask() const {
  return bitIf(WatchRxChar, EvRxChar) | bitIf(WatchRxFlag, EvRxFlag) |
         bitIf(WatchTxEmpty, EvTxEmpty) | bitIf(WatchCts, EvCts) | bitIf(WatchDsr, EvDsr) |
         bitIf(WatchRlsd, EvRlsd) | bitIf(WatchBreak, EvBreak) | bitIf(WatchError, EvErr) |
         bitIf(WatchRing, EvRing) | bitIf(WatchRx80Full, EvRx80Full);
}

std::vector<std::string> TZKComAsync::errorList() const {
  std::lock_guard lock(ErrorListLock);
  return ErrorList;
}

void TZKComAsync::inOpen(TData& d, uint16_t) {
  if (opened()) return;
  fireEvent(outOpening);
  PortName = readString(d, dataPort, Port);
  OpenError.clear();
  const int32_t number = System.portNumber(PortName);
  if (number == 0) {
    OpenError = "not a serial port name";
    fireEvent(outOpen, 0);
    return;
  }
  const int32_t dtrIndex = readInteger(d, dataDtrControl, DtrControl);
  const int32_t rtsIndex = readInteger(d, dataRtsControl, RtsControl);
  const int32_t baudRate = readInteger(d, dataBaudRate, BaudRate);
  if (!openSequence(baudRate, dtrIndex, rtsIndex)) {
    fireEvent(outOpen, 0);
    return;
  }
  if (readModemStatus()) {
    if (Cts) fireEvent(outCts, 1);
    if (Dsr) fireEvent(outDsr, 1);
    if (Rlsd) fireEvent(outRlsd, 1);
  }
  fireEvent(outOpen, number);
}

bool TZKComAsync::openSequence(int32_t baudRate, int32_t dtrIndex, int32_t rtsIndex) {
  joinLeftoverReader();
  if (!Device->open(PortName, OpenError)) return false;
  Opened = true;
  Settings = buildSettings(baudRate, dtrIndex, rtsIndex);
  EventMask = buildEventMask();
  Timeouts =
      TSerialTimeouts{ReadIntervalTimeout, ReadTotalTimeoutMultiplier, ReadTotalTimeoutConstant,
                      WriteTotalTimeoutMultiplier, WriteTotalTimeoutConstant};
  const bool purged = Device->purge(PurgeTxClear | PurgeRxClear);
  Device->setupQueues(static_cast<uint32_t>(InQueue), static_cast<uint32_t>(OutQueue));
  if (!purged || !Device->configure(Settings) || !Device->setTimeouts(Timeouts) ||
      !Device->setEventMask(EventMask)) {
    OpenError = "the port refused the line settings";
    closeRoutine();
    return false;
  }
  if (EventMask == 0) return true;
  ReaderState = std::make_shared<TReaderState>();
  try {
    Reader = std::thread(&TZKComAsync::readerLoop, this, ReaderState);
  } catch (const std::system_error& error) {
    OpenError = error.what();
    ReaderState.reset();
    closeRoutine();
    return false;
  }
  {
    std::lock_guard lock(ReaderState->Lock);
    ReaderState->Started = true;
  }
  ReaderState->Changed.notify_all();
  return true;
}

void TZKComAsync::readerLoop(std::shared_ptr<TReaderState> state) {
  {
    // A handler may close the port at once, and that looks at Reader.
    std::unique_lock lock(state->Lock);
    state->Changed.wait(lock, [&] { return state->Started; });
  }
  readerThreadOf = this;
  const std::stop_token stop = state->Stop.get_token();
  const TStopScope stopScope(stop);
  const std::unique_ptr<TSerialWaiter> waiter = Device->makeWaiter();
  TSerialWaiter::TResult result = TSerialWaiter::TResult::Event;
  while (!stop.stop_requested()) {
    uint32_t mask = 0;
    result = waiter->wait(mask);
    if (result != TSerialWaiter::TResult::Event || stop.stop_requested()) break;
    dispatch(mask, stop);
  }
  // A port that failed by itself is left quiet; after a close request the
  // close routine does this, and the port may already be gone.
  if (!stop.stop_requested() && result == TSerialWaiter::TResult::Failed) {
    Device->setEventMask(0);
    Device->purge(PurgeTxClear | PurgeRxClear);
  }
  std::lock_guard lock(state->Lock);
  state->Finished = true;
  state->Changed.notify_all();
}

void TZKComAsync::dispatch(uint32_t mask, const std::stop_token& stop) {
  // A handler may close the port; nothing is fired after that. Once a stop is
  // requested this must not touch the element again.
  const auto firing = [&](uint32_t bit) { return (mask & bit) != 0 && !stop.stop_requested(); };
  if (firing(EvRxChar)) {
    uint32_t errors = 0;
    if (Device->clearErrors(errors, WaitingBytes)) {
      fireEvent(outRxChar, static_cast<int32_t>(WaitingBytes));
    }
  }
  if (firing(EvTxEmpty)) fireEvent(outTxEmpty);
  if (firing(EvBreak)) fireEvent(outBreak);
  if (firing(EvRing)) fireEvent(outRing);
  if (firing(EvCts) && readModemStatus()) fireEvent(outCts, static_cast<int32_t>(Cts));
  if (firing(EvDsr) && readModemStatus()) fireEvent(outDsr, static_cast<int32_t>(Dsr));
  if (firing(EvRxFlag)) fireEvent(outRxFlag);
  if (firing(EvRlsd) && readModemStatus()) fireEvent(outRlsd, static_cast<int32_t>(Rlsd));
  if (firing(EvErr)) {
    if (!AbortOnError) checkErrors();
    fireEvent(outError);
  }
  if (firing(EvRx80Full)) fireEvent(outRx80Full);
}

bool TZKComAsync::readModemStatus() {
  uint32_t status = 0;
  const std::shared_lock use(DeviceUse);
  if (!opened() || !Device->modemStatus(status)) return false;
  Dsr = (status & MsDsrOn) != 0 ? 1 : 0;
  Cts = (status & MsCtsOn) != 0 ? 1 : 0;
  Rlsd = (status & MsRlsdOn) != 0 ? 1 : 0;
  return true;
}

void TZKComAsync::checkErrors() {
  uint32_t errors = 0;
  {
    const std::shared_lock use(DeviceUse);
    if (!opened() || !Device->clearErrors(errors, WaitingBytes)) return;
  }
  std::vector<std::string> texts = lineErrorTexts(errors, ParityCheck);
  std::lock_guard lock(ErrorListLock);
  ErrorList = std::move(texts);
}

void TZKComAsync::inClose(TData&, uint16_t) { closeRoutine(); }

void TZKComAsync::closeRoutine() {
  if (beginClose()) closeSteps();
}

bool TZKComAsync::beginClose() {
  std::unique_lock lock(CloseLock);
  if (!CloseBusy) {
    if (!opened()) return false;
    CloseBusy = true;
    Closing = true;
    return true;
  }
  // The close under way is stopping this very thread: it must not wait for
  // that close, which waits for it.
  if (readerThreadOf == this) return false;
  lock.unlock();
  // The closing thread may be waiting for this one (a synchronous call).
  waitUntilDone([this] {
    std::lock_guard guard(CloseLock);
    return !CloseBusy;
  });
  return false;
}

void TZKComAsync::closeSteps() {
  fireEvent(outClosing);
  stopReader();
  // Bytes handed to the port ("PUSK" right before a close) still go out;
  // only then is the rest thrown away.
  Device->drain(FlushOnClose);
  Device->purge(PurgeTxAbort | PurgeRxAbort | PurgeTxClear | PurgeRxClear);
  Cts = 0;
  Dsr = 0;
  Rlsd = 0;
  fireEvent(outCts, 0);
  fireEvent(outDsr, 0);
  fireEvent(outRlsd, 0);
  {
    // Waits for a write or read still under way on another thread.
    const std::unique_lock use(DeviceUse);
    Device->close();
    Opened = false;
  }
  fireEvent(outClosed);
  std::lock_guard lock(CloseLock);
  Closing = false;
  CloseBusy = false;
}

void TZKComAsync::stopReader() {
  if (!ReaderState) return;
  std::shared_ptr<TReaderState> state = std::move(ReaderState);
  state->Stop.request_stop();
  Device->setEventMask(0);
  Device->wakeReader();
  if (readerThreadOf == this) {
    // Called from one of the reader's own handlers: it ends as soon as the
    // handler returns, having fired nothing more.
    LeftoverReader = std::move(Reader);
    LeftoverState = std::move(state);
    return;
  }
  waitForReaderEnd(*state, Reader);
}

void TZKComAsync::joinLeftoverReader() {
  if (!LeftoverReader.joinable()) return;
  const std::shared_ptr<TReaderState> state = std::move(LeftoverState);
  if (readerThreadOf == this) {
    // The reader reopens or destroys its own element: let it run out.
    LeftoverReader.detach();
    return;
  }
  waitForReaderEnd(*state, LeftoverReader);
}

void TZKComAsync::waitForReaderEnd(const TReaderState& state, std::thread& reader) {
  // The reader may be waiting for this very thread (a synchronous call to
  // the UI thread): the wait keeps serving such calls until it has ended.
  waitUntilDone([&] { return state.Finished.load(); });
  reader.join();
}

void TZKComAsync::inWrite(TData& d, uint16_t) {
  const std::string bytes = toString(d);
  std::shared_lock use(DeviceUse);
  if (!opened() || Closing) return;
  uint32_t written = 0;
  // Published before the bytes leave: see inRead.
  WritesIssued.fetch_add(1, std::memory_order_release);
  const bool started = Device->write(bytes, written);
  use.unlock();
  if (started) fireEvent(outWritten, static_cast<int32_t>(written));
}

void TZKComAsync::inRead(TData& d, uint16_t) {
  const int32_t count = toInteger(d);
  std::string bytes;
  std::shared_lock use(DeviceUse);
  if (!opened() || !Device->read(count > 0 ? static_cast<uint32_t>(count) : 0, bytes)) return;
  use.unlock();
  // A device answers what it received, so whatever a thread did before it
  // wrote those bytes must be visible to the thread that handles the
  // answer; the wire carries no such guarantee between threads.
  WritesIssued.load(std::memory_order_acquire);
  fireEvent(outRead, std::move(bytes));
}

void TZKComAsync::inEnumPorts(TData&, uint16_t) {
  for (std::string& name : System.listPorts(CheckPorts)) fireEvent(outPort, std::move(name));
}
