// The production station against simulated lines of units: as a process, in
// process where the test plays the ports or the log's disk, and one slot.
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "app/station/station.h"
#include "runtime/startList.h"
#include "support/boundedWait.h"
#include "support/recorder.h"
#include "support/runCommand.h"
#include "support/simulatedDevice.h"
#include "support/testFiles.h"
#include "tools/devsim/fixtureSerial.h"
#include "tools/devsim/unitLine.h"

namespace {

using devsim::AnswerPick;
using devsim::LineUnit;
using devsim::UnitLine;
using ::testing::HasSubstr;
using Json = nlohmann::json;
using namespace std::chrono_literals;

// The log's records by slot, in the order written; the log is removed.
std::map<std::string, std::vector<Json>> records(const std::string& log) {
  std::map<std::string, std::vector<Json>> bySlot;
  std::istringstream lines(fileText(log));
  ::unlink(log.c_str());
  for (std::string line; std::getline(lines, line);) {
    const Json record = Json::parse(line);
    bySlot[record["slot"]].push_back(record);
  }
  return bySlot;
}

// quilmatronx-flash --station as a child that takes signals, output to a file.
struct TStationProcess {
  const std::string output = tempPath("output");
  std::string command = "exec " QUIL_FLASH " --station";
  pid_t pid = 0;
  int status = -1;

