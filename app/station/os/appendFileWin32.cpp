#include <windows.h>

#include <cstdint>

#include "app/station/appendFile.h"
#include "runtime/windowsText.h"

namespace {
// Every station locks this one byte far beyond any log's end: Windows
// locks are mandatory, so a lock on the lines themselves would fail a
// reader (an editor, a copy) while a record is written.
OVERLAPPED lockPlace() {
  OVERLAPPED place{};
  place.Offset = 0xFFFFFFFEu;
  place.OffsetHigh = 0x7FFFFFFFu;
  return place;
}

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED place{};
  place.Offset = static_cast<DWORD>(offset);
  place.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return place;
}

bool cutBackTo(HANDLE file, uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
}
}  // namespace

TAppendFile::~TAppendFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool TAppendFile::open(const std::string& path, std::string& error) {
  // Write access, not append access alone: a write the disk took in part
  // is cut back off. Others may read and append meanwhile.
  HANDLE file = CreateFileW(wideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = systemErrorText(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool TAppendFile::append(const std::string& line, std::string& error) {
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED place = lockPlace();
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &place)) {
    error = "cannot lock the file: " + systemErrorText(GetLastError());
    return false;
  }
  bool kept = false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    error = systemErrorText(GetLastError());
  } else {
    const auto end = static_cast<uint64_t>(size.QuadPart);
    char last = '\n';
    DWORD got = 0;
    OVERLAPPED lastByte = at(end - 1);
    // Whatever an earlier writer left half done stays a line of its own.
    const bool joined =
        end > 0 && ReadFile(file, &last, 1, &got, &lastByte) && got == 1 && last != '\n';
    const std::string text = joined ? "\n" + line : line;
    size_t done = 0;
    DWORD failure = 0;
    while (done < text.size()) {
      DWORD written = 0;
      OVERLAPPED where = at(end + done);
      if (!WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                     &where)) {
        failure = GetLastError();
        break;
      }
      if (written == 0) break;
      done += written;
    }
    if (done < text.size()) {
      error = failure != 0 ? systemErrorText(failure) : "the disk took only part of the record";
      // Never left torn: the part that went in comes out again.
      if (done > 0 && !cutBackTo(file, end))
        error += "; the part written could not be taken back: " + systemErrorText(GetLastError());
    } else if (!FlushFileBuffers(file)) {
      error = systemErrorText(GetLastError());
    } else {
      kept = true;
    }
  }
  OVERLAPPED unlock = lockPlace();
  UnlockFileEx(file, 0, 1, 0, &unlock);
  return kept;
}

std::string hostName() {
  // The DNS host name as the operator gave it: the NetBIOS name is cut to
  // 15 characters, upper case, and in the ANSI code page.
  wchar_t name[256] = {};
  DWORD size = sizeof name / sizeof name[0];
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "unknown";
  return utf8FromWide({name, size});
}
