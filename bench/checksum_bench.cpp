// Per-byte cost of the upload's check-sum step: the convertor turns the image
// byte into hexadecimal text, the check-sum element reads the running value
// through its data link, updates it by that byte and hands the new text back
// to where the form keeps it. Also the check-sum element alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "elements/zkCRC16_32.h"
#include "elements/zkConvertor.h"
#include "runtime/memoryStream.h"

namespace {

// Stands in for the form's hidden edit field holding the running check sum.
struct TRunningCheckSum {
  std::string text = "FFFF";
  void inText(TData& d, uint16_t) { text = toString(d); }
  void varText(TData& d, uint16_t) { makeString(d, text); }
};

std::string firmwareImage() {
  std::unique_ptr<TMemoryStream> image(loadResourceStream("STREAM0"));
  return std::string(image->bytes());
}

// Bit by bit, to check what the elements computed.
uint16_t modbusCrc(std::string_view bytes) {
  uint16_t crc = 0xFFFF;
  for (const char c : bytes) {
    crc = static_cast<uint16_t>(crc ^ static_cast<uint8_t>(c));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
  }
  return crc;
}

void configureUploadCrc(TZKCRC16_32& crc, TRunningCheckSum& running) {
  crc.HexInput = 1;
  crc.Mode = 0;
  crc.Polynom = "$A001";
  crc.Init = "$FFFF";
  crc.dataInit = makeEventLink<&TRunningCheckSum::varText>(&running);
  crc.outCRC = makeEventLink<&TRunningCheckSum::inText>(&running);
}

void reportPerByte(benchmark::State& state, const std::string& image,
                   const TRunningCheckSum& running) {
  char expected[5];
  std::snprintf(expected, sizeof expected, "%04X", modbusCrc(image));
  if (running.text != expected) state.SkipWithError("wrong check sum");
  const auto bytes = static_cast<double>(state.iterations()) * static_cast<double>(image.size());
  state.SetItemsProcessed(static_cast<int64_t>(bytes));
  // Seconds of CPU per byte, printed with an SI prefix (n = nanoseconds).
  state.counters["per_byte"] =
      benchmark::Counter(bytes, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_UploadCheckSumStep(benchmark::State& state) {
  const std::string image = firmwareImage();
  enableDispatch();
  TZKConvertor convHex;
  convHex.Mode = 6;
  convHex.Digits = 1;
  TZKCRC16_32 crc;
  TRunningCheckSum running;
  configureUploadCrc(crc, running);
  convHex.outResult = makeEventLink<&TZKCRC16_32::inCRC>(&crc);
  const TEventLink step = makeEventLink<&TZKConvertor::inConvert>(&convHex);
  for (auto _ : state) {
    running.text = "FFFF";
    for (const char c : image) fireEvent(step, int32_t{static_cast<uint8_t>(c)});
  }
  reportPerByte(state, image, running);
  disableDispatch();
}
BENCHMARK(BM_UploadCheckSumStep)->Unit(benchmark::kMillisecond);

void BM_CheckSumElementAlone(benchmark::State& state) {
  const std::string image = firmwareImage();
  std::vector<std::string> hexBytes;
  for (const char c : image) {
    char text[3];
    std::snprintf(text, sizeof text, "%X", static_cast<uint8_t>(c));
    hexBytes.emplace_back(text);
  }
  enableDispatch();
  TZKCRC16_32 crc;
  TRunningCheckSum running;
  configureUploadCrc(crc, running);
  const TEventLink step = makeEventLink<&TZKCRC16_32::inCRC>(&crc);
  for (auto _ : state) {
    running.text = "FFFF";
    for (const std::string& text : hexBytes) fireEvent(step, text);
  }
  reportPerByte(state, image, running);
  disableDispatch();
}
BENCHMARK(BM_CheckSumElementAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
