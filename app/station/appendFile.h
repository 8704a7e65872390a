// What the audit log needs of the host: a file that only grows, each
// append on the disk before it returns, and the machine's name. One file
// per platform (app/station/os/appendFile*).
#pragma once

#include <cstdint>
#include <string>

// A file that only grows.
class TAppendFile {
 public:
  TAppendFile() = default;
  ~TAppendFile();
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;

  // Opens path for appending, creating it if need be. False with error set.
  bool open(const std::string& path, std::string& error);
  // Writes bytes at the end in one write and waits until they are on the
  // disk. False with error set.
  bool append(const std::string& bytes, std::string& error);

 private:
  intptr_t handle_ = -1;
};

// The machine's name, for the records.
std::string hostName();
