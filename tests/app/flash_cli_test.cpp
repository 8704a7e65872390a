// quilmatronx-flash as a script sees it: exit codes, output and the report,
// against quilmatronx-devsim programs over ptys, several at once.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "elements/hexText.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

struct TRun {
  int exitCode = -1;
  std::string output;
};

// Runs a shell command and collects its standard output and error.
TRun run(const std::string& command) {
  TRun result;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string tempPath(const std::string& name) {
  static int count = 0;
  return testing::TempDir() + "quil-" + std::to_string(::getpid()) + "-" + std::to_string(++count) +
         "-" + name;
}

// A quilmatronx-devsim in the background, its log and what it received in
// files of its own.
class TDevice {
 public:
  explicit TDevice(const std::string& options)
      : received_(tempPath("received.bin")), log_(tempPath("device.log")) {
    pipe_ = popen(
        ("exec " QUIL_DEVSIM " --timeout 10 --received " + received_ + " " + options + " 2>" + log_)
            .c_str(),
        "r");
    char line[256] = {};
    if (pipe_ != nullptr && std::fgets(line, sizeof line, pipe_) != nullptr) port_ = line;
    port_.erase(port_.find_last_not_of('\n') + 1);
  }
  ~TDevice() { finish(); }

  const std::string& port() const { return port_; }
  // Waits for the session to end; the simulator's exit code.
  int finish() {
    if (pipe_ != nullptr) status_ = pclose(std::exchange(pipe_, nullptr));
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  std::string received() {
    finish();
    return fileText(received_);
  }
  std::string log() {
    finish();
    return fileText(log_);
  }

 private:
  std::FILE* pipe_ = nullptr;
  int status_ = -1;
  std::string port_, received_, log_;
};

std::string ports(const std::vector<TDevice*>& devices, const char* separator = " ") {
  std::string list;
  for (const TDevice* device : devices) list += (list.empty() ? "" : separator) + device->port();
  return list;
}

const std::string& image() {
  static const std::string bytes = fileText(QUIL_FIRMWARE_IMAGE);
  return bytes;
}

// The report's entry for a port.
Json entry(const Json& report, const std::string& port) {
  for (const Json& p : report["ports"])
    if (p["port"] == port) return p;
  ADD_FAILURE() << "no report entry for " << port;
  return Json::object();
}

// Bytes of each direction in a trace file, for one port.
std::string tracedBytes(const std::string& trace, const std::string& port, char direction) {
  std::string bytes;
  std::istringstream lines(trace);
  std::string line;
  const std::string tag = "  " + port + "  " + direction + "  ";
  while (std::getline(lines, line)) {
    const size_t at = line.find(tag);
    if (at == std::string::npos) continue;
    std::istringstream hex(line.substr(at + tag.size(), 48));
    std::string digits;
    while (hex >> digits) bytes += static_cast<char>(hexToInt(digits));
  }
  return bytes;
}

TEST(FlashCommandLine, UploadsTheImageTracesEveryByteAndExitsZero) {
  TDevice device("");
  const std::string trace = tempPath("trace.txt");
  const TRun r = run(QUIL_FLASH " --trace " + trace + " " + device.port());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(device.finish(), 0);
  const std::string prefix = device.port() + ": ";
  EXPECT_THAT(r.output, HasSubstr(prefix + "Устройство: QX1   Текущая версия ПО: 1.00"));
  EXPECT_THAT(r.output, HasSubstr(prefix + "ПО успешно обновлено!"));
  EXPECT_THAT(r.output, HasSubstr(prefix + "progress 100% (508/508 blocks)"));
  EXPECT_EQ(device.received().size(), 130048u);
  EXPECT_TRUE(device.received() == image());
  const std::string traced = fileText(trace);
  EXPECT_TRUE(tracedBytes(traced, device.port(), '>') == "VERS" + image() + "PUSK");
  EXPECT_EQ(tracedBytes(traced, device.port(), '<').substr(0, 20), "QUILMATRONX QX1 1.00");
}

TEST(FlashCommandLine, ExitCodesByOutcome) {
  const struct {
    const char* device;
    const char* options;
    int exitCode;
    const char* output;
  } cases[] = {
      {"--wrong-crc 3", "", 1, "Ошибка при передаче данных!"},
      // Before the upload the device outlives the host's close: --timeout.
      {"--identity NOTADEVICE --timeout 1", "", 2, "На этом порту устройств не найдено."},
      {"--no-vers-answer --timeout 4", "", 2, "no answer to VERS within 3 s"},
      {"--timeout 1", "--probe-only", 0, "Устройство: QX1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    TDevice device(c.device);
    const TRun r = run(QUIL_FLASH " " + std::string(c.options) + " " + device.port());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.output));
  }
}

TEST(FlashCommandLine, PortThatCannotBeOpenedSaysWhyInTheSystemsWords) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const std::string pty = ::ptsname(master);
  // Another program holds the port.
  const int holder = ::open(pty.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  struct {
    std::string command;
    std::string reason;
  } cases[] = {
      {QUIL_FLASH " /dev/quilmatronx-missing", "No such file or directory"},
      {QUIL_FLASH " " + pty, "Device or resource busy"},
  };
  for (const auto& c : cases) {
    const TRun r = run(c.command);
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_THAT(r.output, HasSubstr("cannot open port")) << c.command;
    EXPECT_THAT(r.output, HasSubstr(c.reason)) << c.command;
  }
  ::close(holder);
  if (::geteuid() == 0) {
    // A pty belongs to its owner and the tty group: not to nobody.
    const TRun r = run("setpriv --reuid=65534 --regid=65534 --clear-groups " QUIL_FLASH " " + pty);
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_THAT(r.output, HasSubstr("Permission denied"));
    EXPECT_THAT(r.output, HasSubstr("dialout"));
  }
  ::close(master);
}

TEST(FlashCommandLine, Usage) {
  for (const char* args :
       {"", " --bogus COM1", " --probe", " --all COM1", " --list --probe-only", " COM1 COM1"}) {
    EXPECT_EQ(run(QUIL_FLASH + std::string(args)).exitCode, 64) << args;
  }
  const TRun help = run(QUIL_FLASH " --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.output, HasSubstr("Exit codes"));
  EXPECT_THAT(help.output, HasSubstr("--report"));
}

TEST(FlashCommandLine, ListShowsExtraPorts) {
  TDevice device("--timeout 1");
  const TRun r = run("QUILMATRONX_EXTRA_PORTS=" + device.port() + " " QUIL_FLASH " --list");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_THAT(r.output, HasSubstr(device.port() + "\n"));
}

TEST(FlashCommandLine, FourDevicesAtOnceEachGetsItsOwnOutcome) {
  TDevice good1(""), wrong("--wrong-crc 100"), good2(""), vanishing("--vanish 300");
  const std::string report = tempPath("report.json");
  const TRun r =
      run(QUIL_FLASH " --report " + report + " " + ports({&good1, &wrong, &good2, &vanishing}));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(good1.received() == image());
  EXPECT_TRUE(good2.received() == image());
  // Not one byte after the failure.
  EXPECT_EQ(wrong.received().size(), 100u * 256);
  EXPECT_EQ(vanishing.received().size(), 300u * 256);

  const Json json = Json::parse(fileText(report));
  EXPECT_EQ(json["exitStatus"], 1);
  ASSERT_EQ(json["ports"].size(), 4u);
  for (TDevice* good : {&good1, &good2}) {
    EXPECT_EQ(entry(json, good->port())["outcome"], "done");
    EXPECT_EQ(entry(json, good->port())["blocksAcknowledged"], 508);
    EXPECT_THAT(r.output, HasSubstr(good->port() + ": ПО успешно обновлено!"));
  }
  const Json failed = entry(json, wrong.port());
  EXPECT_EQ(failed["outcome"], "failed");
  EXPECT_EQ(failed["failure"], "wrong-answer");
  EXPECT_EQ(failed["failingBlock"], 100);
  EXPECT_EQ(failed["blocksAcknowledged"], 99);
  const Json vanished = entry(json, vanishing.port());
  EXPECT_EQ(vanished["failure"], "vanished");
  EXPECT_EQ(vanished["failingBlock"], 300);
  EXPECT_EQ(vanished["detail"], "the port vanished after block 300");
  // The summary table: one row per port.
  EXPECT_THAT(r.output, HasSubstr("PORT"));
  EXPECT_THAT(r.output, ::testing::ContainsRegex(wrong.port() + " +QX1 1.00 +failed +[0-9.]+ s +" +
                                                 failed["detail"].get<std::string>()));
  EXPECT_THAT(r.output, ::testing::ContainsRegex(vanishing.port() +
                                                 " +QX1 1.00 +failed .*the port vanished"));
}

// Bytes as the simulator's log quotes them: printable as is, others \xHH.
std::string unquoted(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") != 0) {
      bytes += text[i];
      continue;
    }
    bytes += static_cast<char>(hexToInt(text.substr(i + 2, 2)));
    i += 3;
  }
  return bytes;
}

