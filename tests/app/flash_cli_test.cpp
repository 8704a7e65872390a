// quilmatronx-flash as a script sees it: exit codes, output and the report.
#include <gmock/gmock.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "elements/hexText.h"
#include "support/boundedWait.h"
#include "support/deviceBehaviours.h"
#include "support/firmwareImage.h"
#include "support/lineEnd.h"
#include "support/runCommand.h"
#include "support/simulatedDevice.h"
#include "support/testFiles.h"
#include "tools/devsim/crc16Modbus.h"

namespace {

using devsim::AnswerPick;
using devsim::SessionOutcome;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
using Kind = TTraceEntry::Kind;
using namespace std::chrono_literals;

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

// Every mode's exit status for each outcome, and the report's agreeing.
TEST(FlashCommandLine, ExitStatusOfEveryModeForEachOutcome) {
  const devsim::SimulatorOptions good{}, failing{.wrongCrc = AnswerPick::at(3)},
      silent{.answerVers = false}, refused{.identity = "NOTADEVICE"};
  const struct {
    std::string mode;
    std::vector<devsim::SimulatorOptions> devices;
    int exitCode;
    const char* output;
  } cases[] = {
      {"", {good, silent}, 1, "no answer to VERS within 3 s"},
      {"", {silent}, 2, "no answer to VERS within 3 s"},
      {"--probe-only", {good}, 0, "Устройство: QX1"},
      {"--probe-only", {good, silent}, 1, "Устройство: QX1"},
      {"--probe-only", {silent}, 2, "no answer to VERS within 3 s"},
      {"--all", {good, silent}, 0, "ПО успешно обновлено!"},
      {"--all", {good, failing}, 1, "Ошибка при передаче данных!"},
      {"--all", {silent}, 2, "no device"},
      {"--list --probe", {good, silent}, 0, "QUILMATRONX QX1 1.00"},
      {"--list --probe", {refused}, 2, "no device: refused device line"},
  };
  static const bool privateMounts = run("unshare --mount true").exitCode == 0;
  // Side by side: most of the time is the silent devices' 3 s.
  std::vector<std::future<void>> runs;
  for (const auto& c : cases) {
    runs.push_back(std::async(std::launch::async, [&c] {
      std::vector<std::unique_ptr<TSimulatedDevice>> owned;
      std::vector<TSimulatedDevice*> devices;
      for (const auto& options : c.devices)
        devices.push_back(owned.emplace_back(std::make_unique<TSimulatedDevice>(options)).get());
      const std::string report = tempPath("report.json");
      const std::string options = c.mode + " --report " + report;
      TRun r;
      if (c.mode.rfind("--all", 0) == 0 || c.mode.rfind("--list", 0) == 0) {
        if (!privateMounts) return;
        // The program sees only the given ports: a private mount hides the machine's own.
        r =
            run("unshare --mount sh -c 'mount -t tmpfs none /sys/class/tty && "
                "QUILMATRONX_EXTRA_PORTS=" +
                ports(devices, ":") + " " QUIL_FLASH " " + options + "'");
      } else {
        r = run(QUIL_FLASH " " + options + " " + ports(devices));
      }
      const std::string what = c.mode + " -> " + std::to_string(c.exitCode) + ": " + r.output;
      EXPECT_EQ(r.exitCode, c.exitCode) << what;
      EXPECT_THAT(r.output, HasSubstr(c.output)) << what;
      EXPECT_EQ(Json::parse(fileText(report), nullptr, false).value("exitStatus", -1), c.exitCode)
          << what;
    }));
  }
  for (auto& r : runs) r.get();
}

// A port that cannot be opened says why in the system's words; --list opens
// no port, so one that another program holds is listed.
TEST(FlashCommandLine, PortThatCannotBeOpenedSaysWhyInTheSystemsWords) {
  TPtyPair pty;
  ASSERT_EQ(::flock(pty.portFd(), LOCK_EX), 0);  // another program holds the port
  const TRun listed =
      run("env QUILMATRONX_EXTRA_PORTS=" + pty.portPath() + " " QUIL_FLASH " --list");
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_THAT(listed.output, HasSubstr(pty.portPath()));
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
       {"", " --bogus COM1", " --probe", " --all COM1", " --list --probe-only", " COM1 COM1"})
    EXPECT_EQ(run(QUIL_FLASH + std::string(args)).exitCode, 64) << args;
  EXPECT_EQ(run(QUIL_FLASH " --help").exitCode, 0);
}

