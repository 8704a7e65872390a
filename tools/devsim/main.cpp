// quilmatronx-devsim: the simulated bootloader as a program, for people and
// demos. See --help.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/version.h"
#include "tools/devsim/commandLine.h"
#include "tools/devsim/deviceSimulator.h"
#include "tools/devsim/lineProgram.h"

using namespace devsim;

namespace {

constexpr int kStartFailed = 1;

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (isLineCommand(args)) return runLineProgram(args);
  std::string error;
  const auto line = parseCommandLine(args, error);
  if (!line) {
    std::cerr << "quilmatronx-devsim: " << error << "\nTry --help.\n";
    return kStartFailed;
  }
  if (line->help) {
    std::cout << helpText();
    return 0;
  }
  if (line->version) {
    std::cout << version::line("quilmatronx-devsim");
    return 0;
  }

  // Opened now so that a bad path shows before the session, not after it.
  std::ofstream receivedFile;
  if (!line->receivedFile.empty()) {
    receivedFile.open(line->receivedFile, std::ios::binary | std::ios::trunc);
    if (!receivedFile) {
      std::cerr << "quilmatronx-devsim: cannot write " << line->receivedFile << "\n";
      return kStartFailed;
    }
  }

  // Signals are taken here, by this thread, so that an interrupted session
  // still ends cleanly and writes what it received. Blocked before the
  // session thread starts, so it inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  SimulatorOptions options = line->options;
  if (!line->quiet) {
    options.onLog = [](const std::string& entry) { std::cerr << entry << std::endl; };
  }
  DeviceSimulator simulator(std::move(options));
  if (!simulator.start()) {
    std::cerr << "quilmatronx-devsim: " << simulator.error() << "\n";
    return kStartFailed;
  }
  std::cout << simulator.portPath() << std::endl;

  const timespec poll{0, 100'000'000};
  while (!simulator.waitFor(std::chrono::milliseconds(0))) {
    if (sigtimedwait(&signals, nullptr, &poll) > 0) simulator.stop();
  }

  // Told also with --quiet: it is the replay's result.
  if (const std::string difference = simulator.difference(); !difference.empty())
    std::cerr << "quilmatronx-devsim: replay: " << difference << "\n";

  if (receivedFile.is_open()) {
    const std::string received = simulator.received();
    receivedFile.write(received.data(), static_cast<std::streamsize>(received.size()));
    receivedFile.close();
    if (!receivedFile) {
      std::cerr << "quilmatronx-devsim: cannot write " << line->receivedFile << "\n";
    }
  }
  return static_cast<int>(simulator.outcome());
}