  // The command is made before the fork: the child of a threaded process only execs.
  TStationProcess(const std::vector<std::string>& slots, const std::string& log) {
    command += " --log " + log;
    for (const std::string& slot : slots) command += " " + slot;
    command += " >" + output + " 2>&1";
    if ((pid = ::fork()) != 0) return;
    ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    ::_exit(127);
  }
  ~TStationProcess() {
    if (status < 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    ::unlink(output.c_str());
  }
  // The exit status; -1 when it has not ended within the limit.
  int wait(std::chrono::seconds limit) {
    int raw = 0;
    if (!eventually(
            "the station's end", [&] { return ::waitpid(pid, &raw, WNOHANG) == pid; }, limit))
      return -1;
    return status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }
  std::string text() const { return fileText(output); }
  bool shows(const std::string& part) const { return text().find(part) != std::string::npos; }
};

// Units swapped in 2.5 s: time enough for a slot to hear 2 s of silence.
std::unique_ptr<UnitLine> startLine(const std::string& link, std::vector<LineUnit> units,
                                    bool usb = false) {
  auto line =
      std::make_unique<UnitLine>(devsim::LineOptions{link, std::move(units), 2500ms, 3000ms, usb});
  EXPECT_TRUE(line->start()) << line->error();
  return line;
}

// A unit that holds back its answer number `at` for `delay`.
LineUnit slowUnit(std::chrono::milliseconds delay, int at) {
  return {.options = {.delay = delay, .delayed = AnswerPick::at(at)}};
}

// Runs the station in process until done() holds, then stops it as one Ctrl-C does.
void runStation(TStation& station, TStationExit exit, const std::function<bool()>& done) {
  std::string error;
  ASSERT_TRUE(station.openLog(error)) << error;
  const auto run = [&] { return station.run([&] { return done() ? 1 : 0; }); };
  EXPECT_EQ(bounded("the station's end", run, 90s), exit);
}

// Dispatch on and the start procedures run, as in the station's own process.
class Station : public ::testing::Test {
  TDispatchScope dispatch_;
  void SetUp() override { runStartProcs(); }
};
using StationSlot = Station;

// Every unit's record matches what the unit itself received, once.
void expectRecordsMatch(const std::vector<Json>& slotRecords, const UnitLine& line,
                        const std::string& slot, const std::string& removal) {
  const std::vector<devsim::UnitReport> units = line.reports();
  ASSERT_EQ(slotRecords.size(), units.size()) << slot;
  for (size_t i = 0; i < units.size(); ++i) {
    SCOPED_TRACE(slot + " unit " + std::to_string(i + 1));
    const Json& r = slotRecords[i];
    EXPECT_EQ(units[i].uploads, 1) << "flashed once, not twice, not skipped";
    EXPECT_EQ(r["unit"], i + 1);
    const bool complete = units[i].outcome == devsim::SessionOutcome::Complete;
    EXPECT_EQ(r["outcome"], complete ? "done" : "failed");
    EXPECT_EQ(r["blocksAcknowledged"], complete ? 508 : units[i].blocks - 1);
    EXPECT_EQ(r["deviceLine"], "QUILMATRONX QX1 1.00");
    EXPECT_EQ(r["removal"], removal);
    EXPECT_THAT(r["time"].get<std::string>(),
                ::testing::MatchesRegex("20[0-9-]{8}T[0-9:]{8}\\.[0-9]{3}Z"));
    EXPECT_THAT(r["imageSha256"].get<std::string>(), ::testing::MatchesRegex("[0-9a-f]{64}"));
  }
}

TEST_F(Station, ThreeSlotsFiveUnitsEachOneRecordPerUnit) {
  std::vector<std::vector<LineUnit>> plan(3, std::vector<LineUnit>(5));
  plan[0][1].options.wrongCrc = AnswerPick::at(100);
  plan[1][3].options.silentFrom = 200;
  plan[2][0] = slowUnit(400ms, 0);
  plan[2][0].reboot = 0ms;  // slow to answer each probe while it stays on
  // Silent while its new firmware starts, then in its bootloader again: flashed once.
  plan[0][2].reboot = 800ms;
  plan[1][1] = {.reboot = 500ms, .rebootsEvery = true};
  plan[2][2].reboot = 300ms;
  std::vector<std::unique_ptr<UnitLine>> lines;
  std::vector<std::string> slots;
  for (size_t i = 0; i < plan.size(); ++i) {
    slots.push_back(tempPath("slot" + std::to_string(i)));
    lines.push_back(startLine(slots.back(), plan[i]));
  }
  const std::string log = tempPath("three.log");
  TStationProcess station(slots, log);
  for (auto& line : lines) ASSERT_TRUE(line->waitFor(120s)) << station.text();
  ::kill(station.pid, SIGINT);
  EXPECT_EQ(station.wait(10s), 1) << "a unit failed: " << station.text();
  auto bySlot = records(log);
  for (size_t i = 0; i < lines.size(); ++i)
    expectRecordsMatch(bySlot[slots[i]], *lines[i], slots[i], "silence=2000");
  EXPECT_EQ(bySlot[slots[0]][1]["failingBlock"], 100);
  EXPECT_EQ(bySlot[slots[1]][3]["failure"], "no-answer");
  EXPECT_THAT(station.text(), HasSubstr(slots[2] + ": remove the unit  (unit 1 done"));
  EXPECT_THAT(station.text(), HasSubstr("13 passed  2 failed"));
  EXPECT_THAT(station.text(), ::testing::Not(HasSubstr("\x1b["))) << "colours off a terminal";
}

TEST_F(Station, PortThatAppearsIsArmedAndOneThatVanishesLosesItsUnit) {
  const std::string first = tempPath("usb0"), later = tempPath("usb1"), log = tempPath("plug.log");
  auto line = startLine(first, {{.options = {.vanishAt = 100}}, {}}, true);
  devsim::FixtureSerial ports(platformSerialSystem());
  ports.made = {first, later};
  TStation station(
      {{}, true, log, nullptr, nullptr, &ports, nullptr, {TRemovalRule::TKind::PortGone}});
  std::unique_ptr<UnitLine> appearing;
  runStation(station, StationUnitFailed, [&] {
    // Made once the station has flashed a port it found at its start.
    if (!appearing && !line->reports().empty())
      appearing = startLine(later, std::vector<LineUnit>(1), true);
    return appearing && line->waitFor(0ms) && appearing->waitFor(0ms);
  });
  auto bySlot = records(log);
  expectRecordsMatch(bySlot[first], *line, first, "port");
  expectRecordsMatch(bySlot[later], *appearing, later, "port");
  EXPECT_EQ(bySlot[first].at(0)["failure"], "vanished");
  EXPECT_EQ(bySlot[first].at(1)["outcome"], "done");
  EXPECT_EQ(bySlot[later].at(0)["outcome"], "done");
}

// An unwritable log, or two names for one port (named as the second gives it), stop the station.
TEST_F(Station, LogThatCannotBeOpenedOrTwoNamesForOnePortStopTheStation) {
  const std::string target = tempPath("target"), other = tempPath("link");
  std::ofstream{target};
  ASSERT_EQ(::symlink(target.c_str(), other.c_str()), 0);
  using TRow = std::tuple<std::string, int, std::string>;
  for (const auto& [args, exitCode, message] :
       {TRow{"COM1 --log /nonexistent-dir/station.log", 4,
             "cannot write the log /nonexistent-dir/station.log: No such file or directory"},
        TRow{"ttyS0 /dev/ttyS0", 64, "slots ttyS0 and /dev/ttyS0 are one port, /dev/ttyS0"},
        TRow{other + " " + target, 64,
             "slots " + other + " and " + target + " are one port, " + target}}) {
    const TRun refused = run(std::string(QUIL_FLASH) + " --station " + args);
    EXPECT_EQ(refused.exitCode, exitCode);
    EXPECT_THAT(refused.output, HasSubstr(message + "; the station does not start"));
  }
  ::unlink(other.c_str());
  ::unlink(target.c_str());
}

// A hang-up (the terminal closed, SSH dropped) ends as a second Ctrl-C does.
TEST_F(Station, CtrlCOnceLetsTheUnitFinishTwiceOrAHangUpEndsItAtOnce) {
  for (const auto& [signals, exitCode, outcome] :
       {std::tuple{std::vector{SIGINT}, 0, std::string("done")},
        std::tuple{std::vector{SIGINT, SIGINT}, 130, std::string("interrupted")},
        std::tuple{std::vector{SIGHUP}, 130, std::string("interrupted")}}) {
    SCOPED_TRACE(signals.size() * 100 + signals.back());
    const std::string link = tempPath("stop"), log = tempPath("stop.log");
    auto line = startLine(link, {slowUnit(1500ms, 50)});  // an answer held back: surely under way
    TStationProcess station({link}, log);
    ASSERT_TRUE(eventually(
        "the upload", [&] { return station.shows("flashing"); }, 10s))
        << station.text();
    ::kill(station.pid, signals[0]);
    // Signals do not queue: a second press comes once the first is seen.
    if (signals.size() == 2) {
      EXPECT_TRUE(eventually("the stop", [&] { return station.shows("stopping"); }));
      ::kill(station.pid, signals[1]);
    }
    EXPECT_EQ(station.wait(20s), exitCode) << station.text();
    EXPECT_EQ(records(log)[link].at(0)["outcome"], outcome) << station.text();
  }
}

// Runs body in a child process; succeeded() waits for it to return true.
pid_t inChild(const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body() ? 0 : 1);
  return child;
}
bool succeeded(pid_t child) {
  int status = -1;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
bool appendTimes(const std::string& path, const std::string& line, int times) {
  TAppendFile file;
  std::string error;
  bool kept = file.open(path, error);
  for (int i = 0; kept && i < times; ++i) kept = file.append(line, error);
  return kept;
}

// A disk that takes part of a record leaves no torn line, an older run's torn
// line gets its line end, and two writers' records all stay whole.
TEST(AppendFile, RecordsAreWholeAfterAShortWriteAndWithTwoWriters) {
  const std::string path = tempPath("limit.log"), torn = "{\"time\": \"2026-12-08T14:49";
  const std::string record = "{\"unit\": 1, \"detail\": \"" + std::string(300, 'x') + "\"}\n";
  std::ofstream(path, std::ios::binary) << torn;
  EXPECT_TRUE(succeeded(inChild([&] {
    const rlimit limit{torn.size() + 100, torn.size() + 100};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && !appendTimes(path, record, 1);
  }))) << "the append under the file-size limit did not fail, or ended the process";
  EXPECT_EQ(fileText(path), torn) << "a part of the record was left behind";
  EXPECT_TRUE(appendTimes(path, record, 1));
  EXPECT_EQ(fileText(path), torn + "\n" + record);
  const std::string a(3000, 'a'), b(3000, 'b');
  const pid_t first = inChild([&] { return appendTimes(path, a + "\n", 200); });
  const pid_t second = inChild([&] { return appendTimes(path, b + "\n", 200); });
  EXPECT_TRUE(succeeded(first) && succeeded(second)) << "a writer failed";
  std::istringstream lines(fileText(path));
  std::map<std::string, int> counted;
  for (std::string line; std::getline(lines, line);) ++counted[line];
  EXPECT_EQ(counted, (std::map<std::string, int>{
                         {torn, 1}, {record.substr(0, record.size() - 1), 1}, {a, 200}, {b, 200}}));
  ::unlink(path.c_str());
}

// A log whose disk stops answering: the other slot's upload finishes and is
// told, the log fails at its deadline and the records go to standard error.
TEST_F(Station, LogThatHangsFreezesNeitherTheScreenNorTheOtherSlots) {
  struct THangingSink : TRecordSink {
    std::latch released{1};
    bool append(const std::string&, std::string&) override {
      released.wait();
      return true;
    }
  } sink;
  const std::string fast = tempPath("fast"), late = tempPath("late"), screen = tempPath("screen");
  auto fastLine = startLine(fast, {LineUnit{}});
  auto lateLine = startLine(late, {slowUnit(2000ms, 50)});  // under way as the first record hangs
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> shown(std::fopen(screen.c_str(), "w"),
                                                              &std::fclose);
  TConsoleBoard board(shown.get(), shown.get(), false);
  TStation station({{fast, late}, false, "share.log", &board, nullptr, nullptr, &sink});
  runStation(station, StationLogFailed, [] { return false; });
  EXPECT_FALSE(station.logEnded()) << "the hanging append was waited for";
  EXPECT_EQ(lateLine->reports().at(0).outcome, devsim::SessionOutcome::Complete);
  std::fflush(shown.get());
  const std::string text = fileText(screen);
  EXPECT_THAT(text, HasSubstr(late + ": unit 1 done"));
  EXPECT_THAT(text, HasSubstr("cannot write the log share.log: the disk did not take a record "
                              "within 3 s; the station flashes nothing more"));
  EXPECT_THAT(text, ::testing::MatchesRegex("(.|\n)*(unrecorded: \\{(.|\n)*){2}"));
  sink.released.count_down();
}

// The port-information double: one adapter, wherever the test puts it.
struct TMovingAdapter : TPortInfoSource {
  std::string port, serial;
  std::vector<TPortInfo> ports() override {
    if (port.empty()) return {};
    return {{port, "FT232R USB UART", "0403", "6001", serial, "1-1.2"}};
  }
};

// A slot named by a link records the adapter behind it, also after a re-plug,
// and the time the outcome was decided, not when the slot was next moved on.
TEST_F(StationSlot, RecordNamesTheAdapterTheUnitWasFlashedThrough) {
  const std::string link = tempPath("by-id");
  TMovingAdapter adapter;
  TStationSlot slot(link, adapter, platformSerialSystem(), {TRemovalRule::TKind::PortGone});
  std::optional<TUnitRecord> kept;
  const auto step = [&] { return (kept = slot.step(std::chrono::steady_clock::now(), true)); };
  for (const std::string serial : {"A50285BI", "FT9XQ2LK"}) {
    SCOPED_TRACE(serial);
    TSimulatedDevice device;
    ASSERT_EQ(::symlink(device.portPath().c_str(), link.c_str()), 0);
    adapter.port = device.portPath();
    adapter.serial = serial;
    ASSERT_TRUE(eventually(
        "the upload", [&] { return step() || slot.flashing(); }, 30s));
    ASSERT_TRUE(device.waitFor(30s));
    const auto ended = std::chrono::system_clock::now();
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(eventually(
        "the record", [&] { return step().has_value(); }, 30s));
    EXPECT_LT(kept->Finished, ended + 100ms);
    EXPECT_EQ(kept->Adapter.SerialNumber, serial);
    EXPECT_EQ(kept->Result.outcome, TPortOutcome::Done) << kept->Result.detail;
    adapter.port.clear();
    ::unlink(link.c_str());
    EXPECT_TRUE(eventually(
        "the port's loss", [&] { return !step() && slot.state() == TSlotState::PortGone; }, 30s));
  }
}

// A waiting slot opens its port once (each open toggles DTR, which may reset
// the unit); a probe through the port kept open hears a late answer.
TEST_F(StationSlot, WaitingSlotProbesThroughThePortItOpenedOnce) {
  TSimulatedDevice unit(slowUnit(1000ms, 0).options);
  TMovingAdapter noAdapter;
  devsim::FixtureSerial serial(platformSerialSystem());
  TStationSlot slot(unit.portPath(), noAdapter, serial);
  const auto start = std::chrono::steady_clock::now();
  slot.step(start, true);
  slot.step(start + 1s, true);  // the first probe's window closes unanswered
  // The slot's clock stands still: the later probe's window stays open however late the answer.
  EXPECT_TRUE(eventually("a later probe to find the unit", [&] {
    slot.step(start + 3s, true);
    return slot.state() == TSlotState::Flashing;
  }));
  EXPECT_GE(serial.probes, 2);
  EXPECT_EQ(serial.opens, 1);
}

// Units that reboot into their bootloader, swapped faster than the silence:
// the presence line, or the operator's key, tells each unit off.
TEST_F(Station, PresenceLineAndKeyTellTheUnitOff) {
  for (const std::string rule : {"line=DSR", "key"}) {
    SCOPED_TRACE(rule);
    const std::string link = tempPath("fixture"), log = tempPath("fixture.log");
    UnitLine line({link, std::vector<LineUnit>(3, {.reboot = 600ms}), 800ms, 2000ms});
    ASSERT_TRUE(line.start()) << line.error();
    devsim::FixtureSerial serial(platformSerialSystem());
    serial.present = [&](const std::string&) { return line.present(); };
    std::string error;
    TStationOptions options{{link}, false, log, nullptr, nullptr, &serial};
    options.removal = *TRemovalRule::parse(rule, error);
    options.keys = [&] { return line.present() ? std::string() : std::string("1"); };
    TStation station(options);
    runStation(station, StationNoFailure, [&] { return line.waitFor(0ms); });
    expectRecordsMatch(records(log)[link], line, link, rule);
  }
}

}  // namespace
