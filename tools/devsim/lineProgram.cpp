// quilmatronx-devsim --line: a line of units on one port, for stations and
// their tests. Its own options are taken out here; the rest are the
// device's options for every unit, and --unit K=OPTIONS adds unit K's own.
#include "tools/devsim/lineProgram.h"

#include <signal.h>

#include <iostream>
#include <sstream>
#include <tuple>

#include "tools/devsim/commandLine.h"
#include "tools/devsim/unitLine.h"

namespace devsim {

namespace {

const char* const lineHelp =
    "Usage: quilmatronx-devsim --line PATH [LINE OPTION]... [OPTION]...\n"
    "Plays a production line on one port: units put on one after another, the\n"
    "next one the swap time after the previous one's outcome. PATH is a link to\n"
    "the port of the unit on now, printed as the first line of standard output;\n"
    "between units nothing answers there (with --usb, PATH is gone). The log\n"
    "says per unit what it received: \"unit K: OUTCOME, N blocks, U uploads\".\n"
    "A fixture's \"unit present\" line goes up with each unit and down as it is\n"
    "taken off; a pty has no modem lines, so only a program that hosts the line\n"
    "sees it.\n"
    "Every other OPTION is the device's, for every unit (see --help).\n"
    "\n"
    "Line options:\n"
    "  --units N             how many units (default 1)\n"
    "  --swap MS             from an outcome to the next unit (default 1000)\n"
    "  --usb                 the port goes with the unit and comes back with the next\n"
    "  --stays K             unit K stays in its bootloader after PUSK (repeatable)\n"
    "  --reboot K=MS         unit K is silent for MS after PUSK, then answers VERS\n"
    "                        again, as a unit that resets into its bootloader\n"
    "  --reboots K=MS        the same after every PUSK\n"
    "  --stay MS             how long such units are left on after their first PUSK\n"
    "                        (default 3000)\n"
    "  --slow K=MS           unit K answers each VERS MS late\n"
    "  --unit K=OPTIONS      unit K's own device options, e.g. --unit 2='--wrong-crc 9'\n"
    "\n"
    "Exit status: 0 when every unit was played, 1 on a bad command line, 7 when\n"
    "stopped before.\n";

std::optional<long> number(const std::string& text, long low, long high) {
  try {
    size_t used = 0;
    const long value = std::stol(text, &used);
    if (used == text.size() && value >= low && value <= high) return value;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> list;
  for (std::string word; stream >> word;) list.push_back(word);
  return list;
}

// Takes the line's own options out of args; false with error set.
bool parseLine(std::vector<std::string> args, LineOptions& line, std::string& error) {
  std::vector<std::string> common;
  std::vector<std::pair<long, std::string>> own;
  // Unit K's reboot (or slowness) in MS, and whether after every PUSK.
  std::vector<std::tuple<long, long, bool>> rebooting;
  std::vector<std::pair<long, long>> slow;
  long units = 1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool valued = arg == "--line" || arg == "--units" || arg == "--swap" ||
                        arg == "--stays" || arg == "--stay" || arg == "--unit" ||
                        arg == "--reboot" || arg == "--reboots" || arg == "--slow";
    const bool perUnit =
        arg == "--unit" || arg == "--reboot" || arg == "--reboots" || arg == "--slow";
    if (!valued) {
      if (arg == "--usb") {
        line.usb = true;
      } else {
        common.push_back(arg);
      }
      continue;
    }
    if (i + 1 == args.size()) {
      error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    std::optional<long> n = arg == "--line" || perUnit ? 0 : number(value, 0, 600000);
    if (arg == "--line") line.linkPath = value;
    if (arg == "--units") units = n && *n >= 1 && *n <= 10000 ? *n : 0;
    if (arg == "--swap" && n) line.swap = std::chrono::milliseconds(*n);
    if (arg == "--stay" && n) line.stay = std::chrono::milliseconds(*n);
    if (arg == "--stays" && n) rebooting.emplace_back(*n, 0, false);
    if (perUnit) {
      const size_t equals = value.find('=');
      n = number(value.substr(0, equals), 1, 10000);
      const std::string text = equals == std::string::npos ? "" : value.substr(equals + 1);
      const std::optional<long> ms = number(text, 0, 600000);
      if (equals == std::string::npos || (arg != "--unit" && !ms)) n.reset();
      if (n && arg == "--unit") own.emplace_back(*n, text);
      if (n && arg == "--slow") slow.emplace_back(*n, *ms);
      if (n && arg != "--unit" && arg != "--slow")
        rebooting.emplace_back(*n, *ms, arg == "--reboots");
    }
    if (!n || units == 0) {
      error = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  if (line.linkPath.empty() || line.linkPath[0] != '/') {
    error = "--line needs a full path";
    return false;
  }
  const auto parsed = parseCommandLine(common, error);
  if (!parsed) return false;
  line.units.assign(static_cast<size_t>(units), LineUnit{parsed->options});
  for (const auto& [k, text] : own) {
    std::vector<std::string> unitArgs = common;
    for (std::string& word : words(text)) unitArgs.push_back(std::move(word));
    const auto unit = parseCommandLine(unitArgs, error);
    if (!unit) return false;
    if (k <= units) line.units[static_cast<size_t>(k - 1)].options = unit->options;
  }
  for (const auto& [k, ms, every] : rebooting) {
    if (k > units) continue;
    LineUnit& unit = line.units[static_cast<size_t>(k - 1)];
    unit.reboot = std::chrono::milliseconds(ms);
    unit.rebootsEvery = every;
  }
  for (const auto& [k, ms] : slow) {
    if (k > units) continue;
    SimulatorOptions& options = line.units[static_cast<size_t>(k - 1)].options;
    options.delay = std::chrono::milliseconds(ms);
    options.delayed = AnswerPick::at(0);
  }
  if (!parsed->quiet)
    line.onLog = [](const std::string& entry) { std::cerr << entry << std::endl; };
  return true;
}

}  // namespace

bool isLineCommand(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--line") return true;
  return false;
}

int runLineProgram(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help") {
      std::cout << lineHelp;
      return 0;
    }
  }
  LineOptions options;
  std::string error;
  if (!parseLine(args, options, error)) {
    std::cerr << "quilmatronx-devsim: " << error << "\nTry --line PATH --help.\n";
    return 1;
  }
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const std::string path = options.linkPath;
  UnitLine line(std::move(options));
  if (!line.start()) {
    std::cerr << "quilmatronx-devsim: " << line.error() << "\n";
    return 1;
  }
  std::cout << path << std::endl;
  const timespec poll{0, 100'000'000};
  while (!line.waitFor(std::chrono::milliseconds(0))) {
    if (sigtimedwait(&signals, nullptr, &poll) > 0) {
      line.stop();
      return static_cast<int>(SessionOutcome::Stopped);
    }
  }
  return 0;
}

}  // namespace devsim
