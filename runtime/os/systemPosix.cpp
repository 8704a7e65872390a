// Linux: no resource section (resources are linked in and registered), and
// without a window library a message box goes to standard error. Sleep is
// held off through logind's inhibitor where the system has one.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "../codepage.h"
#include "../systemSeams.h"

extern char** environ;

namespace {
void stderrMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "[%s] %s\n", cp1251ToUtf8(caption).c_str(), cp1251ToUtf8(text).c_str());
}

int assumedPixelsPerInch() { return 96; }

// systemd-inhibit holds logind's lock while its command runs: `cat` reading
// our pipe, so the lock goes when the pipe closes, also when this process
// dies without letting go. No systemd-inhibit (no logind): nothing holds
// the machine awake, nothing to hold off.
pid_t inhibitor = -1;
int inhibitorInput = -1;

void startInhibitor() {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const char* const arguments[] = {"systemd-inhibit",
                                   "--what=idle:sleep",
                                   "--who=Quilmatronx",
                                   "--why=Firmware upload",
                                   "--mode=block",
                                   "cat",
                                   nullptr};
  pid_t child = -1;
  if (posix_spawnp(&child, arguments[0], &actions, nullptr, const_cast<char* const*>(arguments),
                   environ) == 0) {
    inhibitor = child;
    inhibitorInput = pipeEnds[1];
  } else {
    close(pipeEnds[1]);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[0]);
}

void stopInhibitor() {
  if (inhibitor < 0) return;
  close(inhibitorInput);
  // It ends as its input closes; one still waiting for the system bus is
  // not waited for long.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (waitpid(inhibitor, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(inhibitor, SIGKILL);
      waitpid(inhibitor, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  inhibitor = -1;
  inhibitorInput = -1;
}

void logindKeepAwake(bool awake) {
  if (awake) {
    startInhibitor();
  } else {
    stopInhibitor();
  }
}
}  // namespace

std::vector<std::string> programArguments(int argc, const char* const* argv) {
  return {argv, argv + argc};
}

TSystemSeams platformSystemSeams() {
  return TSystemSeams{&stderrMessageBox, &assumedPixelsPerInch, &findEmbeddedResource,
                      &logindKeepAwake};
}