// Every device behaviour on a device of its own, all in one run: each port's
// report, output, summary row and trace; a wrong answer's detail agrees with
// the device's own log.
TEST(FlashCommandLine, EachDeviceBehaviourInOneRun) {
  std::vector<const TDeviceBehaviour*> rows;
  std::vector<std::unique_ptr<TSimulatedDevice>> owned;
  std::vector<TSimulatedDevice*> devices;
  for (const TDeviceBehaviour& b : deviceBehaviours) {
    if (!b.upload) continue;  // the command line starts the upload at once
    rows.push_back(&b);
    devices.push_back(owned.emplace_back(std::make_unique<TSimulatedDevice>(b.device)).get());
  }
  const std::string report = tempPath("report.json"), trace = tempPath("trace.txt");
  const TRun r = run(QUIL_FLASH " --report " + report + " --trace " + trace + " " + ports(devices));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const Json json = Json::parse(fileText(report));
  ASSERT_EQ(json["ports"].size(), devices.size());
  const TTrace traced = traceOf(trace);
  const std::regex sent(
      R"re(block (\d+): CRC ([0-9A-F]{4}), sent "([^"]*)" \((wrong CRC|bytes swapped))re");
  for (size_t i = 0; i < rows.size(); ++i) {
    const TDeviceBehaviour& b = *rows[i];
    TSimulatedDevice& device = *devices[i];
    SCOPED_TRACE(b.name);
    const std::string& port = device.portPath();
    const Json result = entry(json, port);
    const std::string outcome = result["outcome"];
    const std::string detail = result["detail"].is_string() ? result["detail"] : "";
    const std::string received = device.receivedAtEnd();
    if (b.shown == TShown::Either) {
      EXPECT_THAT(outcome, ::testing::AnyOf("done", "failed"));
    } else {
      EXPECT_EQ(outcome, b.shown == TShown::Done     ? "done"
                         : b.shown == TShown::Failed ? "failed"
                                                     : "no device");
    }
    if (*b.failure != 0) {
      EXPECT_EQ(result["failure"], b.failure);
    }
    EXPECT_THAT(detail, HasSubstr(b.detail));
    if (!detail.empty()) {
      EXPECT_THAT(r.output, HasSubstr(port + ": " + detail));
    }
    if (b.blocks >= 0) {
      EXPECT_EQ(device.blocks(), b.blocks);
    }
    if (b.within.count() > 0) {
      EXPECT_LT(result["seconds"].get<double>() * 1000, b.within.count());
    }
    std::string log;
    for (const std::string& line : device.log()) log += line + "\n";
    std::smatch m;
    if (std::regex_search(log, m, sent)) {
      // In hex; the log quotes printable bytes as they are, others as \xHH.
      const std::string quoted = m[3];
      std::string bytes;
      for (size_t at = 0; at < quoted.size(); ++at) {
        const bool escaped = quoted.compare(at, 2, "\\x") == 0;
        bytes += intToHex(
            escaped ? hexToInt(quoted.substr(at + 2, 2)) : static_cast<unsigned char>(quoted[at]),
            2);
        if (escaped) at += 3;
      }
      EXPECT_EQ(detail, "block " + m[1].str() + ": expected " + m[2].str() + ", received " + bytes);
      if (m[4] == "bytes swapped") {
        EXPECT_EQ(bytes, m[2].str().substr(2) + m[2].str().substr(0, 2));
      }
    }
    // The trace has what the device received, and nothing after a failure.
    EXPECT_TRUE(traced.bytes(port, Kind::Written) ==
                "VERS" + received + (outcome == "done" ? "PUSK" : ""));
    EXPECT_TRUE(traced.bytes(port, Kind::NotWritten) ==
                (b.failure == std::string("write-failed")
                     ? firmwareImage().substr(received.size(), 256)
                     : ""));
    if (outcome == "done") {
      EXPECT_EQ(result["blocksAcknowledged"], device.blocks());
      EXPECT_THAT(r.output, HasSubstr(port + ": ПО успешно обновлено!"));
    } else if (outcome == "failed" && b.blocks >= 0) {
      EXPECT_EQ(result["failingBlock"], result["blocksAcknowledged"].get<int>() + 1);
    }
    if (b.shown != TShown::NoDevice) {
      EXPECT_THAT(r.output, HasSubstr(port + ": Устройство: QX1   Текущая версия ПО: 1.00"));
      const std::string literal =
          std::regex_replace(detail, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
      EXPECT_THAT(r.output, ContainsRegex(port + " +QX1 1.00 +" + outcome + " +[0-9.]+ s" +
                                          (detail.empty() ? "" : " +" + literal)));
    }
  }
  EXPECT_TRUE(devices[0]->receivedAtEnd() == firmwareImage());
  EXPECT_THAT(r.output, HasSubstr(devices[0]->portPath() + ": progress 100% (508/508 blocks)"));
  EXPECT_EQ(traced.bytes(devices[0]->portPath(), Kind::Read).substr(0, 20), "QUILMATRONX QX1 1.00");
}

// Ctrl-C mid-upload with closes waiting for a drain that never comes: the
// report marks the port interrupted, the trace has what each device received,
// the end waits about 2 s for the closes, and a second interrupt ends it at once.
TEST(FlashCommandLine, InterruptWritesTheReportAndASecondOneEndsTheRunAtOnce) {
  for (const bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "SIGINT, then SIGTERM" : "SIGINT");
    TSimulatedDevice paced({.baud = 38462}), failing({.wrongCrc = AnswerPick::at(2)});
    // A compressed trace is readable only if the end completes it.
    const std::string report = tempPath("report.json"),
                      trace = tempPath(twice ? "trace.gz" : "trace.txt");
    // The preload comes before AddressSanitizer's own library, which is told so.
    const TRun r =
        run("bash -c 'ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 QUIL_HELD_DRAIN=1 "
            "LD_PRELOAD=" QUIL_PTY_SHIM " " QUIL_FLASH " --report " +
            report + " --trace " + trace + " " + ports({&paced, &failing}) +
            " & flash=$!; sleep 1.5; kill -INT $flash; " +
            (twice ? "sleep 0.3; kill -TERM $flash; " : "") +
            "since=$(date +%s%N); wait $flash; status=$?; "
            "echo ended after $((($(date +%s%N) - since) / 1000000)) ms; exit $status'");
    EXPECT_EQ(r.exitCode, 130) << r.output;
    std::smatch took;
    ASSERT_TRUE(std::regex_search(r.output, took, std::regex("ended after (\\d+) ms")));
    const int ms = std::stoi(took[1]);
    if (twice) {
      EXPECT_LT(ms, 1000) << "the second interrupt did not end the run at once";
    } else {
      EXPECT_GT(ms, 1500) << "the closes were not waited for";
      EXPECT_LT(ms, 3500) << "the end after an interrupt is not bounded";
    }
    EXPECT_TRUE(paced.waitFor(10s));
    EXPECT_EQ(paced.outcome(), SessionOutcome::HostClosed);
    const Json json = Json::parse(fileText(report));
    EXPECT_EQ(json["exitStatus"], 130);
    EXPECT_EQ(entry(json, paced.portPath())["outcome"], "interrupted");
    EXPECT_EQ(entry(json, failing.portPath())["outcome"], "failed");
    EXPECT_THAT(r.output, Not(HasSubstr(paced.portPath() + ": ПО успешно")));
    const TTrace traced = traceOf(trace);
    for (TSimulatedDevice* device : {&paced, &failing}) {
      EXPECT_TRUE(traced.bytes(device->portPath(), Kind::Written) ==
                  "VERS" + device->receivedAtEnd())
          << device->portPath() << ": the trace differs from what the device received";
    }
  }
}

// Whoever reads the output goes away early: every upload still ends, and the
// report, exit status and standard error say output was lost.
TEST(FlashCommandLine, AClosedOutputPipeLosesOutputNotUploads) {
  TSimulatedDevice a, b;
  const std::string report = tempPath("report.json");
  const TRun r = run("bash -c '" QUIL_FLASH " --report " + report + " " + ports({&a, &b}) +
                     " | head -c1 >/dev/null; exit ${PIPESTATUS[0]}'");
  EXPECT_EQ(r.exitCode, 5) << r.output;
  EXPECT_THAT(r.output, HasSubstr("output was lost"));
  const Json json = Json::parse(fileText(report));
  EXPECT_EQ(json["exitStatus"], 5);
  for (TSimulatedDevice* device : {&a, &b}) {
    EXPECT_TRUE(device->receivedAtEnd() == firmwareImage());
    EXPECT_EQ(entry(json, device->portPath())["outcome"], "done");
  }
}

// A start command that cannot be written (the line stopped) fails the transfer.
TEST(FlashCommandLine, AStartCommandNotWrittenFailsTheTransfer) {
  TPtyPair stopped;
  TTestThread device("the device's part", [&] {
    if (stopped.read(4) != "VERS" || !stopped.write("QUILMATRONX QX1 1.00")) return;
    const std::string block = stopped.read(256, 10s);
    const uint16_t crc = devsim::crc16Modbus(devsim::kCrcInitial, block);
    ::tcflow(stopped.portFd(), TCOOFF);  // nothing leaves the port any more
    stopped.write(std::string{static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)} + "FZ");
  });
  const std::string report = tempPath("report.json");
  const TRun r = run(QUIL_FLASH " --report " + report + " " + stopped.portPath());
  device.join();
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const Json notStarted = entry(Json::parse(fileText(report)), stopped.portPath());
  EXPECT_EQ(notStarted["outcome"], "failed");
  EXPECT_EQ(notStarted["failure"], "start-command");
  EXPECT_EQ(notStarted["detail"], "the start command could not be written");
  EXPECT_THAT(r.output, HasSubstr(stopped.portPath() + ": Ошибка при передаче данных!"));
}

// The report replaces its file through a temporary file of the run's own, so
// a leftover or a concurrent run does not mix in; a folder is refused.
TEST(FlashCommandLine, TheReportIsTheRunsOwnAndWhole) {
  TSimulatedDevice a, b;
  const std::string folder = tempPath("reports");
  const std::string report = folder + "/report.json";
  ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
  ASSERT_EQ(::mkdir((report + ".tmp").c_str(), 0777), 0);  // in the way of a fixed name
  const TRun refused = run(QUIL_FLASH " --report " + folder + " " + a.portPath());
  EXPECT_EQ(refused.exitCode, 64) << refused.output;
  EXPECT_THAT(refused.output, HasSubstr(folder + " is a folder"));

  const std::string flash = QUIL_FLASH " --probe-only --report " + report + " ";
  const TRun both = run("bash -c '" + flash + a.portPath() + " & " + flash + b.portPath() +
                        "; s=$?; wait $!; exit $((s + $?))'");
  EXPECT_EQ(both.exitCode, 0) << both.output;
  const Json json = Json::parse(fileText(report));
  ASSERT_EQ(json["ports"].size(), 1u);
  EXPECT_THAT(json["ports"][0]["port"].get<std::string>(),
              ::testing::AnyOf(a.portPath(), b.portPath()));
  EXPECT_EQ(run("ls " + folder).output, "report.json\nreport.json.tmp\n");
}

}  // namespace

// Serial traffic is no activity to the system: the run holds logind's
// inhibitor, here a stand-in that notes what it is asked and when it ends;
// --byte-writes writes each image byte by itself.
TEST(FlashCommandLine, AByteByByteRunKeepsTheMachineAwakeUntilItEnds) {
  const std::string folder = tempPath("bin");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string log = folder + "/inhibit.log";
  const std::string fake = folder + "/systemd-inhibit";
  std::ofstream(fake) << "#!/bin/sh\necho \"$@\" >> " << log
                      << "\ncat > /dev/null\necho released >> " << log << "\n";
  ASSERT_EQ(chmod(fake.c_str(), 0700), 0);
  TSimulatedDevice device;
  const std::string trace = tempPath("trace.txt");
  const TRun r = run("env PATH=" + folder + ":$PATH " QUIL_FLASH " --byte-writes --trace " + trace +
                     " " + device.portPath());
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(fileText(log),
            "--what=idle:sleep --who=Quilmatronx --why=Firmware upload --mode=block cat\n"
            "released\n");
  EXPECT_TRUE(device.receivedAtEnd() == firmwareImage());
  std::vector<size_t> sizes;
  for (const TTraceEntry& e : traceOf(trace).entries)
    if (e.kind == TTraceEntry::Kind::Written) sizes.push_back(e.bytes.size());
  // "VERS", the image, "PUSK".
  ASSERT_EQ(sizes.size(), 130050u);
  EXPECT_EQ(std::count(sizes.begin() + 1, sizes.end() - 1, 1u), 130048);
}
