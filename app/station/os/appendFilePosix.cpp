#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/station/appendFile.h"

TAppendFile::~TAppendFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool TAppendFile::open(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

bool TAppendFile::append(const std::string& bytes, std::string& error) {
  const int fd = static_cast<int>(handle_);
  // One write with O_APPEND: the line lands whole at the end, even beside
  // another writer. A short write (a full disk) is reported, not continued.
  const ssize_t written = ::write(fd, bytes.data(), bytes.size());
  if (written != static_cast<ssize_t>(bytes.size())) {
    error = written < 0 ? std::strerror(errno) : "the disk took only part of the record";
    return false;
  }
  if (::fsync(fd) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}
