// A whole upload through the command-line uploader's schema against the
// simulator program in a separate process, so the figures are the
// uploader's own: wall time and this process's CPU time. Paced at 38462 Bd,
// the ratio of wall time to line time (130048 bytes, 10 bits each, plus the
// device's 2-byte answers) shows what the host adds to the physical limit.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/flash/flashSchema.h"
#include "runtime/startList.h"

namespace {

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void wholeUpload(benchmark::State& state, const std::string& simulatorOptions) {
  const auto never = [] { return false; };
  double wall = 0.0, cpu = 0.0;
  for (auto _ : state) {
    std::FILE* simulator = popen(
        (std::string(QUIL_DEVSIM) + " --quiet --timeout 10 " + simulatorOptions).c_str(), "r");
    char port[256] = {};
    if (simulator == nullptr || std::fgets(port, sizeof port, simulator) == nullptr) {
      state.SkipWithError("simulator did not start");
      return;
    }
    std::string portPath(port);
    portPath.erase(portPath.find_last_not_of("\r\n") + 1);

    TFlashSchema schema(portPath, nullptr);
    enableDispatch();
    runStartProcs();
    schema.selectPort();
    if (schema.outcome.waitPast(TFlashStage::Probing, std::chrono::seconds(5), never) !=
        TFlashStage::Found) {
      state.SkipWithError("no device");
      return;
    }
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    schema.startUpload();
    const TFlashStage stage =
        schema.outcome.waitPast(TFlashStage::Found, std::chrono::minutes(2), never);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    cpu += processCpuSeconds() - cpuStart;
    schema.stop();
    disableDispatch();
    pclose(simulator);
    if (stage != TFlashStage::Done) {
      state.SkipWithError(
          ("upload failed at stage " + std::to_string(static_cast<int>(stage))).c_str());
      return;
    }
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["wall_s"] = wall / runs;
  state.counters["cpu_s"] = cpu / runs;
  // 130048 image bytes out and 508 answers of 2 bytes (the last 4) back.
  const double lineSeconds = (130048.0 + 508 * 2 + 2) * 10.0 / 38462.0;
  state.counters["over_line_time"] = wall / runs / lineSeconds;
}

void BM_UploadUnpaced(benchmark::State& state) { wholeUpload(state, ""); }
BENCHMARK(BM_UploadUnpaced)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// About 35 s a run: run it on purpose, e.g. --benchmark_filter=Paced.
void BM_UploadPaced38462(benchmark::State& state) { wholeUpload(state, "--baud 38462"); }
BENCHMARK(BM_UploadPaced38462)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
