// quilmatronx-flash: the command-line uploader for production lines and
// scripts. Same schemas as the window program, console instead of controls,
// one schema per port, all ports at once.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/flash/flashRun.h"
#include "app/flash/host.h"
#include "app/station/station.h"
#include "app/station/stationHost.h"
#include "app/version.h"
#include "runtime/startList.h"
#include "runtime/systemSeams.h"
#include "serial/portInfo.h"
#include "serial/serialDevice.h"

namespace {

enum ExitCode : int {
  Success = 0,
  TransferFailed = 1,
  NoDevice = 2,
  PortUnavailable = 3,
  OutputLost = 5,
  BadUsage = 64,
  Interrupted = 130,
};

const char* const description =
    "Writes the embedded firmware image to the device on each PORT, all ports\n"
    "at once (COM3 on Windows; ttyUSB0 or a full /dev path on Linux): asks each\n"
    "device for its identity, prints it, sends the image block by block checking\n"
    "each block's CRC, and tells the device to start the new firmware.\n";

const char* const footer =
    "Progress goes to standard error: on a terminal one live line per port (port,\n"
    "device, percentage, blocks, time left), otherwise a line per port at every\n"
    "10 %. Each failure is told on standard error: the block with the check sum\n"
    "expected and the answer received, \"no answer for 3 s after block N\", the\n"
    "port vanished, or the device line that was refused. The end is a table on\n"
    "standard output:\n"
    "\n"
    "  PORT          DEVICE    OUTCOME    TIME    DETAIL\n"
    "  /dev/ttyUSB0  QX1 1.00  done       34.2 s\n"
    "  /dev/ttyUSB1  QX1 1.00  failed     3.5 s   block 100: expected 6A1D, received 6B1C\n"
    "  /dev/ttyUSB2  -         no device  3.0 s   no answer to VERS within 3 s\n"
    "\n"
    "--report FILE holds the same as JSON, one object per port:\n"
    "\n"
    "  {\"exitStatus\": 1, \"ports\": [{\"port\": \"/dev/ttyUSB1\", \"model\": \"QX1\",\n"
    "    \"version\": \"1.00\", \"deviceLine\": \"QUILMATRONX QX1 1.00\", \"outcome\": "
    "\"failed\",\n"
    "    \"failure\": \"wrong-answer\", \"detail\": \"block 100: expected 6A1D, received 6B1C\",\n"
    "    \"blocksAcknowledged\": 99, \"failingBlock\": 100, \"expected\": \"6A1D\",\n"
    "    \"received\": \"6B1C\", \"seconds\": 3.517}, ...]}\n"
    "\n"
    "Exit codes:\n"
    "  0    every port succeeded (with --all or --list --probe: a device was found\n"
    "       and no upload failed)\n"
    "  1    an upload failed, or a named port failed while another had a device\n"
    "  2    no device was found at all (no answer to VERS within 3 s, or a wrong one)\n"
    "  3    no named port could be opened (the reason is printed)\n"
    "  5    as 0, but part of the output was lost (standard output or error was\n"
    "       closed); the uploads went on and the report holds their outcome\n"
    "  64   bad usage\n"
    "  130  interrupted (Ctrl-C, SIGTERM); the report is written first and the ports\n"
    "       are closed within about 2 s; a second Ctrl-C ends at once, as do a\n"
    "       hang-up, a closed console, sign-out and shutdown (the report first)\n"
    "\n"
    "--station flashes unit after unit on each SLOT until Ctrl-C (man quilmatronx-flash);\n"
    "it exits with 0 when no unit failed, 1 when one did, 4 when the log could not be\n"
    "written, 130 after a second Ctrl-C.\n";

std::atomic<int> interruptsRequested{0};
void requestInterrupt(int presses) { interruptsRequested.fetch_add(presses); }
int interrupts() { return interruptsRequested.load(); }

struct TOptions {
  std::vector<std::string> ports;
  bool all = false;
  bool list = false;
  bool probe = false;
  bool probeOnly = false;
  bool byteWrites = false;
  bool version = false;
  bool station = false;
  std::string log;
  std::string removal = "silence";
  std::string report;
  std::string trace;
};

// The exit code when the command line ends the program at once, else -1.
int parse(int argc, const char* const* argv, TOptions& options) {
  CLI::App app(description, "quilmatronx-flash");
  app.add_option("PORT", options.ports, "serial ports to flash, all at once");
  CLI::Option* all =
      app.add_flag("--all", options.all,
                   "probe every serial port (Bluetooth ports aside) and flash each device found");
  CLI::Option* list =
      app.add_flag("--list", options.list,
                   "print the system's serial ports (none is opened), each with what it knows "
                   "of its adapter: description, USB ids, serial=NUMBER, usb=POSITION, Bluetooth");
  app.add_flag("--probe", options.probe,
               "with --list: ask each port's device and print its line, or that none answered")
      ->needs(list);
  app.add_flag("--probe-only", options.probeOnly, "stop after each device's line")->excludes(list);
  app.add_flag("--byte-writes", options.byteWrites,
               "write the image one byte per write, as the first uploaders did, instead of a "
               "block (256 bytes) per write: for a device that needs the gaps between bytes; "
               "through a USB adapter on Windows this is about four times slower")
      ->excludes(list);
  app.add_option("--report", options.report, "write what happened on each port to FILE as JSON")
      ->type_name("FILE")
      ->check(
          [](const std::string& path) {
            // The path is UTF-8, which a plain string is not on Windows.
            const std::u8string_view utf8(reinterpret_cast<const char8_t*>(path.data()),
                                          path.size());
            return std::filesystem::is_directory(std::filesystem::path(utf8))
                       ? path + " is a folder: give the report a file name"
                       : std::string();
          },
          "FILE");
  app.add_option("--trace", options.trace,
                 "record every byte written and read on each port, with the time, in FILE\n"
                 "(compressed when FILE ends in .gz); quilmatronx-devsim --replay plays it back")
      ->type_name("FILE");
  app.add_flag("--version", options.version,
               "print the version, the firmware version and the commit");
  CLI::Option* station = app.add_flag(
      "--station", options.station,
      "run a production station: each PORT (or serial=NUMBER, usb=POSITION: an adapter by "
      "its identity; with --all every port, also those that appear) flashes unit after unit "
      "until Ctrl-C");
  app.add_option("--log", options.log, "with --station: append one JSON line per unit to FILE")
      ->type_name("FILE")
      ->needs(station);
  app.add_option("--removal", options.removal,
                 "with --station: what shows that a flashed unit is off its slot: silence "
                 "(no answer for 2 s, the default; silence=MS for another time), port (its port "
                 "goes with it), line=DSR|CTS|DCD|RI (the fixture's unit-present line drops) "
                 "or key (the operator presses the slot's key: 1 to 9, then a to z)")
      ->type_name("RULE")
      ->needs(station)
      ->check([](const std::string& text) {
        std::string error;
        return TRemovalRule::parse(text, error) ? std::string() : error;
      });
  station->excludes(list)
      ->excludes("--probe-only")
      ->excludes("--byte-writes")
      ->excludes("--report")
      ->excludes("--trace");
  list->excludes(all);
  app.footer(footer);
  try {
    app.parse(argc, argv);
    if (options.version) {
      std::fputs(version::line("quilmatronx-flash").c_str(), stdout);
      return Success;
    }
    if (options.station && options.ports.empty() && !options.all)
      throw CLI::ValidationError(
          "--station needs its slots: give each PORT, or --all for every port");
    if (options.ports.empty() && !options.all && !options.list)
      throw CLI::ValidationError("give a PORT, --all or --list");
    if (!options.ports.empty() && (options.all || options.list))
      throw CLI::ValidationError("--all and --list take no PORT");
    std::set<std::string> seen;
    for (const std::string& port : options.ports) {
      if (!seen.insert(port).second) throw CLI::ValidationError("port " + port + " given twice");
    }
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return Success;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "quilmatronx-flash: %s\nTry --help.\n", error.what());
    return BadUsage;
  }
  return -1;
}

