// The batch gradient that drives Rprop, against central differences of
// E = ½ Σ_e Σ_k (y_k − t_k)² computed with the network's own forward pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "mlp/engine/perceptron.h"
#include "platform/random.h"
#include "plugins/rprop/resilient_network_state.h"

namespace {

struct Shape {
  const char* name;
  int inputs;
  std::vector<int> counts;
  std::vector<int> orders;
  std::string codes;
};

void PrintTo(const Shape& s, std::ostream* os) {
  *os << s.name;
}

class BatchGradientTest : public ::testing::TestWithParam<Shape> {
 protected:
  static constexpr int kExamples = 5;

  // E = ½ Σ over the examples and outputs of the squared error.
  double halfSquaredError(Perceptron& net) {
    std::vector<double> answer(static_cast<std::size_t>(net.outputs));
    double sum = 0.0;
    for (int e = 0; e < kExamples; ++e) {
      net.Answer(questions[e], net.inputs, answer.data(), net.outputs);
      for (int k = 0; k < net.outputs; ++k) sum += (answer[k] - targets[e][k]) * (answer[k] - targets[e][k]);
    }
    return 0.5 * sum;
  }

  std::vector<std::vector<double>> questionRows, targetRows;
  std::vector<double*> questions, targets;
};

TEST_P(BatchGradientTest, EveryWeightsGradientMatchesCentralDifferences) {
  const Shape& shape = GetParam();
  platform::crtSrand(11);
  Perceptron net(shape.inputs, static_cast<int>(shape.counts.size()), shape.counts.data(),
                 shape.orders.data(), shape.codes.c_str());
  const int outputs = net.outputs;
  // Inputs and targets spread over [-1, 1): the regime of normalised data.
  for (int e = 0; e < kExamples; ++e) {
    std::vector<double> q(static_cast<std::size_t>(shape.inputs)), t(static_cast<std::size_t>(outputs));
    for (double& v : q) v = 2.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.0;
    for (double& v : t) v = 2.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.0;
    questionRows.push_back(q);
    targetRows.push_back(t);
  }
  for (int e = 0; e < kExamples; ++e) {
    questions.push_back(questionRows[e].data());
    targets.push_back(targetRows[e].data());
  }

  ResilientNetworkState state(net);
  state.AccumulateGradient(questions.data(), targets.data(), kExamples);

  const double h = 1e-5;
  int checked = 0;
  for (int l = 0; l < net.layerCount; ++l)
    for (int j = 0; j < net.neuronCounts[l]; ++j) {
      Neuron& neuron = *net.neurons[l][j];
      const ResilientNeuronState& s = state.neuronState(l, j);
      ASSERT_EQ(s.size(), neuron.WeightCount());
      for (std::size_t k = 0; k < neuron.WeightCount(); ++k) {
        double& w = neuron.AllWeights()[k];
        const double keep = w;
        w = keep + h;
        const double up = halfSquaredError(net);
        w = keep - h;
        const double down = halfSquaredError(net);
        w = keep;
        const double numeric = (up - down) / (2 * h);
        EXPECT_NEAR(s.gradient()[k], numeric, 1e-6 * std::max(1.0, std::abs(numeric)))
            << "layer " << l << " neuron " << j << " weight " << k;
        ++checked;
      }
    }
  EXPECT_EQ(static_cast<std::size_t>(checked), net.WeightCount());
}

TEST_P(BatchGradientTest, TheForwardPassWithDerivativesAgreesWithTheNetwork) {
  const Shape& shape = GetParam();
  platform::crtSrand(5);
  Perceptron net(shape.inputs, static_cast<int>(shape.counts.size()), shape.counts.data(),
                 shape.orders.data(), shape.codes.c_str());
  std::vector<double> q(static_cast<std::size_t>(shape.inputs));
  for (std::size_t i = 0; i < q.size(); ++i) q[i] = 0.9 - 0.35 * static_cast<double>(i);
  std::vector<double> expected(static_cast<std::size_t>(net.outputs));
  net.Answer(q.data(), net.inputs, expected.data(), net.outputs);

  ResilientNetworkState state(net);
  state.ForwardWithDerivatives(q.data());
  const int last = net.layerCount - 1;
  for (int k = 0; k < net.outputs; ++k) {
    EXPECT_EQ(net.layerOutputs[last][k], expected[k]);
    const double y = expected[k];
    EXPECT_DOUBLE_EQ(net.layerDerivatives[last][k], net.functionCodes[last] == 'l' ? 1.0 : 1.0 - y * y);
  }
}

// One, two and three layers; every order in the output layer and below it; tanh and linear.
const Shape kShapes[] = {
    {"one_layer_order1_tanh", 3, {2}, {1}, "t"},
    {"one_layer_order2_linear", 3, {2}, {2}, "l"},
    {"one_layer_order3_tanh", 3, {2}, {3}, "t"},
    {"two_layers_order1_1", 4, {3, 2}, {1, 1}, "tl"},
    {"two_layers_order2_1", 4, {3, 1}, {2, 1}, "tl"},
    {"two_layers_order1_2", 3, {4, 2}, {1, 2}, "tt"},
    {"two_layers_order3_2", 3, {3, 2}, {3, 2}, "lt"},
    {"two_layers_order1_3", 2, {4, 1}, {1, 3}, "tl"},
    {"three_layers_order2_3_1", 3, {3, 3, 2}, {2, 3, 1}, "ttl"},
    {"three_layers_order3_1_2", 2, {4, 3, 1}, {3, 1, 2}, "ltt"},
    {"three_layers_order3_3_3", 3, {3, 2, 2}, {3, 3, 3}, "tll"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, BatchGradientTest, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
