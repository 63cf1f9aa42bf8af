// The block computation of the batch gradient against the network's own forward pass and the
// neuron states' one-example operations: the results must agree bit for bit, whatever the layer
// widths, the number of examples per block and the mix of orders.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mlp/engine/network_activation.h"
#include "mlp/engine/perceptron.h"
#include "platform/random.h"
#include "plugins/rprop/dense_kernels.h"
#include "plugins/rprop/resilient_network_state.h"

namespace {

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct BlockShape {
  const char* name;
  int inputs;
  std::vector<int> counts;
  std::vector<int> orders;
  std::string codes;
};

void PrintTo(const BlockShape& s, std::ostream* os) {
  *os << s.name;
}

// A different activation for a 't' layer: the state must notice and use it as it is.
double scaledTanh(double s) {
  return 1.5 * std::tanh(s);
}
double scaledTanhDerivative(double, double y) {
  return 1.5 - y * y / 1.5;
}

class BlockGradientTest : public ::testing::TestWithParam<BlockShape> {
 protected:
  // Two whole blocks and a partial one.
  static constexpr int kExamples = 2 * ResilientNetworkState::kBlockRows + 11;

  void SetUp() override {
    const BlockShape& shape = GetParam();
    platform::crtSrand(23);
    net = std::make_unique<Perceptron>(shape.inputs, static_cast<int>(shape.counts.size()),
                                       shape.counts.data(), shape.orders.data(), shape.codes.c_str());
    // Weights up to ±2 and inputs up to ±1.5, so tanh layers meet both halves of the function.
    net->Randomize(2.0);
    for (int e = 0; e < kExamples; ++e) {
      std::vector<double> q(static_cast<std::size_t>(shape.inputs)),
          t(static_cast<std::size_t>(net->outputs));
      for (double& v : q) v = 3.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.5;
      for (double& v : t) v = 2.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.0;
      questionRows.push_back(q);
      targetRows.push_back(t);
    }
    for (int e = 0; e < kExamples; ++e) {
      questions.push_back(questionRows[e].data());
      targets.push_back(targetRows[e].data());
    }
  }

  // One example after another: the network's forward pass with derivatives, then δ top down
  // through separate neuron states (their own gradient arrays), gradients summed in example order.
  std::vector<std::vector<std::unique_ptr<ResilientNeuronState>>> referenceGradients() {
    Perceptron& n = *net;
    const int last = n.layerCount - 1;
    std::vector<std::vector<std::unique_ptr<ResilientNeuronState>>> states(
        static_cast<std::size_t>(n.layerCount));
    std::vector<std::vector<double>> deltas(static_cast<std::size_t>(n.layerCount));
    for (int l = 0; l < n.layerCount; ++l) {
      for (int j = 0; j < n.neuronCounts[l]; ++j) states[l].push_back(makeResilientState(*n.neurons[l][j]));
      deltas[l].resize(static_cast<std::size_t>(n.neuronCounts[l]));
    }
    for (int e = 0; e < kExamples; ++e) {
      n.AnswerWithDerivatives(questions[e], n.inputs, n.layerOutputs[last], n.layerDerivatives[last],
                              n.outputs);
      for (int j = 0; j < n.outputs; ++j)
        deltas[last][j] = (n.layerOutputs[last][j] - targets[e][j]) * n.layerDerivatives[last][j];
      for (int l = last; l >= 0; --l) {
        const double* in = l == 0 ? questions[e] : n.layerOutputs[l - 1];
        for (int j = 0; j < n.neuronCounts[l]; ++j) states[l][j]->Accumulate(in, deltas[l][j]);
        if (l == 0) break;
        std::vector<double>& below = deltas[l - 1];
        std::fill(below.begin(), below.end(), 0.0);
        for (int k = 0; k < n.neuronCounts[l]; ++k) {
          const double* x = n.layerOutputs[l - 1];
          for (int m = 0; m < n.neuronCounts[l - 1]; ++m)
            below[m] += states[l][k]->InputDerivative(m, x) * deltas[l][k];
        }
        for (int m = 0; m < n.neuronCounts[l - 1]; ++m) below[m] = n.layerDerivatives[l - 1][m] * below[m];
      }
    }
    return states;
  }

