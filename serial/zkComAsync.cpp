#include "zkComAsync.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "runtime/threadStop.h"
#include "serial/portNames.h"

using namespace serial;

namespace {

// The element whose reader thread this is, on a reader thread.
thread_local const TZKComAsync* readerThreadOf = nullptr;

uint32_t bitIf(bool on, uint32_t bit) { return on ? bit : 0; }

char lowByte(int32_t value) { return static_cast<char>(value & 0xFF); }

using Clock = std::chrono::steady_clock;

int64_t nowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
      .count();
}

// What a USB adapter may still hold after the driver handed it the bytes is
// given this beyond the bytes' own time on the line.
constexpr int64_t LineMarginMicros = 2000;
// A reader whose waits keep ending without an event pauses this long between
// them rather than spin.
constexpr std::chrono::milliseconds QuietWaitPause{10};

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

TZKComAsync::TZKComAsync(TSerialSystem& system) : system_(system), device_(system.createDevice()) {}

TZKComAsync::~TZKComAsync() {
  stopWatch();
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
  std::lock_guard lock(errorListLock_);
  return errorList_;
}

void TZKComAsync::varWriteFailure(TData& d, uint16_t) {
  makeString(d, device_->lastWriteFailure() == TSerialFailure::LineError ? "line error" : "");
}

void TZKComAsync::inOpen(TData& d, uint16_t) {
  if (opened()) return;
  fireEvent(outOpening);
  // The port list's item may say more after the name.
  portName_ = portNameOfItem(readString(d, dataPort, Port));
  openError_.clear();
  const int32_t number = system_.portNumber(portName_);
  if (number == 0) {
    openError_ = "not a serial port name";
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
    if (cts_) fireEvent(outCts, 1);
    if (dsr_) fireEvent(outDsr, 1);
    if (rlsd_) fireEvent(outRlsd, 1);
  }
  fireEvent(outOpen, number);
}

bool TZKComAsync::openSequence(int32_t baudRate, int32_t dtrIndex, int32_t rtsIndex) {
  joinLeftoverReader();
  if (!device_->open(portName_, openError_)) return false;
  opened_ = true;
  settings_ = buildSettings(baudRate, dtrIndex, rtsIndex);
  eventMask_ = buildEventMask();
  timeouts_ = TSerialTimeouts{ReadIntervalTimeout,       ReadTotalTimeoutMultiplier,
                              ReadTotalTimeoutConstant,  WriteTotalTimeoutMultiplier,
                              WriteTotalTimeoutConstant, WriteTotalTimeoutLimit};
  const bool purged = device_->purge(PurgeTxClear | PurgeRxClear);
  const std::string purgeError = purged ? std::string() : device_->lastErrorText();
  device_->setupQueues(static_cast<uint32_t>(InQueue), static_cast<uint32_t>(OutQueue));
  // Which request the port refused, and the system's words for why (a CDC
  // device may refuse one it need not support).
  const char* refused = !purged                              ? "to clear its queues"
                        : !device_->configure(settings_)     ? "the line settings"
                        : !device_->setTimeouts(timeouts_)   ? "the time-outs"
                        : !device_->setEventMask(eventMask_) ? "the event watch"
                                                             : nullptr;
  if (refused != nullptr) {
    const std::string why = purged ? device_->lastErrorText() : purgeError;
    openError_ = std::string("the port refused ") + refused + (why.empty() ? "" : ": " + why);
    closeRoutine();
    return false;
  }
  if (eventMask_ == 0) return true;
  handingOn_ = false;
  readerState_ = std::make_shared<TReaderState>();
  try {
    reader_ = std::thread(&TZKComAsync::readerLoop, this, readerState_);
  } catch (const std::system_error& error) {
    openError_ = error.what();
    readerState_.reset();
    closeRoutine();
    return false;
  }
  // Once started, the reader may close the port and take readerState_
  // (a port that is gone at once): only this copy is touched after that.
  const std::shared_ptr<TReaderState> state = readerState_;
  {
    std::lock_guard lock(state->Lock);
    state->Started = true;
  }
  state->Changed.notify_all();
  return true;
}

