// Several devices at once through the quilmatronx-flash program, each device
// a quilmatronx-devsim program of its own, so the figures are the flasher's
// alone: its wall time, and its CPU time from the kernel's account of the
// child process.
//   Paced at 38462 Bd: the whole run of eight devices against one device's
//   line time (130048 bytes out, 508 answers back, 10 bits a byte).
//   Unpaced: the CPU time of one run with eight devices against the sum of
//   eight runs with one device each.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int devices = 8;

struct TFlashRun {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double userSeconds = 0;
  int exitCode = -1;
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Starts n simulators; their pipes stay open until the run is over.
std::vector<std::string> startDevices(int n, const std::string& options,
                                      std::vector<std::FILE*>& pipes) {
  std::vector<std::string> ports;
  for (int i = 0; i < n; ++i) {
    std::FILE* pipe =
        popen((std::string("exec " QUIL_DEVSIM " --quiet --timeout 10 ") + options).c_str(), "r");
    char line[256] = {};
    if (pipe == nullptr || std::fgets(line, sizeof line, pipe) == nullptr) break;
    pipes.push_back(pipe);
    ports.emplace_back(line);
    ports.back().erase(ports.back().find_last_not_of('\n') + 1);
  }
  return ports;
}

void stopDevices(std::vector<std::FILE*>& pipes) {
  for (std::FILE* pipe : pipes) pclose(pipe);
  pipes.clear();
}

TFlashRun flash(const std::vector<std::string>& ports) {
  std::vector<char*> argv{const_cast<char*>(QUIL_FLASH)};
  for (const std::string& port : ports) argv.push_back(const_cast<char*>(port.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  TFlashRun run;
  const auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, QUIL_FLASH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.userSeconds = seconds(usage.ru_utime);
    run.cpuSeconds = run.userSeconds + seconds(usage.ru_stime);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// About 35 s a run: run it on purpose, e.g. --benchmark_filter=Paced.
void BM_EightDevicesPaced38462(benchmark::State& state) {
  const double lineSeconds = (130048.0 + 508 * 2 + 2) * 10.0 / 38462.0;
  for (auto _ : state) {
    std::vector<std::FILE*> pipes;
    const std::vector<std::string> ports = startDevices(devices, "--baud 38462", pipes);
    const TFlashRun run = flash(ports);
    stopDevices(pipes);
    if (ports.size() != devices || run.exitCode != 0) {
      state.SkipWithError("a device or the flasher failed");
      return;
    }
    state.SetIterationTime(run.wallSeconds);
    state.counters["wall_s"] = run.wallSeconds;
    state.counters["cpu_s"] = run.cpuSeconds;
    state.counters["over_line_time"] = run.wallSeconds / lineSeconds;
  }
}
BENCHMARK(BM_EightDevicesPaced38462)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void BM_EightDevicesUnpacedCpu(benchmark::State& state) {
  for (auto _ : state) {
    double singleCpu = 0;
    double singleUser = 0;
    for (int i = 0; i < devices; ++i) {
      std::vector<std::FILE*> pipes;
      const TFlashRun single = flash(startDevices(1, "", pipes));
      stopDevices(pipes);
      if (single.exitCode != 0) return state.SkipWithError("a single upload failed");
      singleCpu += single.cpuSeconds;
      singleUser += single.userSeconds;
    }
    std::vector<std::FILE*> pipes;
    const TFlashRun together = flash(startDevices(devices, "", pipes));
    stopDevices(pipes);
    if (together.exitCode != 0) return state.SkipWithError("the eight-device run failed");
    state.SetIterationTime(together.wallSeconds);
    state.counters["cpu_eight_s"] = together.cpuSeconds;
    state.counters["cpu_singles_s"] = singleCpu;
    state.counters["cpu_ratio"] = together.cpuSeconds / singleCpu;
    // The program's own work; the kernel's share grows when the simulators
    // compete for the same cores and each one-byte write wakes one of them.
    state.counters["user_ratio"] = together.userSeconds / singleUser;
    state.counters["wall_eight_s"] = together.wallSeconds;
  }
}
BENCHMARK(BM_EightDevicesUnpacedCpu)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
