#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/flash/host.h"
#include "serial/portNames.h"

namespace {
void (*interruptHandler)(int) = nullptr;
// A hang-up leaves no terminal to wait on: the end comes at once.
void onSignal(int signal) { interruptHandler(signal == SIGHUP ? 2 : 1); }

std::string errnoText() { return std::generic_category().message(errno); }

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The rename is only on the disk once the folder is.
bool syncFolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // Some file systems cannot sync a folder (EINVAL): nothing more to do there.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}
}  // namespace

void prepareConsole() { ::signal(SIGPIPE, SIG_IGN); }

void restoreConsole() {}

bool liveConsole(std::FILE* stream) {
  const char* term = std::getenv("TERM");
  return isatty(fileno(stream)) != 0 && term != nullptr && *term != '\0' &&
         std::strcmp(term, "dumb") != 0;
}

int consoleColumns(std::FILE* stream) {
  winsize size{};
  if (::ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void onInterrupt(void (*handler)(int)) {
  interruptHandler = handler;
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void endReached() {}

void setBusy(bool) {}

bool portPresent(const std::string& port) { return ::access(devicePath(port).c_str(), F_OK) == 0; }

bool replaceFile(const std::string& path, const std::string& bytes, std::string& error) {
  // A name no other run uses: two runs given one report never share it.
  static std::atomic<unsigned> count{0};
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(count++);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = errnoText();
    return false;
  }
  const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
  if (!written) error = errnoText();
  ::close(fd);
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) {
    if (syncFolderOf(path)) return true;
    error = errnoText();
    return false;
  }
  if (written) error = errnoText();
  ::unlink(temporary.c_str());
  return false;
}