TEST(FlashCommandLine, FailureDetailsAgreeWithTheDevicesOwnLog) {
  using Match = std::smatch;
  const auto answer = [](const Match& m) {
    std::string received;
    for (char c : unquoted(m[3])) received += intToHex(static_cast<unsigned char>(c), 2);
    return "block " + m[1].str() + ": expected " + m[2].str() + ", received " + received;
  };
  const std::string sent =
      R"re(block (\d+): CRC ([0-9A-F]{4}), sent "([^"]*)" \((wrong CRC|bytes swapped))re";
  const struct {
    std::string device;
    std::string logLine;  // what the device logs, with the parts the detail names
    std::function<std::string(const Match&)> detail;
  } cases[] = {
      {"--wrong-crc 5", sent, answer},
      {"--swap-crc 3", sent, answer},
      {"--silent-from 4", R"(block (\d+): CRC [0-9A-F]{4}, not answered)",
       [](const Match& m) { return "no answer for 3 s after block " + m[1].str(); }},
      {"--vanish 6", R"(block (\d+) received: closing the port)",
       [](const Match& m) { return "the port vanished after block " + m[1].str(); }},
      {"--identity 'QUILMATRONXX M1 V2' --timeout 1", R"re(VERS answered: "([^"]*)")re",
       [](const Match& m) { return "refused device line \"" + m[1].str() + "\""; }},
  };
  std::vector<std::unique_ptr<TDevice>> devices;
  std::vector<TDevice*> all;
  for (const auto& c : cases) all.push_back(devices.emplace_back(new TDevice(c.device)).get());
  const std::string report = tempPath("report.json");
  const TRun r = run(QUIL_FLASH " --report " + report + " " + ports(all));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const Json json = Json::parse(fileText(report));
  for (size_t i = 0; i < devices.size(); ++i) {
    SCOPED_TRACE(cases[i].device);
    const std::string log = devices[i]->log();
    Match m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex(cases[i].logLine))) << log;
    const std::string detail = cases[i].detail(m);
    EXPECT_THAT(r.output, HasSubstr(devices[i]->port() + ": " + detail));
    EXPECT_EQ(entry(json, devices[i]->port())["detail"], detail);
  }
}

TEST(FlashCommandLine, AllFlashesEveryPortWhereADeviceAnswers) {
  // The machine's own serial ports are left alone: a private mount
  // namespace hides them, so only the extra ports are listed.
  if (run("unshare --mount true").exitCode != 0) GTEST_SKIP() << "needs unshare --mount";
  TDevice a(""), b(""), c("");
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const std::string empty = ::ptsname(master);
  const auto flash = [&](const std::string& options) {
    return run(
        "unshare --mount sh -c 'mount -t tmpfs none /sys/class/tty && "
        "QUILMATRONX_EXTRA_PORTS=" +
        ports({&a, &b, &c}, ":") + ":" + empty + " " QUIL_FLASH " " + options + "'");
  };
  const TRun listed = flash("--list --probe");
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  for (TDevice* device : {&a, &b, &c}) {
    EXPECT_THAT(listed.output,
                ::testing::ContainsRegex(device->port() + " +QUILMATRONX QX1 1.00\n"));
  }
  EXPECT_THAT(listed.output,
              ::testing::ContainsRegex(empty + " +no device: no answer to VERS within 3 s"));

  const TRun flashed = flash("--all");
  EXPECT_EQ(flashed.exitCode, 0) << flashed.output;
  for (TDevice* device : {&a, &b, &c}) EXPECT_TRUE(device->received() == image());
  EXPECT_THAT(flashed.output, ::testing::ContainsRegex(empty + " +- +no device"));
  ::close(master);
}

TEST(FlashCommandLine, InterruptClosesThePortsAndStillWritesTheReport) {
  TDevice paced("--baud 38462"), failing("--wrong-crc 2");
  const std::string report = tempPath("report.json");
  const TRun r =
      run("bash -c '" QUIL_FLASH " --report " + report + " " + ports({&paced, &failing}) +
          " & flash=$!; sleep 1.5; kill -INT $flash; wait $flash'");
  EXPECT_EQ(r.exitCode, 130) << r.output;
  // The device saw the host close the port mid-upload.
  EXPECT_EQ(paced.finish(), 2);
  const Json json = Json::parse(fileText(report));
  EXPECT_EQ(json["exitStatus"], 130);
  EXPECT_EQ(entry(json, paced.port())["outcome"], "interrupted");
  EXPECT_EQ(entry(json, failing.port())["outcome"], "failed");
  EXPECT_THAT(r.output, Not(HasSubstr(paced.port() + ": ПО успешно")));
}

}  // namespace
