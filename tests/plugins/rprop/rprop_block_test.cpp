// The block computation of the batch gradient against the network's own forward pass and the
// neuron states' one-example operations: the results must agree bit for bit, whatever the layer
// widths, the number of examples per block and the mix of orders, on the baseline and the AVX2
// build of the vector kernels alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mlp/engine/network_activation.h"
#include "mlp/engine/perceptron.h"
#include "platform/random.h"
#include "plugins/rprop/resilient_network_state.h"
#include "plugins/rprop/tanh_kernel.h"
#include "shared/simd.h"

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

// The same on the baseline build of the kernels (the test machine would otherwise only run the
// AVX2 one).
TEST_P(BlockGradientTest, GradientOnTheBaselinePathIsBitForBitThatOfOneExampleAtATime) {
  simd::ScopedPath baseline(simd::Path::kBaseline);
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
    // Input counts whose n and n² are no powers of two (true divisions), layers of one, two and
    // three vectors of neurons and partial ones.
    {"third_order_hidden_5_7_1", 5, {7, 1}, {3, 1}, "tl"},
    {"second_order_wide_3_13_2", 3, {13, 2}, {2, 1}, "tl"},
    {"orders_falling_6_9_5_1", 6, {9, 5, 1}, {3, 2, 1}, "ttl"},
    {"w1_third_order_8_16_1", 8, {16, 1}, {3, 1}, "tl"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, BlockGradientTest, ::testing::ValuesIn(kBlockShapes),
                         [](const ::testing::TestParamInfo<BlockShape>& info) {
                           return std::string(info.param.name);
                         });

// Both builds of the kernel, the baseline and the AVX2 one, on the same values.
class TanhKernelTest : public ::testing::TestWithParam<simd::Path> {
 protected:
  void SetUp() override {
    path_.emplace(GetParam());
    if (!path_->ok()) GTEST_SKIP() << "this processor has no AVX2";
  }
  void TearDown() override { path_.reset(); }

 private:
  std::optional<simd::ScopedPath> path_;
};

TEST_P(TanhKernelTest, TanhKernelIsTheNetworksTanhBitForBit) {
  // A dense sweep over both halves, the neighbourhood of where they meet, and special values.
  std::vector<double> s;
  for (int k = -200000; k < 200000; ++k) s.push_back(k * 1.25e-4);
  for (double edge : {0.625, -0.625}) {
    double v = edge;
    for (int k = 0; k < 50; ++k) v = std::nextafter(v, 0.0);
    for (int k = 0; k < 100; ++k, v = std::nextafter(v, 2 * edge)) s.push_back(v);
  }
  for (double v : {-0.0, 1e-310, 30.0, -30.0, 1e300, HUGE_VAL, -HUGE_VAL}) s.push_back(v);
  while (s.size() % simd::kLanes) s.push_back(0.25);
  std::vector<double> y = s, slope(s.size());
  rprop_tanh::tanhWithSlope(y.data(), slope.data(), static_cast<int>(y.size()));
  int differing = 0;
  for (std::size_t k = 0; k < s.size() && differing < 5; ++k) {
    const double expected = tanhActivation(s[k]);
    if (!sameBits(y[k], expected) || !sameBits(slope[k], tanhDerivative(s[k], expected))) {
      ADD_FAILURE() << "tanh(" << s[k] << "): " << y[k] << " != " << expected;
      ++differing;
    }
  }
  // NaN stays NaN.
  double nan[simd::kLanes] = {std::nan(""), 0.0, 0.0, 0.0}, nanSlope[simd::kLanes];
  rprop_tanh::tanhWithSlope(nan, nanSlope, simd::kLanes);
  EXPECT_TRUE(std::isnan(nan[0]));
}

// The far values (|s| ≥ 0.625) are gathered and evaluated a group of vectors at a time, with a
// short last vector padded: every count of far values, in every position of a call of any
// length, including calls longer than the kernel's internal chunk, must give the network's tanh.
TEST_P(TanhKernelTest, TanhKernelMatchesForEveryMixOfNearAndFarValues) {
  unsigned long long state = 0x9E3779B97F4A7C15ULL;  // xorshift64
  auto next = [&] {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return static_cast<double>(state >> 11) * 0x1p-53;
  };
  int differing = 0;
  for (int count = simd::kLanes; count <= 600 && differing < 5; count += simd::kLanes) {
    // From all near to all far, changing with the count.
    const double farShare = (count / simd::kLanes % 9) / 8.0;
    std::vector<double> s(static_cast<std::size_t>(count));
    for (double& v : s) {
      const double magnitude = next() < farShare ? 0.625 + next() * 4.0 : next() * 0.625;
      v = next() < 0.5 ? -magnitude : magnitude;
    }
    if (count % 40 == 0) s.back() = -HUGE_VAL;  // a special value in the last, short vector
    std::vector<double> y = s, slope(s.size());
    rprop_tanh::tanhWithSlope(y.data(), slope.data(), count);
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
  rprop_tanh::tanhWithSlope(values, slopes, 8);
  EXPECT_TRUE(std::isnan(values[1]));
  EXPECT_TRUE(sameBits(values[0], tanhActivation(0.7)));
  EXPECT_TRUE(sameBits(values[2], tanhActivation(-3.0)));
  EXPECT_TRUE(sameBits(values[7], tanhActivation(-0.8)));
}

INSTANTIATE_TEST_SUITE_P(Paths, TanhKernelTest, ::testing::Values(simd::Path::kBaseline, simd::Path::kAvx2),
                         [](const ::testing::TestParamInfo<simd::Path>& info) {
                           return std::string(info.param == simd::Path::kBaseline ? "baseline" : "avx2");
                         });

// The baseline and the AVX2 build of the kernels on the same problems: whole epochs (the batch
// gradient, then the Rprop step on every weight) and the forward pass with derivatives must give
// the same bytes.

using simd::Path;
using simd::ScopedPath;

// A network and its examples, built the same way for every path.
struct Problem {
  std::unique_ptr<Perceptron> net;
  std::vector<std::vector<double>> questionRows, targetRows;
  std::vector<double*> questions, targets;

  Problem(const BlockShape& shape, int examples) {
    platform::crtSrand(41);
    net = std::make_unique<Perceptron>(shape.inputs, static_cast<int>(shape.counts.size()),
                                       shape.counts.data(), shape.orders.data(), shape.codes.c_str());
    net->Randomize(2.0);
    for (int e = 0; e < examples; ++e) {
      std::vector<double> q(static_cast<std::size_t>(shape.inputs)),
          t(static_cast<std::size_t>(net->outputs));
      for (double& v : q) v = 3.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.5;
      for (double& v : t) v = 2.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.0;
      questionRows.push_back(std::move(q));
      targetRows.push_back(std::move(t));
    }
    for (int e = 0; e < examples; ++e) {
      questions.push_back(questionRows[e].data());
      targets.push_back(targetRows[e].data());
    }
  }

  // Every weight of the network, layer by layer, neuron by neuron.
  std::vector<double> weights() const {
    std::vector<double> w;
    for (int l = 0; l < net->layerCount; ++l)
      for (int j = 0; j < net->neuronCounts[l]; ++j) {
        const Neuron& n = *net->neurons[l][j];
        w.insert(w.end(), n.AllWeights(), n.AllWeights() + n.WeightCount());
      }
    return w;
  }
};

bool sameBytes(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class RpropPathTest : public ::testing::TestWithParam<BlockShape> {
 protected:
  // Two whole blocks and a partial one.
  static constexpr int kExamples = 2 * ResilientNetworkState::kBlockRows + 9;

  void SetUp() override {
    if (!simd::avx2Available()) GTEST_SKIP() << "this processor has no AVX2";
  }

  // Runs f on a fresh problem under each path.
  template <class F>
  void expectSameOnBothPaths(F f) {
    std::vector<double> results[2];
    for (Path path : {Path::kBaseline, Path::kAvx2}) {
      ScopedPath p(path);
      ASSERT_TRUE(p.ok());
      Problem problem(GetParam(), kExamples);
      results[static_cast<int>(path)] = f(problem);
    }
    ASSERT_FALSE(results[0].empty());
    EXPECT_TRUE(sameBytes(results[0], results[1]));
  }
};

// Epochs as the plug-in runs them: the batch gradient, then the Rprop step on every weight.
TEST_P(RpropPathTest, TrainingEpochsAreIdenticalOnBothPaths) {
  expectSameOnBothPaths([](Problem& p) {
    ResilientNetworkState state(*p.net);
    state.Reset(0.1);
    std::vector<double> out;
    for (int epoch = 0; epoch < 6; ++epoch) {
      state.AccumulateGradient(p.questions.data(), p.targets.data(), kExamples);
      state.Update({0.5, 1.2, 1e-8, 50.0});
      const std::vector<double> w = p.weights();
      out.insert(out.end(), w.begin(), w.end());
    }
    return out;
  });
}

// The forward pass with derivatives of the training state, and the network's own.
TEST_P(RpropPathTest, ForwardPassesAreIdenticalOnBothPaths) {
  expectSameOnBothPaths([](Problem& p) {
    ResilientNetworkState state(*p.net);
    Perceptron& n = *p.net;
    std::vector<double> out, answer(static_cast<std::size_t>(n.outputs)),
        slope(static_cast<std::size_t>(n.outputs));
    for (int e = 0; e < kExamples; ++e) {
      state.ForwardWithDerivatives(p.questions[e]);
      for (int l = 0; l < n.layerCount; ++l) {
        out.insert(out.end(), n.layerOutputs[l], n.layerOutputs[l] + n.neuronCounts[l]);
        out.insert(out.end(), n.layerDerivatives[l], n.layerDerivatives[l] + n.neuronCounts[l]);
      }
      n.AnswerWithDerivatives(p.questions[e], n.inputs, answer.data(), slope.data(), n.outputs);
      // The state's last layer and the network's agree on each path as well.
      const double* lastLayer = out.data() + out.size() - 2 * answer.size();
      EXPECT_EQ(std::memcmp(answer.data(), lastLayer, answer.size() * sizeof(double)), 0);
      EXPECT_EQ(std::memcmp(slope.data(), lastLayer + answer.size(), slope.size() * sizeof(double)), 0);
    }
    return out;
  });
}

const BlockShape kPathShapes[] = {
    {"w1_8_16_1", 8, {16, 1}, {1, 1}, "tl"},
    {"widths_not_whole_vectors_5_7_3", 5, {7, 3}, {1, 1}, "tt"},
    {"wide_layers_11_37_19_2", 11, {37, 19, 2}, {1, 1, 1}, "ttl"},
    {"second_order_hidden_4_5_2", 4, {5, 2}, {2, 1}, "tl"},
    {"orders_falling_6_9_5_1", 6, {9, 5, 1}, {3, 2, 1}, "ttl"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, RpropPathTest, ::testing::ValuesIn(kPathShapes),
                         [](const ::testing::TestParamInfo<BlockShape>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
