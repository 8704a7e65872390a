#include "tools/devsim/commandLine.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <functional>

#include "tools/devsim/deviceProtocol.h"

namespace devsim {

namespace {

template <typename Number>
std::optional<Number> parseNumber(std::string_view text, Number min, Number max) {
  Number value{};
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || text.empty() || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<AnswerPick> parsePick(std::string_view text, int first, int last) {
  if (text == "all") return AnswerPick::all();
  if (const auto n = parseNumber(text, first, last)) return AnswerPick::at(*n);
  return std::nullopt;
}

using Setter = std::function<bool(CommandLine&, std::string_view)>;

struct OptionEntry {
  const char* name;
  const char* argument;  // nullptr: a flag
  const char* help;
  Setter set;
};

Setter text(std::string SimulatorOptions::*field) {
  return [field](CommandLine& line, std::string_view value) {
    line.options.*field = value;
    return true;
  };
}

Setter escapedText(std::function<void(CommandLine&, std::string)> store) {
  return [store](CommandLine& line, std::string_view value) {
    auto decoded = decodeEscapes(value);
    if (decoded) store(line, std::move(*decoded));
    return decoded.has_value();
  };
}

Setter milliseconds(std::chrono::milliseconds SimulatorOptions::*field) {
  return [field](CommandLine& line, std::string_view value) {
    const auto ms = parseNumber<long>(value, 0, 600000);
    if (ms) line.options.*field = std::chrono::milliseconds(*ms);
    return ms.has_value();
  };
}

Setter block(int SimulatorOptions::*field, int first, int last) {
  return [field, first, last](CommandLine& line, std::string_view value) {
    const auto n = parseNumber(value, first, last);
    if (n) line.options.*field = *n;
    return n.has_value();
  };
}

Setter pick(AnswerPick SimulatorOptions::*field, int first) {
  return [field, first](CommandLine& line, std::string_view value) {
    const auto answers = parsePick(value, first, kBlockCount);
    if (answers) line.options.*field = *answers;
    return answers.has_value();
  };
}

const std::vector<OptionEntry>& generalOptions() {
  static const std::vector<OptionEntry> entries = {
      {"--attach", "TTY", "use this tty instead of creating a pty pair",
       text(&SimulatorOptions::attachPath)},
      {"--model", "WORD", "model word of the identity answer (default QX1)",
       text(&SimulatorOptions::model)},
      {"--firmware", "WORD", "version word of the identity answer (default 1.00)",
       text(&SimulatorOptions::firmware)},
      {"--identity", "TEXT",
       "answer VERS with TEXT instead of the three words (to try\n"
       "lower case, CR LF, fewer or more words, a wrong name)",
       escapedText(
           [](CommandLine& line, std::string value) { line.options.identity = std::move(value); })},
      {"--received", "FILE", "write the image bytes received to FILE at the end",
       [](CommandLine& line, std::string_view value) {
         line.receivedFile = value;
         return !value.empty();
       }},
      {"--timeout", "SECONDS", "end after SECONDS without a byte from the host\n(default 30)",
       [](CommandLine& line, std::string_view value) {
         const auto seconds = parseNumber<double>(value, 0.001, 86400.0);
         if (seconds) {
           line.options.inactivityTimeout =
               std::chrono::milliseconds(static_cast<long>(*seconds * 1000));
         }
         return seconds.has_value();
       }},
      {"--baud", "RATE",
       "pace the line at RATE baud, 10 bits a byte, so that time\n"
       "on the line is real (default: unpaced)",
       [](CommandLine& line, std::string_view value) {
         const auto baud = parseNumber<unsigned>(value, 50, 4000000);
         if (baud) line.options.baud = *baud;
         return baud.has_value();
       }},
      {"--delay", "MS", "a slow device: hold answers back by MS milliseconds",
       milliseconds(&SimulatorOptions::delay)},
      {"--delay-at", "N|all", "only answer N is slow (default all)",
       pick(&SimulatorOptions::delayed, 0)},
      {"--gap", "MS",
       "pause between the writes of a split answer, and before\n"
       "stray bytes (default 100)",
       milliseconds(&SimulatorOptions::gap)},
      {"--quiet", nullptr, "no log on standard error",
       [](CommandLine& line, std::string_view) {
         line.quiet = true;
         return true;
       }},
      {"--help", nullptr, "show this text and exit",
       [](CommandLine& line, std::string_view) {
         line.help = true;
         return true;
       }},
      {"--version", nullptr, "show the version and exit",
       [](CommandLine& line, std::string_view) {
         line.version = true;
         return true;
       }},
  };
  return entries;
}

const std::vector<OptionEntry>& faultOptions() {
  static const std::vector<OptionEntry> entries = {
      {"--no-vers-answer", nullptr, "never answer VERS",
       [](CommandLine& line, std::string_view) {
         line.options.answerVers = false;
         return true;
       }},
      {"--wrong-crc", "N|all", "answer block N with a wrong CRC",
       pick(&SimulatorOptions::wrongCrc, 1)},
      {"--swap-crc", "N|all", "send the CRC of block N low byte first",
       pick(&SimulatorOptions::swapCrc, 1)},
      {"--silent-from", "N", "answer nothing from block N on",
       block(&SimulatorOptions::silentFrom, 1, kBlockCount)},
      {"--split", "N|all", "write answer N in two writes, --gap apart",
       pick(&SimulatorOptions::split, 0)},
      {"--early-final", "N",
       "answer block N (1..507) as the last: CRC and \"FZ\";\n"
       "then expect PUSK",
       block(&SimulatorOptions::earlyFinal, 1, kBlockCount - 1)},
      {"--plain-final", nullptr, "answer the last block with the CRC alone, without \"FZ\"",
       [](CommandLine& line, std::string_view) {
         line.options.plainFinal = true;
         return true;
       }},
      {"--stray", "TEXT",
       "write TEXT as a write of its own, --gap after the answer\n"
       "to VERS",
       escapedText(
           [](CommandLine& line, std::string value) { line.options.stray = std::move(value); })},
      {"--garbage", "N|all", "send five garbage bytes instead of answer N",
       pick(&SimulatorOptions::garbage, 0)},
      {"--vanish", "N", "close the port instead of giving answer N",
       block(&SimulatorOptions::vanishAt, 0, kBlockCount)},
  };
  return entries;
}

const std::vector<OptionEntry>& adapterOptions() {
  static const std::vector<OptionEntry> entries = {
      {"--adapter", "latency|polled",
       "hand the answers over as a USB-serial adapter would:\n"
       "latency: a chip that sends what it holds when its\n"
       "latency timer expires (restarted at every send) or\n"
       "when its 62-byte packet is full; polled: whatever came\n"
       "since the host's last poll. Unpaced, the pieces follow\n"
       "1 ms apart instead of at the timer",
       [](CommandLine& line, std::string_view value) {
         auto& adapter = line.options.adapter;
         if (value == "latency") {
           adapter.kind = AdapterOptions::Kind::LatencyTimer;
           adapter.period = std::chrono::milliseconds(16);
           adapter.packet = 62;
         } else if (value == "polled") {
           adapter.kind = AdapterOptions::Kind::Polled;
           adapter.period = std::chrono::milliseconds(1);
           adapter.packet = 0;
         }
         return adapter.kind != AdapterOptions::Kind::None;
       }},
      {"--adapter-period", "MS",
       "the latency timer or the poll interval, after --adapter\n"
       "(default 16 and 1)",
       [](CommandLine& line, std::string_view value) {
         const auto ms = parseNumber<long>(value, 1, 255);
         if (ms) line.options.adapter.period = std::chrono::milliseconds(*ms);
         return ms.has_value();
       }},
      {"--adapter-seed", "N",
       "seed for where the adapter's timer falls against the\n"
       "answers, so a run is repeatable (default 1)",
       [](CommandLine& line, std::string_view value) {
         const auto seed = parseNumber<uint32_t>(value, 0, UINT32_MAX);
         if (seed) line.options.adapter.seed = *seed;
         return seed.has_value();
       }},
      {"--stall-after", "N",
       "stop taking bytes from the host once N bytes have come\n"
       "(a transmit stalled; created ptys only)",
       [](CommandLine& line, std::string_view value) {
         const auto n = parseNumber<long>(value, 0, 1L << 30);
         if (n) line.options.stallAfter = *n;
         return n.has_value();
       }},
  };
  return entries;
}

const std::vector<OptionEntry>& replayOptions() {
  static const std::vector<OptionEntry> entries = {
      {"--replay", "TRACE",
       "play the device's side of TRACE (written by --trace of\n"
       "quilmatronx-flash or quilmatronx-bootloader; .gz too):\n"
       "wait for the host bytes it shows before each read,\n"
       "compare them, then hand the read over as recorded,\n"
       "session by session (each open of the port); a lost\n"
       "port vanishes; stop at the first difference (exit\n"
       "status 9), and a trace cut short at its last byte. The fault\n"
       "modes, pacing and adapters do not apply",
       text(&SimulatorOptions::replayPath)},
      {"--replay-port", "PORT", "the port of TRACE to replay when it has several",
       text(&SimulatorOptions::replayPort)},
  };
  return entries;
}

const OptionEntry* findOption(std::string_view name) {
  for (const auto* entries :
       {&generalOptions(), &faultOptions(), &adapterOptions(), &replayOptions()}) {
    for (const auto& entry : *entries) {
      if (name == entry.name) return &entry;
    }
  }
  return nullptr;
}

void appendOption(std::string& help, const OptionEntry& entry) {
  std::string head = std::string("  ") + entry.name;
  if (entry.argument) head += std::string(" ") + entry.argument;
  head.resize(std::max<size_t>(head.size() + 2, 24), ' ');
  std::string_view rest = entry.help;
  for (;;) {
    const size_t end = rest.find('\n');
    help += head + std::string(rest.substr(0, end)) + "\n";
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
    head.assign(24, ' ');
  }
}

}  // namespace

std::optional<std::string> decodeEscapes(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case 'r':
        bytes += '\r';
        break;
      case 'n':
        bytes += '\n';
        break;
      case 't':
        bytes += '\t';
        break;
      case '\\':
        bytes += '\\';
        break;
      case 'x': {
        unsigned value = 0;
        const char* first = text.data() + i + 1;
        const char* last = text.data() + std::min(text.size(), i + 3);
        const auto [end, status] = std::from_chars(first, last, value, 16);
        if (status != std::errc() || end != last || last - first != 2) return std::nullopt;
        bytes += static_cast<char>(value);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return bytes;
}

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "-h") arg = "--help";
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const OptionEntry* entry = findOption(name);
    if (!entry) {
      error = "unknown option " + std::string(arg);
      return std::nullopt;
    }
    std::string_view value;
    if (equals != std::string_view::npos) {
      if (!entry->argument) {
        error = std::string(name) + " takes no value";
        return std::nullopt;
      }
      value = arg.substr(equals + 1);
    } else if (entry->argument) {
      if (i + 1 == args.size()) {
        error = std::string(name) + " needs " + entry->argument;
        return std::nullopt;
      }
      value = args[++i];
    }
    if (!entry->set(line, value)) {
      error = "bad value for " + std::string(name) + ": " + std::string(value);
      return std::nullopt;
    }
  }
  return line;
}

