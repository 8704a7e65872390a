// Windows serial backend: an overlapped handle from CreateFileA on "\\.\"
// + name, the comm API for settings and events, and the SERIALCOMM registry
// key for the port list.
//
// The reader waits for WaitCommEvent's completion together with a wake
// event, so a close never depends on how a driver completes a pending wait
// when the mask is cleared. Reads and writes each wait on an event of their
// own, so a write on one thread and a read on the reader thread never share
// a completion.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/windowsText.h"

#include "../portInfo.h"
#include "../portNames.h"
#include "../serialDevice.h"
#include "openRules.h"

using namespace serial;

namespace {

std::string devicePathOf(const std::string& name) { return "\\\\.\\" + name; }

std::string openErrorText(DWORD code) { return openFailureText(code, systemErrorText(code)); }

// Every device of the process shares it: an open may follow another
// device's close of the same port.
TReopenRule& reopenRule() {
  static TReopenRule rule;
  return rule;
}

// A transfer the driver has not completed in time is cancelled; this is how
// long the cancel may take before its record is given up.
constexpr DWORD CancelGraceMs = 500;
// A transfer without a time-out of its own still looks this often whether a
// purge aborted it.
constexpr DWORD AbortCheckMs = 50;

// What the kernel writes into while a transfer or a wait is under way.
struct TIoRecord {
  OVERLAPPED overlapped{};
  DWORD mask = 0;
  std::string buffer;
};

// Cancels the I/O of a record that has not completed and waits a bounded
// time for it to end. False when it never did: the record, its buffer and its
// event then stay allocated for good, as the kernel may still write to them.
bool cancelOrLeak(HANDLE port, std::unique_ptr<TIoRecord>& record) {
  CancelIoEx(port, &record->overlapped);
  if (WaitForSingleObject(record->overlapped.hEvent, CancelGraceMs) == WAIT_OBJECT_0) return true;
  [[maybe_unused]] TIoRecord* leaked = record.release();
  return false;
}

// A wait for the port that ended this way is the port gone; others need a
// look at the port (a line error ends waits with ERROR_OPERATION_ABORTED).
bool portGoneBy(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_INVALID_HANDLE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
      return true;
    default:
      return false;
  }
}

class TWin32Waiter final : public TSerialWaiter {
 public:
  TWin32Waiter(HANDLE port, HANDLE wake)
      : port_(port), wake_(wake), record_(std::make_unique<TIoRecord>()) {
    record_->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  }
  ~TWin32Waiter() override {
    if (record_ && record_->overlapped.hEvent != nullptr) CloseHandle(record_->overlapped.hEvent);
  }
  TWin32Waiter(const TWin32Waiter&) = delete;
  TWin32Waiter& operator=(const TWin32Waiter&) = delete;

  TResult wait(uint32_t& mask) override {
    if (!record_ || record_->overlapped.hEvent == nullptr) return TResult::Failed;
    const HANDLE event = record_->overlapped.hEvent;
    ResetEvent(event);
    record_->overlapped = OVERLAPPED{};
    record_->overlapped.hEvent = event;
    record_->mask = 0;
    // An immediate and a pending completion both signal the event.
    if (!WaitCommEvent(port_, &record_->mask, &record_->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      return failed(GetLastError());
    }
    HANDLE handles[2] = {event, wake_};
    // Bounded by the wake, which every close sets.
    const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    DWORD unused = 0;
    if (woken == WAIT_OBJECT_0) {
      if (!GetOverlappedResult(port_, &record_->overlapped, &unused, FALSE)) {
        return failed(GetLastError());
      }
      mask = record_->mask;
      return TResult::Event;
    }
    // The record and the mask word must stay ours until the wait has ended.
    // The close cleared the mask, which ends a wait started before; one that
    // began after it ends only at the next change of the mask (so it is on
    // Wine), hence the mask is cleared once more from here.
    SetCommMask(port_, 0);
    if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0) cancelOrLeak(port_, record_);
    return TResult::Stopped;
  }

 private:
  static TResult failed(DWORD error) {
    return portGoneBy(error) ? TResult::Failed : TResult::Aborted;
  }

  HANDLE port_;
  HANDLE wake_;
  std::unique_ptr<TIoRecord> record_;
};

class TWin32Device final : public TSerialDevice {
 public:
  ~TWin32Device() override { close(); }

