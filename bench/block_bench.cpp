// One block of the upload in process: 256 image bytes through the
// command-line schema to a port in memory, and the device's answer handled
// (joined, compared, the next block started). No pty, no simulator and no
// other thread: the CPU time of this thread is the schema's own cost, so
// the figure holds still on a busy machine.
#include <benchmark/benchmark.h>

#include <string>

#include "app/flash/flashSchema.h"
#include "runtime/startList.h"
#include "serial/fakeSerial.h"
#include "tools/devsim/crc16Modbus.h"

namespace {

constexpr int blockCount = 508;

class TInProcessUpload {
 public:
  TInProcessUpload() {
    schema_.comPort.WatchRxChar = false;  // this thread plays the reader
    runStartProcs();
    schema_.selectPort();
    answer("QUILMATRONX QX1 1.00\r\n");
    schema_.startUpload();
  }
  // The device's answer to the block just sent.
  [[gnu::noinline]] void answerBlock(bool last) {
    std::string written;
    {
      std::lock_guard lock(serial_.Port.Lock);
      written = serial_.Port.Written.substr(seen_);
      seen_ = serial_.Port.Written.size();
    }
    crc_ = devsim::crc16Modbus(crc_, seen_ == written.size() ? written.substr(4) : written);
    std::string bytes{static_cast<char>(crc_ >> 8), static_cast<char>(crc_ & 0xFF)};
    answer(last ? bytes + "FZ" : bytes);
  }

 private:
  void answer(const std::string& bytes) {
    {
      std::lock_guard lock(serial_.Port.Lock);
      serial_.Port.Incoming += bytes;
    }
    fireEvent(schema_.comPort.outRxChar, static_cast<int32_t>(bytes.size()));
  }

  TFakeSystem serial_;
  TFlashSchema schema_{"COM1", nullptr, serial_};
  size_t seen_ = 0;
  uint16_t crc_ = devsim::kCrcInitial;
};

void BM_BlockInProcess(benchmark::State& state) {
  enableDispatch();
  for (auto _ : state) {
    state.PauseTiming();
    auto upload = std::make_unique<TInProcessUpload>();
    state.ResumeTiming();
    for (int block = 1; block <= blockCount; ++block) upload->answerBlock(block == blockCount);
    state.PauseTiming();
    upload.reset();
    StartList.clear();
    Started = false;
    state.ResumeTiming();
  }
  state.counters["us_per_block"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * blockCount * 1e-6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  disableDispatch();
}
BENCHMARK(BM_BlockInProcess)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
