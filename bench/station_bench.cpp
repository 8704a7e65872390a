// The station through the quilmatronx-flash program, each line of units a
// quilmatronx-devsim --line program of its own, so the CPU figures are the
// station's alone (the kernel's account of the child process).
//   Idle: eight slots where no unit answers, probed once a second for a
//   minute: the CPU share of one core per slot (target: at most 0.2 %).
//   Paced: eight slots at 38462 Bd, ten units each: units per hour against
//   what the line time and a one-second swap allow. With the default
//   removal rule (2 s of silence) the swap is the shortest it lets through,
//   so the ratio is that rule's price; with the key rule (an operator
//   pressing each slot's key twice a second) the swap is one second
//   (target: at least 0.97).
//   PresenceLine: the same with the presence-line rule (DSR) and a
//   one-second swap. A pty has no modem lines, so the station and the
//   lines run in this process (no CPU figure), the lines' switches reported
//   on DSR (devsim::FixtureSerial).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/station/station.h"
#include "runtime/link.h"
#include "runtime/startList.h"
#include "tools/devsim/fixtureSerial.h"
#include "tools/devsim/unitLine.h"

extern char** environ;

namespace {

constexpr int slots = 8;
constexpr int units = 10;
// One unit's bytes on a 38462 Bd line: the image's blocks and the answers.
const double lineSeconds = (130048.0 + 4 + 508 * 2 + 2 + 4) * 10.0 / 38462.0;
constexpr double swapSeconds = 1;

// The units per hour, what line time and a one-second swap allow, and
// their ratio (the last unit's swap is still part of the line's run).
void countUnits(benchmark::State& state, double wall) {
  const double allowed = units * (lineSeconds + swapSeconds);
  state.SetIterationTime(wall);
  state.counters["units_per_hour"] = slots * units / wall * 3600;
  state.counters["allowed_per_hour"] = slots * units / allowed * 3600;
  state.counters["ratio"] = allowed / wall;
}

// input: the child's standard input, or -1 to keep this one's.
pid_t spawn(const std::vector<std::string>& args, int input = -1) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) child = -1;
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