void TZKComAsync::readerLoop(std::shared_ptr<TReaderState> state) {
  {
    // A handler may close the port at once, and that looks at reader_.
    std::unique_lock lock(state->Lock);
    state->Changed.wait(lock, [&] { return state->Started; });
  }
  readerThreadOf = this;
  const std::stop_token stop = state->Stop.get_token();
  const TStopScope stopScope(stop);
  const std::unique_ptr<TSerialWaiter> waiter = device_->makeWaiter();
  bool gone = false;
  bool quiet = false;
  while (!stop.stop_requested()) {
    uint32_t mask = 0;
    const TSerialWaiter::TResult result = waiter->wait(mask);
    if (result == TSerialWaiter::TResult::Stopped || stop.stop_requested()) break;
    if (result == TSerialWaiter::TResult::Event && mask != 0) {
      quiet = false;
      dispatch(mask, stop);
      continue;
    }
    // A line error ends waits; some drivers end them with no event after an
    // unplug or a resume, again and again. A port that still answers is
    // waited on again (after a pause when it keeps happening); one that does
    // not is gone.
    if (result == TSerialWaiter::TResult::Failed || !portAnswers()) {
      gone = !stop.stop_requested();
      break;
    }
    if (std::exchange(quiet, true)) std::this_thread::sleep_for(QuietWaitPause);
  }
  // Not left open and deaf: closed, and the schema told why.
  if (gone && beginClose()) closeSteps(true);
  std::lock_guard lock(state->Lock);
  state->Finished = true;
  state->Changed.notify_all();
}

bool TZKComAsync::portAnswers() {
  uint32_t errors = 0;
  const std::shared_lock use(deviceUse_);
  return opened() && device_->clearErrors(errors, waitingBytes_);
}

void TZKComAsync::dispatch(uint32_t mask, const std::stop_token& stop) {
  // A handler may close the port; nothing is fired after that. Once a stop is
  // requested this must not touch the element again.
  const auto firing = [&](uint32_t bit) { return (mask & bit) != 0 && !stop.stop_requested(); };
  if (firing(EvRxChar)) {
    // Set before the bytes leave the driver: see varPending.
    handingOn_ = true;
    uint32_t errors = 0;
    if (device_->clearErrors(errors, waitingBytes_)) {
      fireEvent(outRxChar, static_cast<int32_t>(waitingBytes_));
    }
    if (!stop.stop_requested()) handingOn_ = false;  // else the next open clears it
  }
  if (firing(EvTxEmpty)) fireEvent(outTxEmpty);
  if (firing(EvBreak)) fireEvent(outBreak);
  if (firing(EvRing)) fireEvent(outRing);
  if (firing(EvCts) && readModemStatus()) fireEvent(outCts, static_cast<int32_t>(cts_));
  if (firing(EvDsr) && readModemStatus()) fireEvent(outDsr, static_cast<int32_t>(dsr_));
  if (firing(EvRxFlag)) fireEvent(outRxFlag);
  if (firing(EvRlsd) && readModemStatus()) fireEvent(outRlsd, static_cast<int32_t>(rlsd_));
  if (firing(EvErr)) {
    if (!AbortOnError) checkErrors();
    fireEvent(outError);
  }
  if (firing(EvRx80Full)) fireEvent(outRx80Full);
}

bool TZKComAsync::readModemStatus() {
  uint32_t status = 0;
  const std::shared_lock use(deviceUse_);
  if (!opened() || !device_->modemStatus(status)) return false;
  dsr_ = (status & MsDsrOn) != 0 ? 1 : 0;
  cts_ = (status & MsCtsOn) != 0 ? 1 : 0;
  rlsd_ = (status & MsRlsdOn) != 0 ? 1 : 0;
  modemLines_ = status;
  return true;
}

void TZKComAsync::checkErrors() {
  uint32_t errors = 0;
  {
    const std::shared_lock use(deviceUse_);
    if (!opened() || !device_->clearErrors(errors, waitingBytes_)) return;
  }
  std::vector<std::string> texts = lineErrorTexts(errors, ParityCheck);
  std::lock_guard lock(errorListLock_);
  errorList_ = std::move(texts);
}

void TZKComAsync::inClose(TData&, uint16_t) { closeRoutine(); }

void TZKComAsync::closeRoutine() {
  if (beginClose()) closeSteps();
}

bool TZKComAsync::beginClose() {
  std::unique_lock lock(closeLock_);
  if (!closeBusy_) {
    if (!opened()) return false;
    closeBusy_ = true;
    closing_ = true;
    return true;
  }
  // The close under way is stopping this very thread: it must not wait for
  // that close, which waits for it.
  if (readerThreadOf == this) return false;
  lock.unlock();
  // The closing thread may be waiting for this one (a synchronous call).
  waitUntilDone([this] {
    std::lock_guard guard(closeLock_);
    return !closeBusy_;
  });
  return false;
}