  void expectIdenticalToReference() {
    const auto reference = referenceGradients();
    ResilientNetworkState state(*net);
    state.AccumulateGradient(questions.data(), targets.data(), kExamples);
    int differing = 0;
    for (int l = 0; l < net->layerCount; ++l)
      for (int j = 0; j < net->neuronCounts[l]; ++j) {
        const ResilientNeuronState& s = state.neuronState(l, j);
        for (std::size_t k = 0; k < s.size(); ++k)
          if (!sameBits(s.gradient()[k], reference[l][j]->gradient()[k])) {
            ADD_FAILURE() << "layer " << l << " neuron " << j << " weight " << k << ": " << s.gradient()[k]
                          << " != " << reference[l][j]->gradient()[k];
            if (++differing > 5) return;
          }
      }
    // The scratch arrays end with the last example, as the network's forward pass leaves them.
    std::vector<std::vector<double>> outputs, slopes;
    for (int l = 0; l < net->layerCount; ++l) {
      outputs.emplace_back(net->layerOutputs[l], net->layerOutputs[l] + net->neuronCounts[l]);
      slopes.emplace_back(net->layerDerivatives[l], net->layerDerivatives[l] + net->neuronCounts[l]);
    }
    const int last = net->layerCount - 1;
    std::vector<double> answer(static_cast<std::size_t>(net->outputs)), slope(answer.size());
    net->AnswerWithDerivatives(questions[kExamples - 1], net->inputs, answer.data(), slope.data(),
                               net->outputs);
    for (int l = 0; l < last; ++l)
      for (int j = 0; j < net->neuronCounts[l]; ++j) {
        EXPECT_TRUE(sameBits(outputs[l][j], net->layerOutputs[l][j])) << "layer " << l << " neuron " << j;
        EXPECT_TRUE(sameBits(slopes[l][j], net->layerDerivatives[l][j])) << "layer " << l << " neuron " << j;
      }
    for (int j = 0; j < net->outputs; ++j) {
      EXPECT_TRUE(sameBits(outputs[last][j], answer[j]));
      EXPECT_TRUE(sameBits(slopes[last][j], slope[j]));
    }
  }

