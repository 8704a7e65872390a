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

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "../portNames.h"
#include "../serialDevice.h"

using namespace serial;

namespace {

std::string devicePathOf(const std::string& name) { return "\\\\.\\" + name; }

// The system's own text for an error code, in UTF-8, without the final
// full stop and line break.
std::string systemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring wide(buffer != nullptr ? buffer : L"", length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L'.'))
    wide.pop_back();
  if (wide.empty()) return "system error " + std::to_string(code);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

std::string openErrorText(DWORD code) {
  std::string text = systemErrorText(code);
  // A port another program holds is refused this way too.
  if (code == ERROR_ACCESS_DENIED) text += " (is another program using the port?)";
  return text;
}

// An overlapped transfer that waits for its own completion. False when it
// could not be started; otherwise done is the count transferred (0 when the
// transfer failed after it started).
template <class Start>
bool transfer(HANDLE port, Start start, uint32_t& done) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return false;
  const bool started = start(&overlapped) || GetLastError() == ERROR_IO_PENDING;
  if (started) {
    DWORD count = 0;
    done = GetOverlappedResult(port, &overlapped, &count, TRUE) ? count : 0;
  }
  CloseHandle(overlapped.hEvent);
  return started;
}

class TWin32Waiter final : public TSerialWaiter {
 public:
  TWin32Waiter(HANDLE port, HANDLE wake)
      : port_(port), wake_(wake), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  }
  ~TWin32Waiter() override {
    if (event_ != nullptr) CloseHandle(event_);
  }
  TWin32Waiter(const TWin32Waiter&) = delete;
  TWin32Waiter& operator=(const TWin32Waiter&) = delete;

  TResult wait(uint32_t& mask) override {
    if (event_ == nullptr) return TResult::Failed;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_;
    mask_ = 0;
    // An immediate and a pending completion both signal the event.
    if (!WaitCommEvent(port_, &mask_, &overlapped_) && GetLastError() != ERROR_IO_PENDING) {
      return TResult::Failed;
    }
    HANDLE handles[2] = {event_, wake_};
    const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    DWORD unused = 0;
    if (woken == WAIT_OBJECT_0) {
      if (!GetOverlappedResult(port_, &overlapped_, &unused, FALSE)) return TResult::Failed;
      mask = mask_;
      return TResult::Event;
    }
    // The record and the mask word must stay ours until the wait has ended.
    // The close cleared the mask, which ends a wait started before; one that
    // began after it ends only at the next change of the mask (so it is on
    // Wine), hence the mask is cleared once more from here.
    SetCommMask(port_, 0);
    CancelIo(port_);
    GetOverlappedResult(port_, &overlapped_, &unused, TRUE);
    return TResult::Stopped;
  }

 private:
  HANDLE port_;
  HANDLE wake_;
  HANDLE event_;
  OVERLAPPED overlapped_{};
  DWORD mask_ = 0;
};

class TWin32Device final : public TSerialDevice {
 public:
  ~TWin32Device() override { close(); }

  bool open(const std::string& name, std::string& error) override {
    const HANDLE port =
        CreateFileA(devicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
      error = openErrorText(GetLastError());
      return false;
    }
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
    return SetCommState(port_, &dcb) != FALSE;
  }

  bool setTimeouts(const TSerialTimeouts& t) override {
    writeConstant_ = t.WriteTotalTimeoutConstant;
    writeMultiplier_ = t.WriteTotalTimeoutMultiplier;
    COMMTIMEOUTS timeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                          t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                          t.WriteTotalTimeoutConstant};
    return SetCommTimeouts(port_, &timeouts) != FALSE;
  }

  bool setEventMask(uint32_t mask) override { return SetCommMask(port_, mask) != FALSE; }

  bool purge(uint32_t flags) override { return PurgeComm(port_, flags) != FALSE; }

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
    return transfer(
        port,
        [&](OVERLAPPED* o) {
          return WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, o) !=
                 FALSE;
        },
        written);
  }

  bool read(uint32_t count, std::string& bytes) override {
    const HANDLE port = port_;
    bytes.resize(count);
    uint32_t done = 0;
    const bool started = transfer(
        port,
        [&](OVERLAPPED* o) { return ReadFile(port, bytes.data(), count, nullptr, o) != FALSE; },
        done);
    bytes.resize(started ? done : 0);
    return started;
  }

  void drain(bool unbounded) override {
    DWORD queued = outputQueued();
    // Without configured write time-outs a drain still gives up after a second.
    const DWORD limit = writeConstant_ == 0 && writeMultiplier_ == 0
                            ? 1000
                            : writeConstant_ + writeMultiplier_ * queued;
    const ULONGLONG deadline = GetTickCount64() + limit;
    while (queued > 0 && queued != NoQueue && (unbounded || GetTickCount64() < deadline)) {
      Sleep(1);
      queued = outputQueued();
    }
    // The driver's queue is empty: what its hardware still holds leaves
    // within a few byte times.
    if (queued == 0) FlushFileBuffers(port_);
  }

  void close() override {
    const HANDLE port = port_.exchange(INVALID_HANDLE_VALUE);
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    if (wake_ != nullptr) CloseHandle(wake_);
    wake_ = nullptr;
  }

  std::unique_ptr<TSerialWaiter> makeWaiter() override {
    return std::make_unique<TWin32Waiter>(port_, wake_);
  }

  void wakeReader() override { SetEvent(wake_); }

 private:
  static constexpr DWORD NoQueue = 0xFFFFFFFF;

  DWORD outputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(port_, &errors, &status) ? status.cbOutQue : NoQueue;
  }

  std::atomic<HANDLE> port_{INVALID_HANDLE_VALUE};
  HANDLE wake_ = nullptr;
  DWORD writeConstant_ = 0;
  DWORD writeMultiplier_ = 0;
};

bool portOpensNow(const std::string& name) {
  const HANDLE port = CreateFileA(devicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return false;
  CloseHandle(port);
  return true;
}

class TWin32SerialSystem final : public TSerialSystem {
 public:
  std::unique_ptr<TSerialDevice> createDevice() override {
    return std::make_unique<TWin32Device>();
  }

  int32_t portNumber(const std::string& name) override { return comPortNumber(name); }

  // The values of SERIALCOMM in registry order; the first value that is not
  // a string ends the list.
  std::vector<std::string> listPorts(bool checkPorts) override {
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
      if (!checkPorts || portOpensNow(value)) ports.push_back(std::move(value));
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