int exitStatus(const std::vector<TPortResult>& results, bool everyPortCounts) {
  if (interrupts() > 0) return Interrupted;
  const auto any = [&](std::initializer_list<TPortOutcome> outcomes) {
    return std::any_of(results.begin(), results.end(), [&](const TPortResult& r) {
      return std::find(outcomes.begin(), outcomes.end(), r.outcome) != outcomes.end();
    });
  };
  const auto every = [&](std::initializer_list<TPortOutcome> outcomes) {
    return std::all_of(results.begin(), results.end(), [&](const TPortResult& r) {
      return std::find(outcomes.begin(), outcomes.end(), r.outcome) != outcomes.end();
    });
  };
  const bool anyDevice = any({TPortOutcome::Done, TPortOutcome::Found, TPortOutcome::Failed});
  if (!everyPortCounts) {
    if (!anyDevice) return NoDevice;
    return any({TPortOutcome::Failed}) ? TransferFailed : Success;
  }
  if (every({TPortOutcome::Done, TPortOutcome::Found})) return Success;
  if (every({TPortOutcome::CannotOpen})) return PortUnavailable;
  return anyDevice ? TransferFailed : NoDevice;
}

// One line per port: its device line, or why there is none.
std::string probeList(const std::vector<TPortResult>& results) {
  size_t width = 0;
  for (const TPortResult& r : results) width = std::max(width, textWidth(r.port));
  std::string list;
  for (const TPortResult& r : results) {
    const std::string line =
        r.outcome == TPortOutcome::Found ? r.deviceLine : "no device: " + r.detail;
    list += padded(r.port, width + 2) + line + "\n";
  }
  return list;
}

