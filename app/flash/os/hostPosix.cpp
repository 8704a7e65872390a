#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "app/flash/host.h"
#include "serial/portNames.h"

namespace {
void (*interruptHandler)() = nullptr;
void onSignal(int) { interruptHandler(); }

std::string errnoText() { return std::generic_category().message(errno); }
}  // namespace

void prepareConsole() {}

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

void onInterrupt(void (*handler)()) {
  interruptHandler = handler;
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool portPresent(const std::string& port) { return ::access(devicePath(port).c_str(), F_OK) == 0; }

bool replaceFile(const std::string& path, const std::string& bytes, std::string& error) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errnoText();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool written = done == bytes.size() && ::fsync(fd) == 0;
  if (!written) error = errnoText();
  ::close(fd);
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (written) error = errnoText();
  ::unlink(temporary.c_str());
  return false;
}
