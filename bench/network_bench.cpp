// Speed of Perceptron::RmsError over 10,000 examples of an 8-16-1 network (tanh hidden layer,
// linear output) for neuron orders 1, 2 and 3, beside FANN 2.2's fann_test_data (double build) on
// the same first-order network and the same data. The data follow workload W1 of the shared
// benchmark set: x uniform in [-1, 1], y = sin(2x1) + x2·x3 − 0.5·x4² + 0.1·x5.
//
#include <benchmark/benchmark.h>
#include <doublefann.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "mlp/engine/perceptron.h"
#include "platform/random.h"

namespace {

constexpr int kExamples = 10000;
constexpr int kInputs = 8;
constexpr int kHidden = 16;

struct Data {
  std::vector<double> questions, targets;
  std::vector<double*> questionRows, targetRows;
  Data() : questions(kExamples * kInputs), targets(kExamples) {
    std::mt19937 engine(20240601);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int e = 0; e < kExamples; ++e) {
      double* x = &questions[static_cast<std::size_t>(e) * kInputs];
      for (int k = 0; k < kInputs; ++k) x[k] = uniform(engine);
      targets[e] = std::sin(2 * x[0]) + x[1] * x[2] - 0.5 * x[3] * x[3] + 0.1 * x[4];
      questionRows.push_back(x);
      targetRows.push_back(&targets[e]);
    }
  }
};

const Data& data() {
  static const Data d;
  return d;
}

std::unique_ptr<Perceptron> network(int order) {
  platform::crtSrand(1);  // the same weights in every run
  const int counts[] = {kHidden, 1};
  const int orders[] = {order, order};
  const char codes[] = {'t', 'l'};
  return std::make_unique<Perceptron>(kInputs, 2, counts, orders, codes);
}

void BM_RmsError(benchmark::State& state) {
  auto net = network(static_cast<int>(state.range(0)));
  const Data& d = data();
  double rms = 0;
  for (auto _ : state) {
    rms = net->RmsError(d.questionRows.data(), kInputs, d.targetRows.data(), 1, kExamples);
    benchmark::DoNotOptimize(rms);
  }
  state.counters["rms"] = rms;
}
BENCHMARK(BM_RmsError)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// FANN on the same network: weights copied from the first-order Perceptron, steepness 1 (tanh).
void BM_FannTestData(benchmark::State& state) {
  auto net = network(1);
  const Data& d = data();
  fann* ann = fann_create_standard(3, kInputs, kHidden, 1);
  fann_set_activation_function_hidden(ann, FANN_SIGMOID_SYMMETRIC);
  fann_set_activation_function_output(ann, FANN_LINEAR);
  fann_set_activation_steepness_hidden(ann, 1.0);
  fann_set_activation_steepness_output(ann, 1.0);
  fann_set_train_error_function(ann, FANN_ERRORFUNC_LINEAR);
  // FANN numbers the neurons: inputs 0..7, bias 8, hidden 9..24, bias 25, output 26.
  for (int j = 0; j < kHidden; ++j) {
    const double* w = net->neurons[0][j]->weights;
    for (int k = 0; k <= kInputs; ++k) fann_set_weight(ann, k, kInputs + 1 + j, w[k]);
  }
  const double* w = net->neurons[1][0]->weights;
  for (int j = 0; j <= kHidden; ++j) fann_set_weight(ann, kInputs + 1 + j, kInputs + kHidden + 2, w[j]);

  fann_train_data* train = fann_create_train(kExamples, kInputs, 1);
  for (int e = 0; e < kExamples; ++e) {
    for (int k = 0; k < kInputs; ++k) train->input[e][k] = d.questionRows[e][k];
    train->output[e][0] = d.targets[e];
  }
  double mse = 0;
  for (auto _ : state) {
    mse = fann_test_data(ann, train);
    benchmark::DoNotOptimize(mse);
  }
  state.counters["rms"] = std::sqrt(mse);  // same network and data: must match BM_RmsError/1
  fann_destroy_train(train);
  fann_destroy(ann);
}
BENCHMARK(BM_FannTestData)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