// Starts one line per slot; their links.
std::vector<std::string> startLines(const std::string& options, std::vector<pid_t>& lines) {
  std::vector<std::string> links;
  for (int i = 0; i < slots; ++i) {
    links.push_back("/tmp/quil-station-bench-" + std::to_string(::getpid()) + "-" +
                    std::to_string(i));
    std::vector<std::string> args{QUIL_DEVSIM, "--quiet", "--line", links.back()};
    for (size_t at = 0, next = 0; at < options.size(); at = next + 1) {
      next = std::min(options.find(' ', at), options.size());
      args.push_back(options.substr(at, next - at));
    }
    lines.push_back(spawn(args));
  }
  // Each line makes its link before it is ready.
  for (const std::string& link : links)
    for (int i = 0; i < 200 && ::access(link.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return links;
}

double cpuSeconds(const rusage& usage) {
  const auto s = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return s(usage.ru_utime) + s(usage.ru_stime);
}

// Stops the station with one Ctrl-C and waits for it; its CPU seconds.
double stopStation(pid_t station) {
  ::kill(station, SIGINT);
  int status = 0;
  rusage usage{};
  ::wait4(station, &status, 0, &usage);
  return cpuSeconds(usage);
}

void stopLines(const std::vector<pid_t>& lines) {
  for (pid_t line : lines) {
    ::kill(line, SIGTERM);
    ::waitpid(line, nullptr, 0);
  }
}

void BM_EightIdleSlotsForAMinute(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<pid_t> lines;
    // One unit that never answers "VERS": the slot stays idle.
    const std::vector<std::string> links = startLines("--no-vers-answer --timeout 600", lines);
    std::vector<std::string> args{QUIL_FLASH, "--station"};
    args.insert(args.end(), links.begin(), links.end());
    const pid_t station = spawn(args);
    std::this_thread::sleep_for(std::chrono::seconds(60));
    const double cpu = stopStation(station);
    stopLines(lines);
    state.SetIterationTime(60);
    state.counters["cpu_s"] = cpu;
    state.counters["per_slot_core_percent"] = cpu / 60 / slots * 100;
  }
}
BENCHMARK(BM_EightIdleSlotsForAMinute)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

// About six minutes each: run them on purpose, e.g. --benchmark_filter=Paced.
// Arguments: the swap in ms, and 1 for the key rule.
void BM_EightSlotsTenUnitsPaced38462(benchmark::State& state) {
  const std::string swap = std::to_string(state.range(0));
  const bool keys = state.range(1) != 0;
  for (auto _ : state) {
    std::vector<pid_t> lines;
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::string> links =
        startLines("--units " + std::to_string(units) + " --swap " + swap + " --baud 38462", lines);
    std::vector<std::string> args{QUIL_FLASH, "--station"};
    args.insert(args.end(), links.begin(), links.end());
    if (keys) args.insert(args.end(), {"--removal", "key"});
    int pipeEnds[2] = {-1, -1};
    if (keys && ::pipe(pipeEnds) != 0) return state.SkipWithError("no pipe");
    const pid_t station = spawn(args, pipeEnds[0]);
    if (keys) ::close(pipeEnds[0]);
    std::atomic<bool> played{false};
    // The operator: every slot's key twice a second.
    std::thread operatorKeys([&] {
      while (keys && !played) {
        [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], "12345678", slots);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
      }
    });
    bool complete = true;
    // A swap shorter than the rule lets through leaves a unit waiting for
    // its removal: the line would wait an hour.
    const auto deadline = started + std::chrono::minutes(10);
    for (pid_t line : lines) {
      int status = 0;
      while (::waitpid(line, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      complete = complete && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    played = true;
    operatorKeys.join();
    if (keys) ::close(pipeEnds[1]);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = stopStation(station);
    if (!complete) {
      stopLines(lines);
      return state.SkipWithError("a line did not play all its units");
    }
    countUnits(state, wall);
    state.counters["cpu_s"] = cpu;
  }
}
BENCHMARK(BM_EightSlotsTenUnitsPaced38462)
    ->Args({2300, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseManualTime();

void BM_EightSlotsTenUnitsPresenceLine(benchmark::State& state) {
  enableDispatch();
  runStartProcs();
  for (auto _ : state) {
    const auto started = std::chrono::steady_clock::now();
    devsim::SimulatorOptions paced;
    paced.baud = 38462;
    std::map<std::string, std::unique_ptr<devsim::UnitLine>> lines;
    TStationOptions options;
    for (int i = 0; i < slots; ++i) {
      const std::string link =
          "/tmp/quil-station-bench-" + std::to_string(::getpid()) + "-line-" + std::to_string(i);
      lines[link] = std::make_unique<devsim::UnitLine>(devsim::LineOptions{
          link, std::vector<devsim::LineUnit>(units, {paced}), std::chrono::milliseconds(1000)});
      if (!lines[link]->start()) return state.SkipWithError("a line did not start");
      options.slots.push_back(link);
    }
    devsim::FixtureSerial fixture(platformSerialSystem());
    fixture.present = [&](const std::string& port) { return lines.at(port)->present(); };
    options.serial = &fixture;
    std::string error;
    options.removal = *TRemovalRule::parse("line=DSR", error);
    TStation station(options);
    std::atomic<int> stops{0};
    std::thread running([&] { station.run([&] { return stops.load(); }); });
    bool complete = true;
    for (auto& [link, line] : lines) complete = line->waitFor(std::chrono::minutes(10)) && complete;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    stops = 1;
    running.join();
    if (!complete) return state.SkipWithError("a line did not play all its units");
    countUnits(state, wall);
  }
}
BENCHMARK(BM_EightSlotsTenUnitsPresenceLine)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
