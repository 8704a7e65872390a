#include <signal.h>
#include <unistd.h>

#include "app/flash/console.h"

namespace {
void (*interruptHandler)() = nullptr;
void onSignal(int) { interruptHandler(); }
}  // namespace

void prepareConsole() {}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void onInterrupt(void (*handler)()) {
  interruptHandler = handler;
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}
