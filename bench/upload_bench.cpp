// A whole upload through the command-line uploader's schema, and through the
// window program's schema on the in-memory window system, against the
// simulator program in a separate process, so the figures are the
// uploader's own: wall time and this process's CPU time. Paced at 38462 Bd,
// the ratio of wall time to line time (130048 bytes, 10 bits each, plus the
// device's 2-byte answers) shows what the host adds to the physical limit.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/flash/flashSchema.h"
#include "app/formSchema.h"
#include "runtime/startList.h"
#include "ui/headlessWindowSystem.h"

namespace {

using namespace std::chrono_literals;

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The simulator program on a pty of its own, for one upload.
class TSimulatorProgram {
 public:
  explicit TSimulatorProgram(const std::string& options)
      : process_(
            popen((std::string(QUIL_DEVSIM) + " --quiet --timeout 10 " + options).c_str(), "r")) {
    char port[256] = {};
    if (process_ != nullptr && std::fgets(port, sizeof port, process_) != nullptr) port_ = port;
    port_.erase(port_.find_last_not_of("\r\n") + 1);
  }
  ~TSimulatorProgram() {
    if (process_ != nullptr) pclose(process_);
  }
  TSimulatorProgram(const TSimulatorProgram&) = delete;
  TSimulatorProgram& operator=(const TSimulatorProgram&) = delete;
  const std::string& port() const { return port_; }

 private:
  std::FILE* process_;
  std::string port_;
};

// One uploader: probes the port, then start() begins the transfer and
// finish() waits for its end (true: success) and closes the port.
struct TUploader {
  virtual ~TUploader() = default;
  virtual bool probe(const std::string& port) = 0;
  virtual void start() = 0;
  virtual bool finish() = 0;
};

class TCommandLineUploader final : public TUploader {
 public:
  ~TCommandLineUploader() override {
    if (schema_) schema_->stop();
    disableDispatch();
  }
  bool probe(const std::string& port) override {
    // Built while links are off, as the program does.
    schema_ = std::make_unique<TFlashSchema>(port, nullptr);
    enableDispatch();
    runStartProcs();
    schema_->selectPort();
    return schema_->outcome.waitPast(TFlashStage::Probing, 5s, never) == TFlashStage::Found;
  }
  void start() override { schema_->startUpload(); }
  bool finish() override {
    return schema_->outcome.waitPast(TFlashStage::Found, 2min, never) == TFlashStage::Done;
  }

 private:
  static bool never() { return false; }
  std::unique_ptr<TFlashSchema> schema_;
};

// The window program's schema on the in-memory window system, this thread
// its UI thread; the pause after the upload is left out.
class TWindowUploader final : public TUploader {
 public:
  TWindowUploader() {
    installWindowSystem(createHeadlessWindowSystem());
    ui_ = static_cast<THeadlessWindowSystem*>(&windowSystem());
  }
  ~TWindowUploader() override {
    if (!form_) return;
    TData none;
    form_->formMain.inClose(none, 0);
    disableDispatch();
    form_.reset();
    StartList.clear();
    Started = false;
  }
  bool probe(const std::string& port) override {
    setenv("QUILMATRONX_EXTRA_PORTS", port.c_str(), 1);
    // A process runs one program: this one starts afresh.
    StartList.clear();
    Started = false;
    form_ = std::make_unique<TClassSimpleForm_20F8870>();
    form_->sleepAfterDone.Delay = 0;
    startApplication(form_->formMain);
    THeadlessControl& combo = THeadlessWindowSystem::of(*form_->comboPort.nativeControl());
    for (int32_t i = 0; i < combo.itemCount(); ++i)
      if (combo.itemText(i) == port) ui_->chooseItem(combo, i);
    return waitUntil([&] { return shows(form_->buttonWrite, true); }, 5s);
  }
  void start() override { ui_->click(*form_->buttonWrite.nativeControl()); }
  bool finish() override {
    waitUntil([&] { return shows(form_->labelSuccess) || shows(form_->labelError); }, 2min);
    return shows(form_->labelSuccess);
  }

 private:
  static bool shows(const TWindowElement& element, bool enabled = false) {
    const THeadlessControl& control = THeadlessWindowSystem::of(*element.nativeControl());
    return enabled ? control.isEnabled() : control.isVisible();
  }
  static bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    waitPumping([&] { return condition() || std::chrono::steady_clock::now() > deadline; });
    return condition();
  }
  THeadlessWindowSystem* ui_ = nullptr;
  std::unique_ptr<TClassSimpleForm_20F8870> form_;
};

// Wall and CPU time from the first block to the outcome.
template <class Uploader>
void wholeUpload(benchmark::State& state, const std::string& simulatorOptions) {
  double wall = 0.0, cpu = 0.0;
  for (auto _ : state) {
    TSimulatorProgram simulator(simulatorOptions);
    Uploader uploader;
    if (simulator.port().empty() || !uploader.probe(simulator.port())) {
      state.SkipWithError("no device");
      return;
    }
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    uploader.start();
    const bool done = uploader.finish();
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    cpu += processCpuSeconds() - cpuStart;
    if (!done) {
      state.SkipWithError("the upload failed");
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

void BM_UploadUnpaced(benchmark::State& state) { wholeUpload<TCommandLineUploader>(state, ""); }
BENCHMARK(BM_UploadUnpaced)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void BM_WindowUploadUnpaced(benchmark::State& state) { wholeUpload<TWindowUploader>(state, ""); }
BENCHMARK(BM_WindowUploadUnpaced)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// About 35 s a run: run them on purpose, e.g. --benchmark_filter=Paced.
void BM_UploadPaced38462(benchmark::State& state) {
  wholeUpload<TCommandLineUploader>(state, "--baud 38462");
}
BENCHMARK(BM_UploadPaced38462)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_WindowUploadPaced38462(benchmark::State& state) {
  wholeUpload<TWindowUploader>(state, "--baud 38462");
}
BENCHMARK(BM_WindowUploadPaced38462)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
