#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/station/appendFile.h"

namespace {
std::string errnoText() { return std::strerror(errno); }

// Advisory, so readers are never held up; every station takes it.
bool lockFile(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  while (::fcntl(fd, F_SETLKW, &lock) != 0)
    if (errno != EINTR) return false;
  return true;
}
}  // namespace

TAppendFile::~TAppendFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool TAppendFile::open(const std::string& path, std::string& error) {
  // A file-size limit then fails the write (EFBIG) rather than ending the
  // station with units under way.
  ::signal(SIGXFSZ, SIG_IGN);
  // Not O_APPEND: on a network share the client only emulates it, so the
  // end is found under the lock instead; read access tells the last byte.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errnoText();
    return false;
  }
  handle_ = fd;
  return true;
}

bool TAppendFile::append(const std::string& line, std::string& error) {
  const int fd = static_cast<int>(handle_);
  if (!lockFile(fd, F_WRLCK)) {
    error = "cannot lock the file: " + errnoText();
    return false;
  }
  bool kept = false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = errnoText();
  } else {
    const off_t end = info.st_size;
    char last = '\n';
    // Whatever an earlier writer left half done stays a line of its own.
    const bool joined = end > 0 && ::pread(fd, &last, 1, end - 1) == 1 && last != '\n';
    const std::string text = joined ? "\n" + line : line;
    size_t done = 0;
    int failure = 0;
    while (done < text.size()) {
      const ssize_t n =
          ::pwrite(fd, text.data() + done, text.size() - done, end + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure = n < 0 ? errno : 0;
        break;
      }
      done += static_cast<size_t>(n);
    }
    if (done < text.size()) {
      error = failure != 0 ? std::strerror(failure) : "the disk took only part of the record";
      // Never left torn: the part that went in comes out again.
      if (done > 0 && ::ftruncate(fd, end) != 0)
        error += "; the part written could not be taken back: " + errnoText();
    } else if (::fsync(fd) != 0) {
      error = errnoText();
    } else {
      kept = true;
    }
  }
  lockFile(fd, F_UNLCK);
  return kept;
}

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}
