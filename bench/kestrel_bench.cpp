// kestrel's batch Rprop epoch on workload W1: 10,000 rows of 8 inputs, an 8-16-1 network (tanh
// hidden layer, linear output) started from the shared initial weights, η− 0.5, η+ 1.2, Δ0 0.1,
// Δmin 1e-8, Δmax 50. Times one epoch for first-, second- and third-order hidden neurons on one
// thread and on several, and reports the training RMS error after the workload's 200 epochs.
#include <benchmark/benchmark.h>

#include <stdexcept>

#include "bench/w1_workload.h"
#include "plugins/rprop/resilient_propagation.h"

namespace {

using namespace lumivane::bench;

// The workload's network (higher-order weights as the network drew them) with kestrel's Rprop
// linked in directly, attached once.
struct Setup {
  W1Training w1;
  ResilientPropagation rprop;

  explicit Setup(int hiddenOrder, int threads = 1) : w1(hiddenOrder, HigherOrderStart::Drawn) {
    rprop.maximalStep = kW1MaximalStep;
    rprop.setThreadCount(threads);
    const TrainingContext c = w1.context();
    if (!rprop.Attach(&c)) throw std::runtime_error("attach failed");
  }
  double rms() { return w1.rms(); }
};

void BM_W1Epoch(benchmark::State& st) {
  Setup s(static_cast<int>(st.range(0)));
  for (auto _ : st) s.rprop.Epoch();
  st.counters["rms"] = s.rms();
}
BENCHMARK(BM_W1Epoch)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// The same epoch with the gradient shared among threads (arguments: order, threads); the
// weights are those of one thread. "parts": the threads the epoch actually used.
void BM_W1EpochThreads(benchmark::State& st) {
  Setup s(static_cast<int>(st.range(0)), static_cast<int>(st.range(1)));
  for (auto _ : st) s.rprop.Epoch();
  st.counters["rms"] = s.rms();
  st.counters["parts"] = s.rprop.state->PartsFor(static_cast<int>(s.w1.rows.size()));
}
BENCHMARK(BM_W1EpochThreads)->ArgsProduct({{1, 2, 3}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The workload's whole run: 200 epochs from the shared start, and the error it ends with.
void BM_W1Run(benchmark::State& st) {
  double rms = 0;
  for (auto _ : st) {
    st.PauseTiming();
    Setup s(1);
    st.ResumeTiming();
    for (int e = 0; e < kW1Epochs; ++e) s.rprop.Epoch();
    st.PauseTiming();
    rms = s.rms();
    st.ResumeTiming();
  }
  st.counters["rms"] = rms;
}
BENCHMARK(BM_W1Run)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
