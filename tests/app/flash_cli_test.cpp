// quilmatronx-flash as a script sees it: exit codes, output and the report,
// against simulated devices over ptys, several at once.
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
#include "serial/trace/traceFormat.h"
#include "support/firmwareImage.h"
#include "support/lineEnd.h"
#include "support/runCommand.h"
#include "support/simulatedDevice.h"

namespace {

using devsim::AnswerPick;
using devsim::SessionOutcome;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
using Kind = TTraceEntry::Kind;
using namespace std::chrono_literals;

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

std::string ports(const std::vector<TSimulatedDevice*>& devices, const char* separator = " ") {
  std::string list;
  for (const TSimulatedDevice* device : devices)
    list += (list.empty() ? "" : separator) + device->portPath();
  return list;
}

// The report's entry for a port.
Json entry(const Json& report, const std::string& port) {
  for (const Json& p : report["ports"])
    if (p["port"] == port) return p;
  ADD_FAILURE() << "no report entry for " << port;
  return Json::object();
}

// A trace file as the simulator's replay reads it.
TTrace traceOf(const std::string& path) {
  std::string error;
  auto trace = readTrace(path, error);
  EXPECT_TRUE(trace) << error;
  return trace.value_or(TTrace{});
}

TEST(FlashCommandLine, ExitCodesByOutcome) {
  const struct {
    devsim::SimulatorOptions device;
    const char* options;
    int exitCode;
    const char* output;
  } cases[] = {
      {{.wrongCrc = AnswerPick::at(3)}, "", 1, "Ошибка при передаче данных!"},
      {{.identity = "NOTADEVICE"}, "", 2, "На этом порту устройств не найдено."},
      {{.answerVers = false}, "", 2, "no answer to VERS within 3 s"},
      {{}, "--probe-only", 0, "Устройство: QX1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    TSimulatedDevice device(c.device);
    const TRun r = run(QUIL_FLASH " " + std::string(c.options) + " " + device.portPath());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_THAT(r.output, HasSubstr(c.output));
  }
}

TEST(FlashCommandLine, PortThatCannotBeOpenedSaysWhyInTheSystemsWords) {
  TPtyPair pty;
  ASSERT_EQ(::flock(pty.portFd(), LOCK_EX), 0);  // another program holds the port
  for (const auto& [port, reason] : {std::pair<std::string, const char*>{
                                         "/dev/quilmatronx-missing", "No such file or directory"},
                                     {pty.portPath(), "Device or resource busy"}}) {
    const TRun r = run(QUIL_FLASH " " + port);
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_THAT(r.output, HasSubstr("cannot open port")) << port;
    EXPECT_THAT(r.output, HasSubstr(reason)) << port;
  }
  ::flock(pty.portFd(), LOCK_UN);
  if (::geteuid() == 0) {
    // A pty belongs to its owner and the tty group: not to nobody.
    const TRun r =
        run("setpriv --reuid=65534 --regid=65534 --clear-groups " QUIL_FLASH " " + pty.portPath());
    EXPECT_EQ(r.exitCode, 3) << r.output;
    EXPECT_THAT(r.output, HasSubstr("Permission denied"));
    EXPECT_THAT(r.output, HasSubstr("dialout"));
  }
}

TEST(FlashCommandLine, Usage) {
  for (const char* args :
       {"", " --bogus COM1", " --probe", " --all COM1", " --list --probe-only", " COM1 COM1"}) {
    EXPECT_EQ(run(QUIL_FLASH + std::string(args)).exitCode, 64) << args;
  }
  EXPECT_EQ(run(QUIL_FLASH " --help").exitCode, 0);
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

// Devices side by side, each with its own outcome: whole uploads (traced
// byte for byte) and every way one fails, the failure's detail agreeing
// with the device's own log.
TEST(FlashCommandLine, SeveralDevicesAtOnceEachGetsItsOwnOutcome) {
  using Match = std::smatch;
  const auto answer = [](const Match& m) {
    std::string received;
    for (char c : unquoted(m[3])) received += intToHex(static_cast<unsigned char>(c), 2);
    return "block " + m[1].str() + ": expected " + m[2].str() + ", received " + received;
  };
  const std::string sent =
      R"re(block (\d+): CRC ([0-9A-F]{4}), sent "([^"]*)" \((wrong CRC|bytes swapped))re";
  const struct {
    devsim::SimulatorOptions device;
    std::string logLine;  // what the device logs, with the parts the detail names
    std::function<std::string(const Match&)> detail;
  } failures[] = {
      {{.wrongCrc = AnswerPick::at(5)}, sent, answer},
      {{.swapCrc = AnswerPick::at(3)}, sent, answer},
      {{.silentFrom = 4},
       R"(block (\d+): CRC [0-9A-F]{4}, not answered)",
       [](const Match& m) { return "no answer for 3 s after block " + m[1].str(); }},
      {{.vanishAt = 6},
       R"(block (\d+) received: closing the port)",
       [](const Match& m) { return "the port vanished after block " + m[1].str(); }},
      {{.identity = "QUILMATRONXX M1 V2"},
       R"re(VERS answered: "([^"]*)")re",
       [](const Match& m) { return "refused device line \"" + m[1].str() + "\""; }},
  };
  TSimulatedDevice good1, good2;
  std::vector<std::unique_ptr<TSimulatedDevice>> failing;
  std::vector<TSimulatedDevice*> all{&good1, &good2};
  for (const auto& f : failures)
    all.push_back(failing.emplace_back(std::make_unique<TSimulatedDevice>(f.device)).get());
  const std::string report = tempPath("report.json"), trace = tempPath("trace.txt");
  const TRun r = run(QUIL_FLASH " --report " + report + " --trace " + trace + " " + ports(all));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const Json json = Json::parse(fileText(report));
  EXPECT_EQ(json["exitStatus"], 1);
  ASSERT_EQ(json["ports"].size(), all.size());

  for (TSimulatedDevice* good : {&good1, &good2}) {
    EXPECT_TRUE(good->receivedAtEnd() == firmwareImage());
    EXPECT_EQ(good->outcome(), SessionOutcome::Complete);
    EXPECT_EQ(entry(json, good->portPath())["outcome"], "done");
    EXPECT_EQ(entry(json, good->portPath())["blocksAcknowledged"], 508);
    const std::string prefix = good->portPath() + ": ";
    EXPECT_THAT(r.output, HasSubstr(prefix + "Устройство: QX1   Текущая версия ПО: 1.00"));
    EXPECT_THAT(r.output, HasSubstr(prefix + "progress 100% (508/508 blocks)"));
    EXPECT_THAT(r.output, HasSubstr(prefix + "ПО успешно обновлено!"));
  }
  const TTrace traced = traceOf(trace);
  EXPECT_TRUE(traced.bytes(good1.portPath(), Kind::Written) == "VERS" + firmwareImage() + "PUSK");
  EXPECT_EQ(traced.bytes(good1.portPath(), Kind::Read).substr(0, 20), "QUILMATRONX QX1 1.00");

  for (size_t i = 0; i < failing.size(); ++i) {
    const std::string& port = failing[i]->portPath();
    std::string log;
    for (const std::string& line : failing[i]->log()) log += line + "\n";
    Match m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex(failures[i].logLine))) << log;
    const std::string detail = failures[i].detail(m);
    EXPECT_THAT(r.output, HasSubstr(port + ": " + detail));
    EXPECT_EQ(entry(json, port)["detail"], detail);
  }
  // Not one byte after a failure; the report names the block.
  const Json wrong = entry(json, failing[0]->portPath());
  EXPECT_EQ(failing[0]->receivedAtEnd().size(), 5u * 256);
  EXPECT_EQ(wrong["outcome"], "failed");
  EXPECT_EQ(wrong["failure"], "wrong-answer");
  EXPECT_EQ(wrong["failingBlock"], 5);
  EXPECT_EQ(wrong["blocksAcknowledged"], 4);
  const Json vanished = entry(json, failing[3]->portPath());
  EXPECT_EQ(failing[3]->receivedAtEnd().size(), 6u * 256);
  EXPECT_EQ(vanished["failure"], "vanished");
  EXPECT_EQ(vanished["failingBlock"], 6);
  // The summary table: one row per port.
  EXPECT_THAT(r.output, ContainsRegex(failing[0]->portPath() + " +QX1 1.00 +failed +[0-9.]+ s +" +
                                      wrong["detail"].get<std::string>()));
}

TEST(FlashCommandLine, AllFlashesEveryPortWhereADeviceAnswers) {
  // The machine's own serial ports are left alone: a private mount
  // namespace hides them, so only the extra ports are listed.
  if (run("unshare --mount true").exitCode != 0) GTEST_SKIP() << "needs unshare --mount";
  TSimulatedDevice a, b, c;
  TPtyPair empty;
  const auto flash = [&](const std::string& options) {
    return run(
        "unshare --mount sh -c 'mount -t tmpfs none /sys/class/tty && "
        "QUILMATRONX_EXTRA_PORTS=" +
        ports({&a, &b, &c}, ":") + ":" + empty.portPath() + " " QUIL_FLASH " " + options + "'");
  };
  const TRun listed = flash("--list --probe");
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  for (TSimulatedDevice* device : {&a, &b, &c})
    EXPECT_THAT(listed.output, ContainsRegex(device->portPath() + " +QUILMATRONX QX1 1.00\n"));
  EXPECT_THAT(listed.output,
              ContainsRegex(empty.portPath() + " +no device: no answer to VERS within 3 s"));

  const TRun flashed = flash("--all");
  EXPECT_EQ(flashed.exitCode, 0) << flashed.output;
  for (TSimulatedDevice* device : {&a, &b, &c})
    EXPECT_TRUE(device->receivedAtEnd() == firmwareImage());
  EXPECT_THAT(flashed.output, ContainsRegex(empty.portPath() + " +- +no device"));
}

TEST(FlashCommandLine, InterruptClosesThePortsAndStillWritesTheReport) {
  TSimulatedDevice paced({.baud = 38462}), failing({.wrongCrc = AnswerPick::at(2)});
  const std::string report = tempPath("report.json");
  const TRun r =
      run("bash -c '" QUIL_FLASH " --report " + report + " " + ports({&paced, &failing}) +
          " & flash=$!; sleep 1.5; kill -INT $flash; wait $flash'");
  EXPECT_EQ(r.exitCode, 130) << r.output;
  // The device saw the host close the port mid-upload.
  EXPECT_TRUE(paced.waitFor(10s));
  EXPECT_EQ(paced.outcome(), SessionOutcome::HostClosed);
  const Json json = Json::parse(fileText(report));
  EXPECT_EQ(json["exitStatus"], 130);
  EXPECT_EQ(entry(json, paced.portPath())["outcome"], "interrupted");
  EXPECT_EQ(entry(json, failing.portPath())["outcome"], "failed");
  EXPECT_THAT(r.output, Not(HasSubstr(paced.portPath() + ": ПО успешно")));
}

// A USB-serial adapter with a latency timer cuts answers into pieces: the
// seeds cut the device line, block answers, and the final answer between
// the check sum and "FZ". Every upload succeeds.
TEST(FlashCommandLine, UploadsThroughAnAdapterThatCutsAnswers) {
  for (const uint32_t seed : {11,   274,  397,  600,  618,  952,  954,  1134, 1275, 1529,
                              1616, 1651, 1917, 2085, 2218, 2426, 2474, 2886, 2968, 3577}) {
    SCOPED_TRACE(seed);
    TSimulatedDevice device({.adapter = {devsim::AdapterOptions::Kind::LatencyTimer,
                                         std::chrono::milliseconds(16), 62, seed}});
    const std::string report = tempPath("report.json");
    const TRun r = run(QUIL_FLASH " --report " + report + " " + device.portPath());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(entry(Json::parse(fileText(report)), device.portPath())["deviceLine"],
              "QUILMATRONX QX1 1.00");
    EXPECT_TRUE(device.receivedAtEnd() == firmwareImage());
    EXPECT_GE(device.adapterCuts(), 6);
  }
}

// An adapter that stops taking bytes: the write of block 3's first byte
// times out (1.1 s) and ends the transfer at once, not the watchdog; the
// trace has what went out and marks the byte that did not.
TEST(FlashCommandLine, StalledTransmitFailsWithinOneWriteTimeOut) {
  TSimulatedDevice device({.stallAfter = 4 + 2 * 256});
  const std::string report = tempPath("report.json"), trace = tempPath("trace.txt");
  const auto started = std::chrono::steady_clock::now();
  const TRun r =
      run(QUIL_FLASH " --report " + report + " --trace " + trace + " " + device.portPath());
  // The write time-out, a second, and the probe's quiet gap.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2200ms);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const Json port = entry(Json::parse(fileText(report)), device.portPath());
  EXPECT_EQ(port["failure"], "write-failed");
  EXPECT_EQ(port["detail"], "a write to the port failed or timed out in block 3");
  const TTrace traced = traceOf(trace);
  EXPECT_TRUE(traced.bytes(device.portPath(), Kind::Written) ==
              "VERS" + firmwareImage().substr(0, 512));
  EXPECT_EQ(traced.bytes(device.portPath(), Kind::NotWritten), firmwareImage().substr(512, 1));
}

}  // namespace