std::string helpText() {
  std::string help =
      "Usage: quilmatronx-devsim [OPTION]...\n"
      "Simulates the Quilmatronx bootloader at the device end of a serial line.\n"
      "Creates a pty pair and prints the path of the port to open as the first\n"
      "line of standard output; the log goes to standard error.\n"
      "\n"
      "The device answers \"VERS\" with \"QUILMATRONX <model> <version>\", then\n"
      "answers each of 508 blocks of 256 bytes with the CRC-16/MODBUS of all the\n"
      "bytes received so far, high byte first, the last one followed by \"FZ\",\n"
      "and expects \"PUSK\". Before the upload begins, the host may close and\n"
      "reopen the port and probe again; once it has begun, closing the port ends\n"
      "the session.\n"
      "\n"
      "With --line PATH, plays a line of units one after another on PATH\n"
      "(--line PATH --help tells more).\n"
      "\n"
      "Options:\n";
  for (const auto& entry : generalOptions()) appendOption(help, entry);
  help +=
      "\n"
      "Fault modes. N numbers the answers: 0 is the answer to VERS, 1..508 the\n"
      "answer to block N; \"all\" picks every answer.\n";
  for (const auto& entry : faultOptions()) appendOption(help, entry);
  help += "\nAdapters between the device and the host:\n";
  for (const auto& entry : adapterOptions()) appendOption(help, entry);
  help += "\nReplaying a recorded trace:\n";
  for (const auto& entry : replayOptions()) appendOption(help, entry);
  help +=
      "\n"
      "TEXT may hold \\r, \\n, \\t, \\\\ and \\xHH.\n"
      "\n"
      "Exit status:\n";
  for (const auto outcome :
       {SessionOutcome::Complete, SessionOutcome::HostClosed, SessionOutcome::TimedOut,
        SessionOutcome::NotPusk, SessionOutcome::IncompleteUpload, SessionOutcome::Vanished,
        SessionOutcome::Stopped, SessionOutcome::CompleteAfterWrongAnswer,
        SessionOutcome::ReplayDiffers}) {
    help += "  " + std::to_string(static_cast<int>(outcome)) + "  " + describe(outcome) + "\n";
    if (outcome == SessionOutcome::Complete) {
      help += "  1  bad command line, or the port could not be set up\n";
    }
  }
  return help;
}

}  // namespace devsim
