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

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "mlp/engine/perceptron.h"
#include "mlp/engine/training_algorithm.h"
#include "platform/dynamic_library.h"
#include "platform/random.h"
#include "plugins/rprop/resilient_propagation.h"

namespace {

constexpr int kInputs = 8;
constexpr int kHidden = 16;
constexpr int kEpochs = 200;  // the workload's run length
// The workload's step limits and factors (the plug-in's own default Δmax is 10).
constexpr double kMaximalStep = 50.0;
constexpr double kMinimalStep = 1e-8;
constexpr double kInitialStep = 0.1;
constexpr double kDecreaseFactor = 0.5;
constexpr double kIncreaseFactor = 1.2;

struct InitialWeight {
  int layer;  // 0 hidden, 1 output
  int to;
  int from;  // 8 (hidden) or 16 (output) is the bias, also its index in a neuron's weights
  double weight;
};

// w1_init_weights.csv: "layer,to,from,weight" with layer "hidden" or "output".
std::vector<InitialWeight> readInitialWeights(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string line;
  std::getline(in, line);
  std::vector<InitialWeight> out;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::stringstream fields(line);
    std::string layer, to, from, weight;
    if (!std::getline(fields, layer, ',') || !std::getline(fields, to, ',') ||
        !std::getline(fields, from, ',') || !std::getline(fields, weight))
      throw std::runtime_error("malformed line in " + path + ": " + line);
    out.push_back({layer == "hidden" ? 0 : 1, std::stoi(to), std::stoi(from), std::stod(weight)});
  }
  // 16 hidden neurons × (8 inputs + bias) + 16 hidden outputs + bias.
  if (out.size() != kHidden * (kInputs + 1) + kHidden + 1)
    throw std::runtime_error("unexpected number of weights in " + path);
  return out;
}

struct W1 {
  std::vector<std::vector<double>> rows;  // x1..x8, y
  std::vector<InitialWeight> initial;
};

const W1& w1() {
  static const W1 data = [] {
    W1 d;
    d.rows = lumivane::bench::readCsv(lumivane::bench::dataDir() + "/w1_mlp_train.csv", true);
    d.initial = readInitialWeights(lumivane::bench::dataDir() + "/w1_init_weights.csv");
    for (const auto& row : d.rows)
      if (row.size() != kInputs + 1) throw std::runtime_error("w1_mlp_train.csv: a row without 9 values");
    return d;
  }();
  return data;
}

std::unique_ptr<Perceptron> makeNetwork(int hiddenOrder) {
  platform::crtSrand(1);
  const int counts[] = {kHidden, 1};
  const int orders[] = {hiddenOrder, 1};
  auto net = std::make_unique<Perceptron>(kInputs, 2, counts, orders, "tl");
  for (int layer = 0; layer < 2; ++layer)
    for (int j = 0; j < net->neuronCounts[layer]; ++j) {
      Neuron* n = net->neurons[layer][j];
      std::fill(n->AllWeights(), n->AllWeights() + n->WeightCount(), 0.0);
    }
  for (const InitialWeight& w : w1().initial) net->neurons[w.layer][w.to]->weights[w.from] = w.weight;
  return net;
}

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
  rprop.initialStep = kInitialStep;
  rprop.minimalStep = kMinimalStep;
  rprop.maximalStep = kMaximalStep;
  rprop.decreaseFactor = kDecreaseFactor;
  rprop.increaseFactor = kIncreaseFactor;
}

struct Run {
  std::unique_ptr<Perceptron> net;
  std::vector<std::vector<double>> rows;
  std::vector<double*> questions, answers;
  int exists = 1, counter = 0;

  explicit Run(int hiddenOrder) : net(makeNetwork(hiddenOrder)), rows(w1().rows) {
    for (auto& row : rows) {
      questions.push_back(row.data());
      answers.push_back(row.data() + kInputs);
    }
  }
  void attach(TrainingAlgorithm& algorithm) {
    TrainingContext c;
    c.network = net.get();
    c.networkExists = &exists;
    c.questions = questions.data();
    c.answers = answers.data();
    c.inputCount = kInputs;
    c.outputCount = 1;
    c.trainingCount = static_cast<int>(rows.size());
    c.epochCounter = &counter;
    if (!algorithm.Attach(&c)) throw std::runtime_error("kestrel refused to attach");
  }
  double rms() {
    return net->RmsError(questions.data(), kInputs, answers.data(), 1, static_cast<int>(rows.size()));
  }
};

// The whole 200-epoch run from the shared start; each iteration starts afresh.
void BM_W1PluginRun(benchmark::State& state) {
  TrainingAlgorithm& algorithm = kestrel();
  setWorkloadParameters(algorithm);
  double seconds = 0, rms0 = 0, rms = 0;
  int epochs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Run run(static_cast<int>(state.range(0)));
    rms0 = run.rms();
    run.attach(algorithm);
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (int e = 0; e < kEpochs; ++e) algorithm.Epoch();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    epochs = run.counter;
    rms = run.rms();
    algorithm.Detach();
    state.ResumeTiming();
  }
  if (epochs != kEpochs) state.SkipWithError("the plug-in did not count every epoch");
  state.counters["ms_per_epoch"] = 1000.0 * seconds / (kEpochs * static_cast<double>(state.iterations()));
  state.counters["rms0"] = rms0;
  state.counters["rms"] = rms;
  state.SetLabel(algorithm.Name());
}
BENCHMARK(BM_W1PluginRun)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
