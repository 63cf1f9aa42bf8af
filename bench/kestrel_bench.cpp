// kestrel's batch Rprop epoch on workload W1: 10,000 rows of 8 inputs, an 8-16-1 network (tanh
// hidden layer, linear output) started from the shared initial weights, η− 0.5, η+ 1.2, Δ0 0.1,
// Δmin 1e-8, Δmax 50. Times one epoch for first-, second- and third-order hidden neurons, and
// reports the training RMS error after the workload's 200 epochs.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "mlp/engine/perceptron.h"
#include "platform/random.h"
#include "plugins/rprop/resilient_propagation.h"

namespace {

constexpr int kInputs = 8;
constexpr int kHidden = 16;
constexpr int kEpochs = 200;  // the workload's run length
constexpr double kMaximalStep = 50.0;

struct InitialWeight {
  int layer;  // 0 hidden, 1 output
  int to;
  int from;
  double weight;
};

struct W1 {
  std::vector<std::vector<double>> rows;  // x1..x8, y
  std::vector<InitialWeight> initial;
};

// w1_init_weights.csv: "layer,to,from,weight" with layer "hidden" or "output".
std::vector<InitialWeight> readInitialWeights(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string line;
  std::getline(in, line);
  std::vector<InitialWeight> out;
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string layer, to, from, weight;
    if (!std::getline(fields, layer, ',') || !std::getline(fields, to, ',') ||
        !std::getline(fields, from, ',') || !std::getline(fields, weight))
      throw std::runtime_error("malformed line in " + path + ": " + line);
    out.push_back({layer == "hidden" ? 0 : 1, std::stoi(to), std::stoi(from), std::stod(weight)});
  }
  return out;
}

const W1& w1() {
  static const W1 data = [] {
    W1 d;
    d.rows = lumivane::bench::readCsv(lumivane::bench::dataDir() + "/w1_mlp_train.csv", true);
    d.initial = readInitialWeights(lumivane::bench::dataDir() + "/w1_init_weights.csv");
    return d;
  }();
  return data;
}

// The shared weights: column "from" 8 of the hidden layer and 16 of the output is the bias, which
// is also the position of the bias in a neuron's weights. Higher-order weights keep the values the
// network drew.
std::unique_ptr<Perceptron> makeNetwork(int hiddenOrder) {
  platform::crtSrand(1);
  int counts[] = {kHidden, 1}, orders[] = {hiddenOrder, 1};
  auto net = std::make_unique<Perceptron>(kInputs, 2, counts, orders, "tl");
  for (const InitialWeight& w : w1().initial) net->neurons[w.layer][w.to]->weights[w.from] = w.weight;
  return net;
}

struct Setup {
  std::unique_ptr<Perceptron> net;
  std::vector<std::vector<double>> rows;
  std::vector<double*> questions, answers;
  int exists = 1, counter = 0;
  ResilientPropagation rprop;

  explicit Setup(int hiddenOrder) : net(makeNetwork(hiddenOrder)), rows(w1().rows) {
    for (auto& row : rows) {
      questions.push_back(row.data());
      answers.push_back(row.data() + kInputs);
    }
    rprop.maximalStep = kMaximalStep;
    TrainingContext c;
    c.network = net.get();
    c.networkExists = &exists;
    c.questions = questions.data();
    c.answers = answers.data();
    c.inputCount = kInputs;
    c.outputCount = 1;
    c.trainingCount = static_cast<int>(rows.size());
    c.epochCounter = &counter;
    if (!rprop.Attach(&c)) throw std::runtime_error("attach failed");
  }
  double rms() {
    return net->RmsError(questions.data(), kInputs, answers.data(), 1, static_cast<int>(rows.size()));
  }
};

void BM_W1Epoch(benchmark::State& st) {
  Setup s(static_cast<int>(st.range(0)));
  for (auto _ : st) s.rprop.Epoch();
  st.counters["rms"] = s.rms();
}
BENCHMARK(BM_W1Epoch)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// The workload's whole run: 200 epochs from the shared start, and the error it ends with.
void BM_W1Run(benchmark::State& st) {
  double rms = 0;
  for (auto _ : st) {
    st.PauseTiming();
    Setup s(1);
    st.ResumeTiming();
    for (int e = 0; e < kEpochs; ++e) s.rprop.Epoch();
    st.PauseTiming();
    rms = s.rms();
    st.ResumeTiming();
  }
  st.counters["rms"] = rms;
}
BENCHMARK(BM_W1Run)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