  bool open(const std::string& name, std::string& error) override {
    const auto tryOpen = [&] {
      return CreateFileA(devicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    };
    HANDLE port = tryOpen();
    DWORD failure = port == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (failure == ERROR_ACCESS_DENIED) {
      if (const auto until = reopenRule().retryUntil(name, TReopenRule::Clock::now())) {
        while (failure == ERROR_ACCESS_DENIED && TReopenRule::Clock::now() < *until) {
          Sleep(50);
          port = tryOpen();
          failure = port == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        }
      }
    }
    if (port == INVALID_HANDLE_VALUE) {
      error = openErrorText(failure);
      return false;
    }
    name_ = name;
    const HANDLE wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (wake == nullptr) {
      error = openErrorText(GetLastError());
      CloseHandle(port);
      return false;
    }
    wake_ = wake;
    port_ = port;
    return true;
  }

  bool configure(const TSerialSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    // Fields set below replace the driver's; the rest (EofChar...) stay.
    GetCommState(port_, &dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.BaudRate;
    dcb.ByteSize = s.ByteSize;
    dcb.Parity = s.Parity;
    dcb.StopBits = s.StopBits;
    dcb.XonLim = s.XonLim;
    dcb.XoffLim = s.XoffLim;
    dcb.XonChar = s.XonChar;
    dcb.XoffChar = s.XoffChar;
    dcb.EvtChar = s.EvtChar;
    const auto bit = [&s](uint32_t b) { return (s.Flags & b) != 0; };
    dcb.fBinary = bit(flag::Binary);
    dcb.fParity = bit(flag::Parity);
    dcb.fOutxCtsFlow = bit(flag::OutxCtsFlow);
    dcb.fOutxDsrFlow = bit(flag::OutxDsrFlow);
    dcb.fDtrControl = s.dtrControl() & 3u;
    dcb.fDsrSensitivity = bit(flag::DsrSensitivity);
    dcb.fTXContinueOnXoff = bit(flag::TxContinueOnXoff);
    dcb.fOutX = bit(flag::OutX);
    dcb.fInX = bit(flag::InX);
    dcb.fErrorChar = bit(flag::ErrorChar);
    dcb.fNull = bit(flag::Null);
    dcb.fRtsControl = s.rtsControl() & 3u;
    dcb.fAbortOnError = bit(flag::AbortOnError);
    dcb.fDummy2 = 0;
    if (s.SetErrorChar) dcb.ErrorChar = s.ErrorChar;
    return succeeded(SetCommState(port_, &dcb));
  }

  bool setTimeouts(const TSerialTimeouts& t) override {
    timeouts_ = t;
    COMMTIMEOUTS timeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                          t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                          t.WriteTotalTimeoutConstant};
    return succeeded(SetCommTimeouts(port_, &timeouts));
  }

  bool setEventMask(uint32_t mask) override { return succeeded(SetCommMask(port_, mask)); }

  std::string lastErrorText() const override {
    return lastError_ != 0 ? systemErrorText(lastError_) : std::string();
  }

  bool purge(uint32_t flags) override {
    if ((flags & (PurgeTxAbort | PurgeRxAbort)) != 0) aborts_.fetch_add(1);
    const HANDLE port = port_;
    return pastLineError([&] {
             lastError_ = PurgeComm(port, flags) ? 0 : GetLastError();
             return lastError_ == 0;
           }) == TSerialFailure::None;
  }

  void setupQueues(uint32_t inQueue, uint32_t outQueue) override {
    SetupComm(port_, inQueue, outQueue);
  }

  bool modemStatus(uint32_t& status) override {
    DWORD lines = 0;
    if (!GetCommModemStatus(port_, &lines)) return false;
    status = lines;
    return true;
  }

  bool clearErrors(uint32_t& errors, uint32_t& waiting) override {
    DWORD flags = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &flags, &status)) return false;
    errors = flags;
    waiting = status.cbInQue;
    return true;
  }

  bool write(const std::string& bytes, uint32_t& written) override {
    const HANDLE port = port_;
    const size_t size = bytes.size();
    bool started = false;
    const TSerialFailure failure = pastLineError([&] {
      return transfer(
          port, bytes, writeLimit(size),
          [&](TIoRecord& r) {
            return WriteFile(port, r.buffer.data(), static_cast<DWORD>(size), nullptr,
                             &r.overlapped) != FALSE;
          },
          started, written);
    });
    // A time-out that sent nothing is a failure too.
    writeFailure_ = written == size                   ? TSerialFailure::None
                    : failure == TSerialFailure::None ? TSerialFailure::Other
                                                      : failure;
    return started;
  }

  TSerialFailure lastWriteFailure() const override { return writeFailure_; }

  bool read(uint32_t count, std::string& bytes) override {
    const HANDLE port = port_;
    bool started = false;
    uint32_t done = 0;
    pastLineError([&] {
      return transfer(
          port, std::string(count, '\0'), readLimit(count),
          [&](TIoRecord& r) {
            return ReadFile(port, r.buffer.data(), count, nullptr, &r.overlapped) != FALSE;
          },
          started, done, &bytes);
    });
    bytes.resize(started ? done : 0);
    return started;
  }

  bool drain(bool unbounded) override {
    DWORD queued = outputQueued();
    // Without configured write time-outs a drain still gives up after a second.
    const ULONGLONG deadline = GetTickCount64() + (writeBounded() ? writeTimeout(queued) : 1000);
    while (queued > 0 && queued != NoQueue && (unbounded || GetTickCount64() < deadline)) {
      Sleep(1);
      queued = outputQueued();
    }
    return queued == 0;
  }

  void close() override {
    const HANDLE port = port_.exchange(INVALID_HANDLE_VALUE);
    if (port != INVALID_HANDLE_VALUE) {
      CloseHandle(port);
      reopenRule().closed(name_, TReopenRule::Clock::now());
    }
    if (wake_ != nullptr) CloseHandle(wake_);
    wake_ = nullptr;
    const std::lock_guard guard(spareLock_);
    if (spare_) CloseHandle(spare_->overlapped.hEvent);
    spare_.reset();
  }

  std::unique_ptr<TSerialWaiter> makeWaiter() override {
    return std::make_unique<TWin32Waiter>(port_, wake_);
  }

  void wakeReader() override { SetEvent(wake_); }
  void rearmReader() override { ResetEvent(wake_); }

 private:
  static constexpr DWORD NoQueue = 0xFFFFFFFF;

  // Keeps this thread's error of a call that failed.
  static bool succeeded(BOOL result) {
    lastError_ = result ? 0 : GetLastError();
    return result != FALSE;
  }

  DWORD outputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(port_, &errors, &status) ? status.cbOutQue : NoQueue;
  }

  // With AbortOnError a line error fails every call with
  // ERROR_OPERATION_ABORTED until ClearCommError takes it (the reader may
  // have taken it meanwhile); an abort during a purge was the purge's.
  template <class Call>
  TSerialFailure pastLineError(Call call) {
    const uint64_t aborts = aborts_.load();
    return runPastLineError(
        call, [&] { return lastError_ == ERROR_OPERATION_ABORTED && aborts_.load() == aborts; },
        [&] {
          DWORD errors = 0;
          COMSTAT status{};
          return ClearCommError(port_, &errors, &status) != FALSE;
        });
  }

  bool writeBounded() const {
    return timeouts_.WriteTotalTimeoutConstant != 0 || timeouts_.WriteTotalTimeoutMultiplier != 0;
  }
  DWORD writeTimeout(size_t bytes) const {
    return timeouts_.WriteTotalTimeoutConstant +
           timeouts_.WriteTotalTimeoutMultiplier * static_cast<DWORD>(bytes);
  }
  // The driver's own time-out for a transfer and a second more, at most the
  // write limit (a block's 256 bytes would be given 26.6 s); INFINITE when
  // neither is set, and then only a purge ends the transfer.
  DWORD writeLimit(size_t bytes) const {
    const DWORD limit = timeouts_.WriteTotalTimeoutLimit;
    if (!writeBounded()) return limit != 0 ? limit : INFINITE;
    return limit != 0 ? std::min(writeTimeout(bytes) + 1000, limit) : writeTimeout(bytes) + 1000;
  }
  DWORD readLimit(uint32_t bytes) const {
    const TSerialTimeouts& t = timeouts_;
    // Return at once with what is there.
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutConstant == 0 &&
        t.ReadTotalTimeoutMultiplier == 0) {
      return 1000;
    }
    if (t.ReadTotalTimeoutConstant == 0 && t.ReadTotalTimeoutMultiplier == 0) return INFINITE;
    return t.ReadTotalTimeoutConstant + t.ReadTotalTimeoutMultiplier * bytes + 1000;
  }

  // One overlapped transfer of a record of its own holding the bytes, waited
  // for at most limit ms or until a purge aborts it, then cancelled. True when
  // it completed; lastError_ says why not. received, when given, takes the
  // buffer afterwards.
  template <class Start>
  bool transfer(HANDLE port, std::string buffer, DWORD limit, Start start, bool& started,
                uint32_t& done, std::string* received = nullptr) {
    done = 0;
    std::unique_ptr<TIoRecord> record = takeRecord();
    if (!record) {
      started = false;
      lastError_ = GetLastError();
      return false;
    }
    const HANDLE event = record->overlapped.hEvent;
    record->overlapped = OVERLAPPED{};
    record->overlapped.hEvent = event;
    record->buffer = std::move(buffer);
    const uint64_t aborts = aborts_.load();
    const bool atOnce = start(*record);
    started = atOnce || GetLastError() == ERROR_IO_PENDING;
    if (!started) {
      lastError_ = GetLastError();
      giveBack(std::move(record));
      return false;
    }
    // Most transfers complete at once: they are not waited for.
    DWORD waited = WAIT_OBJECT_0;
    const ULONGLONG deadline = limit == INFINITE ? ~0ull : GetTickCount64() + limit;
    while (!atOnce && (waited = WaitForSingleObject(event, AbortCheckMs)) == WAIT_TIMEOUT &&
           aborts_.load() == aborts && GetTickCount64() < deadline) {
    }
    const bool cancelled = waited != WAIT_OBJECT_0;
    if (cancelled && !cancelOrLeak(port, record)) {
      lastError_ = ERROR_OPERATION_ABORTED;
      return false;
    }
    DWORD count = 0;
    const bool completed = GetOverlappedResult(port, &record->overlapped, &count, FALSE) != FALSE;
    // Cancelled at its limit, not failed by a line error: it is not run
    // again, and what went out before the cancel counts.
    lastError_ = completed                               ? 0
                 : cancelled && aborts_.load() == aborts ? ERROR_TIMEOUT
                                                         : GetLastError();
    if (completed || cancelled) done = count;
    if (received != nullptr) *received = std::move(record->buffer);
    giveBack(std::move(record));
    return completed;
  }

  // Every image byte is a transfer of its own: a record and its event serve
  // the next transfer too, as creating and closing an event per byte are
  // two more trips to the system (to Wine's server, which all ports share,
  // a slow trip each when the machine is busy).
  std::unique_ptr<TIoRecord> takeRecord() {
    {
      const std::lock_guard guard(spareLock_);
      if (spare_) return std::move(spare_);
    }
    auto record = std::make_unique<TIoRecord>();
    record->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return record->overlapped.hEvent != nullptr ? std::move(record) : nullptr;
  }
  void giveBack(std::unique_ptr<TIoRecord> record) {
    const std::lock_guard guard(spareLock_);
    if (spare_)
      CloseHandle(record->overlapped.hEvent);
    else
      spare_ = std::move(record);
  }

  std::atomic<HANDLE> port_{INVALID_HANDLE_VALUE};
  std::string name_;  // of the open port
  HANDLE wake_ = nullptr;
  TSerialTimeouts timeouts_;
  std::atomic<uint64_t> aborts_{0};
  std::mutex spareLock_;
  std::unique_ptr<TIoRecord> spare_;  // a completed transfer's, for the next
  std::atomic<TSerialFailure> writeFailure_{TSerialFailure::None};
  // The error of this thread's last call.
  static thread_local DWORD lastError_;
};

