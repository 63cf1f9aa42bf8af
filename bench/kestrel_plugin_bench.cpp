// Workload W1 through the real kestrel plug-in: libkestrel.so is loaded at run time and its
// algorithm obtained from getAlgorithm, as Vantor does, then 200 batch Rprop epochs train an
// 8-16-1 network (tanh hidden layer, linear output) on the 10,000 shared rows, η− 0.5, η+ 1.2,
// Δ0 0.1, Δmin 1e-8, Δmax 50. Reports ms per epoch and the training RMS error before and after,
// for first-, second- and third-order hidden neurons.
//
// The network starts as exactly the function of the shared initial weights: their linear
// weights and biases are copied, the pair and triple weights of higher-order neurons are zero.
// So the starting error (rms0) is the same for every order and equals the peer's.
//
// The plug-in is the one built beside this program (KESTREL_PLUGIN_DEFAULT) unless the
// environment variable KESTREL_PLUGIN names another file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "bench/w1_workload.h"
#include "mlp/engine/training_algorithm.h"
#include "platform/dynamic_library.h"
#include "plugins/rprop/resilient_propagation.h"

namespace {

using namespace lumivane::bench;

// The plug-in library and its algorithm, loaded once for the whole program.
TrainingAlgorithm& kestrel() {
  static platform::DynamicLibrary library;
  static TrainingAlgorithm* algorithm = [] {
    const char* override = std::getenv("KESTREL_PLUGIN");
    const std::string path = override ? override : KESTREL_PLUGIN_DEFAULT;
    if (!library.load(path)) throw std::runtime_error("cannot load " + path + ": " + library.lastError());
    auto get = reinterpret_cast<GetAlgorithmFunction>(library.symbol(kGetAlgorithmSymbol));
    if (!get) throw std::runtime_error(path + " exports no " + kGetAlgorithmSymbol);
    TrainingAlgorithm* a = get();
    if (!a) throw std::runtime_error(path + " offers no algorithm");
    return a;
  }();
  return *algorithm;
}

// The parameters the user would type into the plug-in's dialog. kestrel's algorithm object is a
// ResilientPropagation (the same declarations on both sides of the boundary); its public
// parameter fields are plain data, written here without calling any of its code.
void setWorkloadParameters(TrainingAlgorithm& algorithm) {
  auto& rprop = static_cast<ResilientPropagation&>(algorithm);
  rprop.initialStep = kW1InitialStep;
  rprop.minimalStep = kW1MinimalStep;
  rprop.maximalStep = kW1MaximalStep;
  rprop.decreaseFactor = kW1DecreaseFactor;
  rprop.increaseFactor = kW1IncreaseFactor;
}

// The whole 200-epoch run from the shared start; each iteration starts afresh.
void BM_W1PluginRun(benchmark::State& state) {
  TrainingAlgorithm& algorithm = kestrel();
  setWorkloadParameters(algorithm);
  double seconds = 0, rms0 = 0, rms = 0;
  int epochs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    W1Training run(static_cast<int>(state.range(0)), HigherOrderStart::Zero);
    rms0 = run.rms();
    const TrainingContext context = run.context();
    if (!algorithm.Attach(&context)) {
      state.SkipWithError("kestrel refused to attach");
      return;
    }
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (int e = 0; e < kW1Epochs; ++e) algorithm.Epoch();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    epochs = run.counter;
    rms = run.rms();
    algorithm.Detach();
    state.ResumeTiming();
  }
  if (epochs != kW1Epochs) state.SkipWithError("the plug-in did not count every epoch");
  state.counters["ms_per_epoch"] = 1000.0 * seconds / (kW1Epochs * static_cast<double>(state.iterations()));
  state.counters["rms0"] = rms0;
  state.counters["rms"] = rms;
  state.SetLabel(algorithm.Name());
}
BENCHMARK(BM_W1PluginRun)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
