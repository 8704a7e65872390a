// quilmatronx-flash: the command-line uploader for production lines and
// scripts. Same schemas as the window program, console instead of controls.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "app/flash/console.h"
#include "app/flash/flashSchema.h"
#include "app/texts.h"
#include "app/version.h"
#include "runtime/startList.h"

namespace {

enum ExitCode : int {
  Success = 0,
  TransferFailed = 1,
  NoDevice = 2,
  PortUnavailable = 3,
  BadUsage = 64,
  Interrupted = 130,
};

// The probe has no timer of its own; a device that says nothing is absent.
constexpr std::chrono::milliseconds probeTimeout{3000};
// The upload's own watchdog reports silence within seconds; this only bounds
// a wait that something unforeseen would otherwise make endless.
constexpr std::chrono::hours uploadLimit{1};

const char* const usage =
    "Usage: quilmatronx-flash [--probe-only] PORT\n"
    "       quilmatronx-flash --list\n"
    "       quilmatronx-flash --help | --version\n"
    "\n"
    "Writes the embedded firmware image to the device on serial port PORT\n"
    "(COM3 on Windows; ttyUSB0 or a full /dev path on Linux): asks the device\n"
    "for its identity, prints it, sends the image block by block checking\n"
    "each block's CRC, and tells the device to start the new firmware.\n"
    "\n"
    "  --list        print the serial ports that can be opened, one per line\n"
    "  --probe-only  stop after printing the device line\n"
    "  --help        print this text\n"
    "  --version     print the version, the firmware version and the commit\n"
    "\n"
    "Progress goes to standard error: a bar on a terminal, otherwise a line\n"
    "every 5 %.\n"
    "\n"
    "Exit codes:\n"
    "  0    success (or, with --probe-only, a device was found)\n"
    "  1    transfer error or time-out\n"
    "  2    no device on the port (no answer within 3 s, or a wrong one)\n"
    "  3    the port cannot be opened (missing, busy or not permitted)\n"
    "  64   bad usage\n"
    "  130  interrupted (Ctrl-C); the port is closed first\n";

std::atomic<bool> interruptRequested{false};
void requestInterrupt() { interruptRequested.store(true); }
bool interrupted() { return interruptRequested.load(); }

struct TOptions {
  std::string port;
  bool list = false;
  bool probeOnly = false;
  bool help = false;
  bool version = false;
};

bool parse(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--probe-only") {
      options.probeOnly = true;
    } else if (arg.starts_with("-") || !options.port.empty()) {
      return false;
    } else {
      options.port = arg;
    }
  }
  if (options.help || options.version) return true;
  return options.list ? options.port.empty() && !options.probeOnly : !options.port.empty();
}

int flash(TFlashSchema& schema, const TOptions& options) {
  if (options.list) {
    schema.listPorts();
    return Success;
  }
  schema.selectPort(options.port);
  TFlashStage stage = schema.outcome.waitPast(TFlashStage::Probing, probeTimeout, interrupted);
  if (interrupted()) return Interrupted;
  switch (stage) {
    case TFlashStage::PortFailed:
      printText(stderr, "quilmatronx-flash: cannot open port " + options.port +
                            ": it is missing, busy or not permitted\n");
      return PortUnavailable;
    case TFlashStage::Probing:  // no answer in time
      printLine(stdout, texts::noDevice());
      return NoDevice;
    case TFlashStage::Found:
      break;
    default:
      return NoDevice;
  }
  if (options.probeOnly) return Success;

  schema.startUpload();
  stage = schema.outcome.waitPast(TFlashStage::Found, uploadLimit, interrupted);
  schema.progress.finish(stage == TFlashStage::Done);
  if (interrupted()) return Interrupted;
  if (stage == TFlashStage::Done) {
    printLine(stdout, texts::successLine1());
    printLine(stdout, texts::successLine2());
    return Success;
  }
  printLine(stdout, texts::transferError());
  printLine(stdout, texts::checkCables());
  return TransferFailed;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!parse(argc, argv, options)) {
    std::fputs(usage, stderr);
    return BadUsage;
  }
  if (options.help) {
    std::fputs(usage, stdout);
    return Success;
  }
  if (options.version) {
    std::fputs(version::line("quilmatronx-flash").c_str(), stdout);
    return Success;
  }
  prepareConsole();
  onInterrupt(&requestInterrupt);

  // Links stay off while the schema is built, as in the window program.
  auto schema = std::make_unique<TFlashSchema>(isTerminal(stderr));
  enableDispatch();
  runStartProcs();
  const int code = flash(*schema, options);
  schema->closePort();
  disableDispatch();
  schema.reset();
  return code;
}
