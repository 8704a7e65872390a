// Cost of one forwarded event hop: a chain of elements that pass a short
// string on with tail events, and a hub fanning one event out.
#include <benchmark/benchmark.h>

#include <vector>

#include "runtime/zkHub.h"

namespace {

struct TPass {
  TEventLink out;
  void inWork(TData& d, uint16_t) { tailEvent(d, out, d); }
};

struct TSink {
  int64_t count = 0;
  void inWork(TData&, uint16_t) { ++count; }
};

void BM_TailChainHop(benchmark::State& state) {
  const auto hops = static_cast<size_t>(state.range(0));
  enableDispatch();
  std::vector<TPass> chain(hops);
  TSink sink;
  for (size_t i = 0; i + 1 < hops; ++i) chain[i].out = makeEventLink<&TPass::inWork>(&chain[i + 1]);
  chain.back().out = makeEventLink<&TSink::inWork>(&sink);
  const TEventLink first = makeEventLink<&TPass::inWork>(&chain.front());
  TData d;
  for (auto _ : state) {
    makeString(d, "AB12");
    fireEvent(first, d);
  }
  benchmark::DoNotOptimize(sink.count);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(hops));
  disableDispatch();
}
BENCHMARK(BM_TailChainHop)->Arg(1)->Arg(16)->Arg(256);

void BM_HubFanOut(benchmark::State& state) {
  const auto outputs = static_cast<uint16_t>(state.range(0));
  enableDispatch();
  TZKHub hub;
  hub.setOutCount(outputs);
  std::vector<TSink> sinks(outputs);
  for (uint16_t i = 0; i < outputs; ++i) hub.outEvent[i] = makeEventLink<&TSink::inWork>(&sinks[i]);
  const TEventLink in = makeEventLink<&TZKHub::inWork>(&hub);
  TData d;
  makeString(d, "AB12");
  for (auto _ : state) fireEvent(in, d);
  benchmark::DoNotOptimize(sinks[0].count);
  state.SetItemsProcessed(state.iterations() * outputs);
  disableDispatch();
}
BENCHMARK(BM_HubFanOut)->Arg(1)->Arg(3)->Arg(5);

}  // namespace

BENCHMARK_MAIN();