void TZKComAsync::closeSteps(bool vanished) {
  fireEvent(outClosing);
  // The reader fires nothing more from here on; it is waited for only after
  // the purge, which also ends a write one of its handlers may be making.
  const std::shared_ptr<TReaderState> reader = stopReader();
  // Bytes handed to the port ("PUSK" right before a close) still go out;
  // only then is the rest thrown away.
  const bool drained = device_->drain(FlushOnClose);
  waitUntilTheLineIsFree();
  device_->purge(closePurgeFlags(drained));
  if (reader) waitForReaderEnd(*reader, reader_);
  cts_ = 0;
  dsr_ = 0;
  rlsd_ = 0;
  modemLines_ = 0;
  fireEvent(outCts, 0);
  fireEvent(outDsr, 0);
  fireEvent(outRlsd, 0);
  {
    // Waits for a write or read still under way on another thread.
    const std::unique_lock use(deviceUse_);
    device_->close();
    opened_ = false;
  }
  fireEvent(outClosed);
  if (vanished) fireEvent(outVanished);
  std::lock_guard lock(closeLock_);
  closing_ = false;
  closeBusy_ = false;
}

void TZKComAsync::waitUntilTheLineIsFree() {
  // Counted from the drain's end rather than from the write, which then
  // reads no clock (one write per image byte); the line is free no sooner.
  const uint32_t bytes = lastWritten_.exchange(0);
  if (bytes == 0) return;
  const int64_t freeAt = nowMicros() + lineMicros(bytes) + LineMarginMicros;
  // A sleep may end early: Windows sleeps whole milliseconds, rounded down.
  for (int64_t left = 0; (left = freeAt - nowMicros()) > 0;)
    std::this_thread::sleep_for(std::chrono::microseconds(left));
}

int64_t TZKComAsync::lineMicros(uint32_t bytes) const {
  if (settings_.BaudRate == 0) return 0;
  const int64_t bitsPerByte =
      1 + settings_.ByteSize + (settings_.Parity != 0 ? 1 : 0) + (settings_.StopBits != 0 ? 2 : 1);
  return static_cast<int64_t>(bytes) * bitsPerByte * 1'000'000 / settings_.BaudRate;
}

std::shared_ptr<TZKComAsync::TReaderState> TZKComAsync::stopReader() {
  if (!readerState_) return nullptr;
  std::shared_ptr<TReaderState> state = std::move(readerState_);
  state->Stop.request_stop();
  device_->setEventMask(0);
  device_->wakeReader();
  if (readerThreadOf == this) {
    // Called from one of the reader's own handlers: it ends as soon as the
    // handler returns, having fired nothing more.
    leftoverReader_ = std::move(reader_);
    leftoverState_ = std::move(state);
    return nullptr;
  }
  return state;
}

void TZKComAsync::joinLeftoverReader() {
  if (!leftoverReader_.joinable()) return;
  const std::shared_ptr<TReaderState> state = std::move(leftoverState_);
  if (readerThreadOf == this) {
    // The reader reopens or destroys its own element: let it run out.
    leftoverReader_.detach();
    return;
  }
  waitForReaderEnd(*state, leftoverReader_);
}

void TZKComAsync::waitForReaderEnd(const TReaderState& state, std::thread& reader) {
  // The reader may be waiting for this very thread (a synchronous call to
  // the UI thread): the wait keeps serving such calls until it has ended.
  waitUntilDone([&] { return state.Finished.load(); });
  reader.join();
}

// A write that did not go out whole (failed, timed out, refused while the
// port is closed or closing, or not even started) is also told on
// outWriteFailed with the count written: a sender must learn that its
// bytes did not go out, not wait for an answer that cannot come.
void TZKComAsync::inWrite(TData& d, uint16_t) {
  // A text is written as the record holds it: no copy per image byte.
  std::string converted;
  const std::string& bytes =
      kindOf(d) == TDataKind::String ? d.StrValue : (converted = toString(d));
  std::shared_lock use(deviceUse_);
  uint32_t written = 0;
  bool started = false;
  if (opened() && !closing_) {
    // Published before the bytes leave: see inRead.
    writesIssued_.fetch_add(1, std::memory_order_release);
    started = device_->write(bytes, written);
  }
  use.unlock();
  const bool whole = written == bytes.size();
  if (written > 0) lastWritten_.store(written, std::memory_order_relaxed);
  if (started) fireEvent(outWritten, static_cast<int32_t>(written));
  if (!whole) fireEvent(outWriteFailed, static_cast<int32_t>(written));
}