thread_local DWORD TWin32Device::lastError_ = 0;

class TWin32SerialSystem final : public TSerialSystem {
 public:
  std::unique_ptr<TSerialDevice> createDevice() override {
    return std::make_unique<TWin32Device>();
  }

  int32_t portNumber(const std::string& name) override { return comPortNumber(name); }

  bool portOpens(const std::string& name) override {
    const HANDLE port = CreateFileA(devicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    CloseHandle(port);
    return true;
  }

  // The values of SERIALCOMM in registry order; the first value that is not
  // a string ends the list. Bluetooth ports are known by their device node.
  std::vector<TListedPort> systemPorts() override {
    std::vector<TListedPort> ports;
    for (std::string& name : registryPorts()) ports.push_back({std::move(name), false});
    if (ports.empty()) return ports;
    for (const TPortInfo& info : platformPortInfo().ports()) {
      if (!info.Bluetooth) continue;
      for (TListedPort& port : ports)
        if (port.Name == info.Port) port.Bluetooth = true;
    }
    return ports;
  }

 private:
  static std::vector<std::string> registryPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return ports;
    }
    DWORD valueCount = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                         &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      valueCount = 0;
    }
    for (DWORD index = 0; index < valueCount; ++index) {
      std::string valueName(longestName + 1, '\0');
      DWORD nameLength = longestName + 1;
      RegEnumValueA(key, index, valueName.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
      valueName.resize(std::strlen(valueName.c_str()));
      DWORD type = 0;
      DWORD size = 0;
      if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size) !=
              ERROR_SUCCESS ||
          type != REG_SZ) {
        break;
      }
      std::string value(size + 1, '\0');
      if (RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) {
        continue;
      }
      value.resize(std::strlen(value.c_str()));
      ports.push_back(std::move(value));
    }
    RegCloseKey(key);
    return ports;
  }
};

}  // namespace

TSerialSystem& platformSerialSystem() {
  static TWin32SerialSystem system;
  return system;
}