// Each port with what the system knows of its adapter.
void printPortList(const std::vector<std::string>& ports, const std::vector<TPortInfo>& infos) {
  size_t width = 0;
  for (const std::string& port : ports) width = std::max(width, textWidth(port));
  for (const std::string& port : ports) {
    const auto info = std::find_if(infos.begin(), infos.end(),
                                   [&](const TPortInfo& i) { return i.Port == port; });
    const std::string identity = info == infos.end() ? std::string() : identityText(*info);
    std::printf("%s\n",
                identity.empty() ? port.c_str() : (padded(port, width + 2) + identity).c_str());
  }
}

int runStation(const TOptions& options) {
  TConsoleBoard board(stdout, stderr, liveConsole(stderr), consoleColumns(stderr));
  std::string error;
  TStationOptions stationOptions{options.ports, options.all, options.log, &board};
  stationOptions.removal = *TRemovalRule::parse(options.removal, error);
  std::optional<TStationKeys> keys;
  if (stationOptions.removal.Kind == TRemovalRule::TKind::Key) {
    keys.emplace();
    stationOptions.keys = [&keys] { return keys->pressed(); };
  }
  TStation station(stationOptions);
  if (!station.checkSlots(error)) {
    std::fprintf(stderr, "quilmatronx-flash: %s; the station does not start\n", error.c_str());
    return BadUsage;
  }
  if (!station.openLog(error)) {
    std::fprintf(stderr, "quilmatronx-flash: %s; the station does not start\n", error.c_str());
    return StationLogFailed;
  }
  enableDispatch();
  runStartProcs();
  const TStationExit code = station.run([] { return interruptsRequested.load(); });
  // The records are synced, or the log has failed and they went to
  // standard error: an end that Windows holds may go on.
  endReached();
  if (!station.logEnded()) {
    // A record's append is stuck in the system (a share whose server has
    // gone): the records went to standard error, and the process ends
    // without waiting for it.
    std::fflush(nullptr);
    restoreConsole();
    std::_Exit(code);
  }
  disableDispatch();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  const TProgramArguments arguments(argc, argv);
  if (const int code = parse(arguments.count(), arguments.values(), options); code >= 0)
    return code;
  prepareConsole();
  struct TConsoleRestore {
    ~TConsoleRestore() { restoreConsole(); }
  } consoleRestore;
  onInterrupt(&requestInterrupt);

  if (options.station) return runStation(options);
  const bool listOnly = options.list && !options.probe;
  std::vector<std::string> ports = options.ports;
  // Listed, not opened: an open raises DTR and RTS, and a Bluetooth port's
  // is a connection attempt of seconds, which --all leaves out.
  if (options.all || options.list) {
    ports.clear();
    for (TListedPort& port : platformSerialSystem().systemPorts())
      if (options.list || !port.Bluetooth) ports.push_back(std::move(port.Name));
  }
  if (listOnly) {
    printPortList(ports, platformPortInfo().ports());
    return Success;
  }
  if (ports.empty()) {
    std::fputs("quilmatronx-flash: no serial port found\n", stderr);
    return NoDevice;
  }
  std::unique_ptr<TTraceFile> trace;
  if (!options.trace.empty()) {
    std::string error;
    trace = TTraceFile::create(options.trace, version::line("quilmatronx-flash"), error);
    if (!trace) {
      std::fprintf(stderr, "quilmatronx-flash: %s\n", error.c_str());
      return BadUsage;
    }
  }

  TConsoleBoard board(stdout, stderr, liveConsole(stderr), consoleColumns(stderr));
  // Links stay off while the schemas are built, as in the window program.
  // The switch is one for the whole process: each port's part ends by
  // closing its port and stopping its watchdog, not by the switch.
  auto run = std::make_unique<TFlashRun>(
      TFlashRunOptions{ports, options.probeOnly || options.list, options.list ? nullptr : &board,
                       trace.get(), nullptr, options.byteWrites});
  enableDispatch();
  runStartProcs();
  setBusy(!options.list && !options.probeOnly);  // firmware is written
  // Serial traffic is no activity to the system: the machine is kept from
  // idle sleep while the ports work.
  const std::vector<TPortResult> results = [&] {
    const TAwakeHold awake;
    return run->run(&interrupts);
  }();

  // The report first: it waits neither for the ports' ends nor, beyond a
  // moment to learn whether output was lost, for the console; and nothing
  // is torn down yet.
  board.flush(std::chrono::milliseconds(200));
  int code = exitStatus(results, !options.all && !options.list);
  if (code == Success && board.outputLost()) code = OutputLost;
  bool reportWritten = true;
  if (!options.report.empty()) {
    std::string error;
    reportWritten = replaceFile(options.report, reportJson(results, code), error);
    if (!reportWritten) {
      board.print(stderr,
                  "quilmatronx-flash: cannot write the report " + options.report + ": " + error);
    }
  }
  setBusy(false);
  const bool closed = run->waitForClose(&interrupts);
  endReached();

  // The live lines stay above the summary.
  board.close();
  const std::string summary = options.list ? probeList(results) : summaryTable(results);
  const bool summaryLost = std::fputs(summary.c_str(), stdout) < 0 || std::fflush(stdout) != 0;
  if (board.outputLost() || summaryLost) {
    std::fputs("quilmatronx-flash: part of the output was lost: its stream was closed\n", stderr);
    if (code == Success) code = OutputLost;
  }
  if (!reportWritten && (code == Success || code == OutputLost)) code = TransferFailed;
  if (!closed) {
    // Ports still closing after an interrupt: the system closes them.
    if (trace) trace->finish();
    std::fflush(nullptr);
    restoreConsole();
    std::_Exit(code);
  }
  run.reset();
  disableDispatch();
  trace.reset();
  return code;
}