  std::unique_ptr<Perceptron> net;
  std::vector<std::vector<double>> questionRows, targetRows;
  std::vector<double*> questions, targets;
};

TEST_P(BlockGradientTest, GradientIsBitForBitThatOfOneExampleAtATime) {
  // The vectorised activations must be the ones in use, or this would only test the fallback.
  for (int l = 0; l < net->layerCount; ++l) {
    ResilientNetworkState state(*net);
    EXPECT_EQ(state.activationKind(l), net->functionCodes[l] == 't'
                                           ? ResilientNetworkState::ActivationKind::kTanh
                                           : ResilientNetworkState::ActivationKind::kLinear);
  }
  expectIdenticalToReference();
}

TEST_P(BlockGradientTest, AnotherActivationBehindATanhCodeIsUsedAsItIs) {
  net->activations[0] = &scaledTanh;
  net->derivatives[0] = &scaledTanhDerivative;
  ResilientNetworkState state(*net);
  EXPECT_EQ(state.activationKind(0), ResilientNetworkState::ActivationKind::kNetworkFunction);
  expectIdenticalToReference();
}

const BlockShape kBlockShapes[] = {
    {"w1_8_16_1", 8, {16, 1}, {1, 1}, "tl"},
    {"widths_not_whole_vectors_5_7_3", 5, {7, 3}, {1, 1}, "tt"},
    {"wide_layer_3_21_2", 3, {21, 2}, {1, 1}, "tl"},
    {"three_layers_3_6_5_2", 3, {6, 5, 2}, {1, 1, 1}, "tlt"},
    {"second_order_hidden_4_5_2", 4, {5, 2}, {2, 1}, "tl"},
    {"third_order_output_3_4_3", 3, {4, 3}, {1, 3}, "tt"},
    {"one_layer_9_1", 9, {1}, {1}, "l"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, BlockGradientTest, ::testing::ValuesIn(kBlockShapes),
                         [](const ::testing::TestParamInfo<BlockShape>& info) {
                           return std::string(info.param.name);
                         });

TEST(RpropKernelTest, TanhKernelIsTheNetworksTanhBitForBit) {
  // A dense sweep over both halves, the neighbourhood of where they meet, and special values.
  std::vector<double> s;
  for (int k = -200000; k < 200000; ++k) s.push_back(k * 1.25e-4);
  for (double edge : {0.625, -0.625}) {
    double v = edge;
    for (int k = 0; k < 50; ++k) v = std::nextafter(v, 0.0);
    for (int k = 0; k < 100; ++k, v = std::nextafter(v, 2 * edge)) s.push_back(v);
  }
  for (double v : {-0.0, 1e-310, 30.0, -30.0, 1e300, HUGE_VAL, -HUGE_VAL}) s.push_back(v);
  while (s.size() % rprop_kernels::kLanes) s.push_back(0.25);
  std::vector<double> y = s, slope(s.size());
  rprop_kernels::tanhWithSlope(y.data(), slope.data(), static_cast<int>(y.size()));
  int differing = 0;
  for (std::size_t k = 0; k < s.size() && differing < 5; ++k) {
    const double expected = tanhActivation(s[k]);
    if (!sameBits(y[k], expected) || !sameBits(slope[k], tanhDerivative(s[k], expected))) {
      ADD_FAILURE() << "tanh(" << s[k] << "): " << y[k] << " != " << expected;
      ++differing;
    }
  }
  // NaN stays NaN.
  double nan[rprop_kernels::kLanes] = {std::nan(""), 0.0, 0.0, 0.0}, nanSlope[rprop_kernels::kLanes];
  rprop_kernels::tanhWithSlope(nan, nanSlope, rprop_kernels::kLanes);
  EXPECT_TRUE(std::isnan(nan[0]));
}

// The far values (|s| ≥ 0.625) are gathered and evaluated a group of vectors at a time, with a
// short last vector padded: every count of far values, in every position of a call of any
// length, including calls longer than the kernel's internal chunk, must give the network's tanh.
TEST(RpropKernelTest, TanhKernelMatchesForEveryMixOfNearAndFarValues) {
  unsigned long long state = 0x9E3779B97F4A7C15ULL;  // xorshift64
  auto next = [&] {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return static_cast<double>(state >> 11) * 0x1p-53;
  };
  int differing = 0;
  for (int count = rprop_kernels::kLanes; count <= 600 && differing < 5; count += rprop_kernels::kLanes) {
    // From all near to all far, changing with the count.
    const double farShare = (count / rprop_kernels::kLanes % 9) / 8.0;
    std::vector<double> s(static_cast<std::size_t>(count));
    for (double& v : s) {
      const double magnitude = next() < farShare ? 0.625 + next() * 4.0 : next() * 0.625;
      v = next() < 0.5 ? -magnitude : magnitude;
    }
    if (count % 40 == 0) s.back() = -HUGE_VAL;  // a special value in the last, short vector
    std::vector<double> y = s, slope(s.size());
    rprop_kernels::tanhWithSlope(y.data(), slope.data(), count);
    for (int k = 0; k < count && differing < 5; ++k) {
      const double expected = tanhActivation(s[k]);
      if (!sameBits(y[k], expected) || !sameBits(slope[k], tanhDerivative(s[k], expected))) {
        ADD_FAILURE() << "count " << count << ", tanh(" << s[k] << "): " << y[k] << " != " << expected;
        ++differing;
      }
    }
  }
  // NaN among far values stays NaN and leaves its neighbours alone.
  double mixed[] = {0.7, std::nan(""), -3.0, 0.1, 2.0, 0.9, 1.5};
  double values[8], slopes[8];
  std::copy(mixed, mixed + 7, values);
  values[7] = -0.8;
  rprop_kernels::tanhWithSlope(values, slopes, 8);
  EXPECT_TRUE(std::isnan(values[1]));
  EXPECT_TRUE(sameBits(values[0], tanhActivation(0.7)));
  EXPECT_TRUE(sameBits(values[2], tanhActivation(-3.0)));
  EXPECT_TRUE(sameBits(values[7], tanhActivation(-0.8)));
}

}  // namespace