void TZKComAsync::inRead(TData& d, uint16_t) {
  const int32_t count = toInteger(d);
  std::string bytes;
  std::shared_lock use(deviceUse_);
  if (!opened() || !device_->read(count > 0 ? static_cast<uint32_t>(count) : 0, bytes)) return;
  use.unlock();
  // A device answers what it received, so whatever a thread did before it
  // wrote those bytes must be visible to the thread that handles the
  // answer; the wire carries no such guarantee between threads.
  writesIssued_.load(std::memory_order_acquire);
  fireEvent(outRead, std::move(bytes));
}

// Listed without opening; with CheckPorts only those that open now, checked
// all at once off this thread (the window's, at its start) for a bounded
// time.
std::vector<TListedPort> TZKComAsync::offered(std::vector<TListedPort> ports) {
  if (!CheckPorts) return ports;
  return openablePorts(system_.listingSystem(), std::move(ports), PortCheckLimit);
}

void TZKComAsync::inEnumPorts(TData&, uint16_t) {
  std::vector<TListedPort> present = system_.listingSystem().systemPorts();
  std::vector<TListedPort> shown = offered(present);
  for (const TListedPort& port : shown) fireEvent(outPort, portItemText(port.Name, port.Bluetooth));
  if (!WatchPorts || watch_.joinable()) return;
  watchFinished_ = false;
  try {
    watch_ = std::thread(&TZKComAsync::watchLoop, this, std::move(present), std::move(shown));
  } catch (const std::system_error&) {
    // The list stays as it is.
  }
}

namespace {

constexpr std::chrono::milliseconds WatchPeriod{500};

bool listed(const std::vector<TListedPort>& ports, const TListedPort& port) {
  return std::ranges::find(ports, port.Name, &TListedPort::Name) != ports.end();
}

}  // namespace

// Looks at the system's list twice a second, which costs no open: a port
// that came is offered as at the start, one that went is taken back.
void TZKComAsync::watchLoop(std::vector<TListedPort> present, std::vector<TListedPort> shown) {
  std::unique_lock lock(watchLock_);
  while (!watchChanged_.wait_for(lock, WatchPeriod, [&] { return watchStop_; })) {
    lock.unlock();
    std::vector<TListedPort> now = system_.listingSystem().systemPorts();
    std::vector<TListedPort> came;
    for (const TListedPort& port : now)
      if (!listed(present, port)) came.push_back(port);
    for (auto it = shown.begin(); it != shown.end();) {
      if (listed(now, *it)) {
        ++it;
        continue;
      }
      fireWatched(outPortGone, *it);
      it = shown.erase(it);
    }
    for (TListedPort& port : offered(std::move(came))) {
      fireWatched(outPort, port);
      shown.push_back(std::move(port));
    }
    present = std::move(now);
    lock.lock();
  }
  watchFinished_ = true;
}

// Fires nothing more from here on; the thread is joined by stopWatch.
void TZKComAsync::fireWatched(TEventLink& link, const TListedPort& port) {
  {
    std::lock_guard lock(watchLock_);
    if (watchStop_) return;
  }
  fireEvent(link, portItemText(port.Name, port.Bluetooth));
}

void TZKComAsync::inStopWatch(TData&, uint16_t) {
  {
    std::lock_guard lock(watchLock_);
    watchStop_ = true;
  }
  watchChanged_.notify_all();
}

void TZKComAsync::stopWatch() {
  if (!watch_.joinable()) return;
  TData none;
  inStopWatch(none, 5);
  // The watch may be waiting for this thread (an item added on the UI thread).
  waitUntilDone([this] { return watchFinished_.load(); });
  watch_.join();
}

void TZKComAsync::varPending(TData& d, uint16_t) {
  uint32_t errors = 0;
  uint32_t waiting = 0;
  bool answered = false;
  {
    // Clears a line error, as the reader does at every receive.
    const std::shared_lock use(deviceUse_);
    answered = opened() && device_->clearErrors(errors, waiting);
  }
  // Asked after the driver: bytes the reader took meanwhile were taken with
  // handingOn_ already set.
  makeInteger(d, answered && (waiting > 0 || handingOn_.load()) ? 1 : 0);
}
