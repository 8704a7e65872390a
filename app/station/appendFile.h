// What the audit log needs of the host: a file that only grows, each
// append on the disk before it returns, and the machine's name. One file
// per platform (app/station/os/appendFile*).
#pragma once

#include <cstdint>
#include <string>

// Where the records go: each line lands whole, after a line end, and is on
// the disk before append() returns, or it is not there at all.
class TRecordSink {
 public:
  virtual ~TRecordSink() = default;
  // False with error set.
  virtual bool append(const std::string& line, std::string& error) = 0;
};

// A file that only grows, shared with other writers (another station on a
// network share): each append holds a lock on the file (fcntl, LockFileEx)
// while it makes sure the file ends in a line end, writes at the end and
// syncs; a write the disk takes only in part (a full disk, a quota, a
// file-size limit) is cut back off.
class TAppendFile : public TRecordSink {
 public:
  TAppendFile() = default;
  ~TAppendFile() override;
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;

  // Opens path (UTF-8) for appending, creating it if need be. False with
  // error set.
  bool open(const std::string& path, std::string& error);
  bool append(const std::string& line, std::string& error) override;

 private:
  intptr_t handle_ = -1;
};

// The machine's name, for the records.
std::string hostName();
