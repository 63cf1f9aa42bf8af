#include "bench/w1_workload.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "bench/bench_data.h"
#include "platform/random.h"

namespace lumivane::bench {
namespace {

struct InitialWeight {
  int layer;  // 0 hidden, 1 output
  int to;
  int from;
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
    std::stringstream fields(line);
    std::string layer, to, from, weight;
    if (!std::getline(fields, layer, ',') || !std::getline(fields, to, ',') ||
        !std::getline(fields, from, ',') || !std::getline(fields, weight))
      throw std::runtime_error("malformed line in " + path + ": " + line);
    out.push_back({layer == "hidden" ? 0 : 1, std::stoi(to), std::stoi(from), std::stod(weight)});
  }
  return out;
}

struct W1Data {
  std::vector<std::vector<double>> rows;
  std::vector<InitialWeight> initial;
};

const W1Data& w1Data() {
  static const W1Data data = [] {
    W1Data d;
    d.rows = readCsv(dataDir() + "/w1_mlp_train.csv", true);
    d.initial = readInitialWeights(dataDir() + "/w1_init_weights.csv");
    return d;
  }();
  return data;
}

std::unique_ptr<Perceptron> makeNetwork(int hiddenOrder, HigherOrderStart start) {
  platform::crtSrand(1);
  const int counts[] = {kW1Hidden, 1};
  const int orders[] = {hiddenOrder, 1};
  auto net = std::make_unique<Perceptron>(kW1Inputs, 2, counts, orders, "tl");
  if (start == HigherOrderStart::Zero)
    for (int layer = 0; layer < 2; ++layer)
      for (int j = 0; j < net->neuronCounts[layer]; ++j) {
        Neuron* n = net->neurons[layer][j];
        std::fill(n->AllWeights(), n->AllWeights() + n->WeightCount(), 0.0);
      }
  for (const InitialWeight& w : w1Data().initial) net->neurons[w.layer][w.to]->weights[w.from] = w.weight;
  return net;
}

}  // namespace

W1Training::W1Training(int hiddenOrder, HigherOrderStart start)
    : net(makeNetwork(hiddenOrder, start)), rows(w1Data().rows) {
  for (auto& row : rows) {
    questions.push_back(row.data());
    answers.push_back(row.data() + kW1Inputs);
  }
}

TrainingContext W1Training::context() {
  TrainingContext c;
  c.network = net.get();
  c.networkExists = &exists;
  c.questions = questions.data();
  c.answers = answers.data();
  c.inputCount = kW1Inputs;
  c.outputCount = 1;
  c.trainingCount = static_cast<int>(rows.size());
  c.epochCounter = &counter;
  return c;
}

double W1Training::rms() {
  return net->RmsError(questions.data(), kW1Inputs, answers.data(), 1, static_cast<int>(rows.size()));
}

}  // namespace lumivane::bench
