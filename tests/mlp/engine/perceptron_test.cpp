#include "mlp/engine/perceptron.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/random.h"
#include "shared/exceptions.h"
#include "tests/mlp/engine/network_test_support.h"

namespace {

using lumivane::test::fillWeights;
using lumivane::test::makeNetwork;
using lumivane::test::ReferenceRand;

// --- construction -------------------------------------------------------------------------------

TEST(PerceptronBuild, LayersFollowTheInvariant) {
  auto net = makeNetwork(4, {3, 5, 2}, {2, 1, 3}, {'t', 'x', 'q'});
  EXPECT_EQ(net->inputs, 4);
  EXPECT_EQ(net->outputs, 2);
  EXPECT_EQ(net->layerCount, 3);
  const int expectedInputs[] = {4, 3, 5};
  const int expectedOrders[] = {2, 1, 3};
  for (int l = 0; l < 3; ++l) {
    for (int j = 0; j < net->neuronCounts[l]; ++j) {
      EXPECT_EQ(net->neurons[l][j]->inputCount, expectedInputs[l]) << l << "," << j;
      EXPECT_EQ(net->neurons[l][j]->Order(), expectedOrders[l]) << l << "," << j;
    }
  }
  // 'x' selects linear (stored 'l'), any unknown code tanh (stored 't').
  EXPECT_EQ(std::string(net->functionCodes, 3), "tlt");
  EXPECT_EQ(net->activations[0], &tanhActivation);
  EXPECT_EQ(net->activations[1], &linearActivation);
  EXPECT_EQ(net->derivatives[1], &linearDerivative);
  EXPECT_EQ(net->activations[2], &tanhActivation);
  EXPECT_EQ(net->derivatives[2], &tanhDerivative);
  EXPECT_EQ(net->WeightCount(), 3u * (5 + 10) + 5u * 4 + 2u * (6 + 15 + 35));
}

TEST(PerceptronBuild, RefusesBadSizesAndOrders) {
  EXPECT_THROW(makeNetwork(0, {1}, {1}, {'t'}), IllegalSizeException);
  EXPECT_THROW(makeNetwork(2, {}, {}, {}), IllegalSizeException);
  EXPECT_THROW(makeNetwork(2, {3, 0}, {1, 1}, {'t', 'l'}), IllegalSizeException);
  EXPECT_THROW(makeNetwork(2, {3, -1}, {1, 1}, {'t', 'l'}), IllegalSizeException);
  EXPECT_THROW(makeNetwork(2, {3, 1}, {1, 4}, {'t', 'l'}), IllegalOrderException);
  EXPECT_THROW(makeNetwork(2, {3, 1}, {0, 1}, {'t', 'l'}), IllegalOrderException);
  NetworkDescription tooDeep;
  tooDeep.layerCount = 6;
  EXPECT_THROW(Perceptron{tooDeep}, IllegalSizeException);
}

// A description with 100000 third-order inputs asks for ~1.7e14 weights per neuron.
TEST(PerceptronBuild, ImpossibleAllocationIsOutOfMemory) {
  try {
    makeNetwork(100000, {1000}, {3}, {'t'});
    FAIL() << "no exception";
  } catch (const OutOfMemoryException& e) {
    EXPECT_STREQ(e.what(), "Out of Memory!");
  }
}

TEST(PerceptronBuild, DefaultDescription) {
  const NetworkDescription d;
  EXPECT_EQ(d.inputs, 2);
  EXPECT_EQ(d.outputs, 1);
  EXPECT_EQ(d.layerCount, 2);
  EXPECT_EQ(std::vector<int>(d.neuronCounts, d.neuronCounts + 5), (std::vector<int>{3, 1, 2, 2, 2}));
  EXPECT_EQ(std::vector<int>(d.orders, d.orders + 5), (std::vector<int>{1, 1, 1, 1, 1}));
  EXPECT_EQ(std::string(d.functionCodes, 5), "tlttt");
  EXPECT_STREQ(d.functionNames[0], "tanh");
  EXPECT_STREQ(d.functionNames[1], "linear");
  Perceptron net(d);
  EXPECT_EQ(net.outputs, 1);
  EXPECT_EQ(std::string(net.functionCodes, 2), "tl");
}

// --- random weights -----------------------------------------------------------------------------

class PerceptronRandom : public ::testing::Test {
 protected:
  void SetUp() override { platform::crtSrand(1); }  // the state the product starts from
  void TearDown() override { platform::crtSrand(1); }
};

// A fresh network ends with Randomize(1.0): its weights are the generator's first draws, layer 0
// first, neurons in index order, each in its visiting order.
TEST_F(PerceptronRandom, FreshNetworkHoldsTheFirstDraws) {
  auto net = makeNetwork(2, {2, 1}, {2, 1}, {'t', 'l'});
  ReferenceRand reference(1);
  for (int j = 0; j < 2; ++j) {
    const auto& n = static_cast<const SecondOrderNeuron&>(*net->neurons[0][j]);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(n.weights[i], reference.weight(1.0));
      for (int k = 0; k <= i; ++k) EXPECT_EQ(n.pairWeights[i][k], reference.weight(1.0));
    }
    EXPECT_EQ(n.weights[2], reference.weight(1.0));
  }
  for (int i = 0; i <= 2; ++i) EXPECT_EQ(net->neurons[1][0]->weights[i], reference.weight(1.0));
  // The very first draw of the never-seeded generator is 41: weight 2·(41·0.0001 − 0.5).
  EXPECT_EQ(net->neurons[0][0]->weights[0], 2 * 1.0 * (41 * 0.0001 - 0.5));
}

TEST_F(PerceptronRandom, AddNoiseAndRangeZero) {
  auto net = makeNetwork(3, {2, 2}, {3, 1}, {'t', 't'});
  fillWeights(*net);
  std::vector<double> before;
  for (int l = 0; l < 2; ++l)
    for (int j = 0; j < 2; ++j)
      before.insert(before.end(), net->neurons[l][j]->AllWeights(),
                    net->neurons[l][j]->AllWeights() + net->neurons[l][j]->WeightCount());

  platform::crtSrand(99);
  net->AddNoise(0.0);
  std::size_t k = 0;
  for (int l = 0; l < 2; ++l)
    for (int j = 0; j < 2; ++j)
      for (std::size_t w = 0; w < net->neurons[l][j]->WeightCount(); ++w)
        EXPECT_EQ(net->neurons[l][j]->AllWeights()[w], before[k++]);

  // The last neuron is first order: its three draws come last, after all of layer 0's.
  platform::crtSrand(99);
  net->AddNoise(0.5);
  ReferenceRand reference(99);
  for (std::size_t skip = 0; skip < 2 * 20 + 3; ++skip) reference.next();
  const Neuron& last = *net->neurons[1][1];
  const std::size_t lastStart = before.size() - 3;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(last.weights[i], before[lastStart + i] + reference.weight(0.5));

  net->Randomize(0.0);
  for (int l = 0; l < 2; ++l)
    for (int j = 0; j < 2; ++j)
      for (std::size_t w = 0; w < net->neurons[l][j]->WeightCount(); ++w)
        EXPECT_EQ(net->neurons[l][j]->AllWeights()[w], 0.0);
}

// --- forward pass -------------------------------------------------------------------------------

TEST(PerceptronAnswer, OneLayerMapsTheQuestionStraightToTheOutputs) {
  auto net = makeNetwork(2, {2}, {1}, {'t'});
  const double w0[] = {0.5, -0.25, 0.1}, w1[] = {-1.0, 2.0, 0.0};
  std::copy(w0, w0 + 3, net->neurons[0][0]->weights);
  std::copy(w1, w1 + 3, net->neurons[0][1]->weights);
  net->layerOutputs[0][0] = net->layerOutputs[0][1] = -7.0;  // must stay untouched
  const double q[] = {0.4, -0.8};
  double a[2];
  net->Answer(q, 2, a, 2);
  EXPECT_DOUBLE_EQ(a[0], std::tanh(0.2 + 0.2 + 0.1));
  EXPECT_DOUBLE_EQ(a[1], std::tanh(-0.4 - 1.6));
  EXPECT_EQ(net->layerOutputs[0][0], -7.0);
  EXPECT_EQ(net->layerOutputs[0][1], -7.0);
}

// 2 inputs → 2 tanh first-order → 1 linear second-order, computed by hand.
TEST(PerceptronAnswer, TwoLayersByHand) {
  auto net = makeNetwork(2, {2, 1}, {1, 2}, {'t', 'l'});
  const double h0[] = {1.0, 0.5, -0.5}, h1[] = {-0.5, 0.25, 0.0};
  std::copy(h0, h0 + 3, net->neurons[0][0]->weights);
  std::copy(h1, h1 + 3, net->neurons[0][1]->weights);
  const double out[] = {2.0, -1.0, 0.5, 1.0, 3.0, -2.0};  // w0 w1 b | p00 p10 p11
  std::copy(out, out + 6, net->neurons[1][0]->AllWeights());

  const double q[] = {1.0, 2.0};
  const double y0 = std::tanh(1.0 + 1.0 - 0.5), y1 = std::tanh(-0.5 + 0.5);
  const double expected = (2.0 * y0 - 1.0 * y1 + 0.5) + (1.0 * y0 * y0 + 3.0 * y1 * y0 - 2.0 * y1 * y1) / 2;
  double a = 0.0;
  net->Answer(q, 2, &a, 1);
  EXPECT_DOUBLE_EQ(a, expected);
  EXPECT_DOUBLE_EQ(net->layerOutputs[0][0], y0);
  EXPECT_DOUBLE_EQ(net->layerOutputs[0][1], y1);
}

// First-order layers are evaluated several neurons at a time; every value must still be exactly
// what the neuron's own NetInput gives (7 neurons: one group of four and a remainder).
TEST(PerceptronAnswer, GroupedFirstOrderLayersEqualEachNeuronsNetInput) {
  auto net = makeNetwork(5, {7, 6, 3}, {1, 1, 1}, {'t', 'l', 't'});
  fillWeights(*net, 0.9);
  const double q[] = {0.31, -0.72, 0.05, 0.99, -0.4};
  double answer[3], outputs[3], slopes[3];
  net->Answer(q, 5, answer, 3);
  std::vector<double> hidden0(net->layerOutputs[0], net->layerOutputs[0] + 7);
  std::vector<double> hidden1(net->layerOutputs[1], net->layerOutputs[1] + 6);
  for (int j = 0; j < 7; ++j) EXPECT_EQ(hidden0[j], tanhActivation(net->neurons[0][j]->NetInput(q))) << j;
  for (int j = 0; j < 6; ++j) EXPECT_EQ(hidden1[j], net->neurons[1][j]->NetInput(hidden0.data())) << j;
  for (int j = 0; j < 3; ++j)
    EXPECT_EQ(answer[j], tanhActivation(net->neurons[2][j]->NetInput(hidden1.data()))) << j;

  net->AnswerWithDerivatives(q, 5, outputs, slopes, 3);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(outputs[j], answer[j]);
    EXPECT_EQ(slopes[j], 1 - answer[j] * answer[j]);
  }
  for (int j = 0; j < 7; ++j) EXPECT_EQ(net->layerDerivatives[0][j], 1 - hidden0[j] * hidden0[j]);
  for (int j = 0; j < 6; ++j) EXPECT_EQ(net->layerDerivatives[1][j], 1.0);
}

TEST(PerceptronAnswer, SizeMismatchIsRefusedWithItsMessage) {
  auto net = makeNetwork(3, {2, 2}, {1, 1}, {'t', 'l'});
  double q[3] = {}, a[2] = {}, d[2] = {};
  const char* expected = "question-answer sizes don't match network inputs-outputs";
  try {
    net->Answer(q, 2, a, 2);
    FAIL();
  } catch (const IllegalSizeException& e) {
    EXPECT_STREQ(e.what(), expected);
  }
  EXPECT_THROW(net->Answer(q, 3, a, 1), IllegalSizeException);
  EXPECT_THROW(net->AnswerWithDerivatives(q, 4, a, d, 2), IllegalSizeException);
  EXPECT_THROW(net->AnswerWithDerivatives(q, 3, a, d, 3), IllegalSizeException);
  double* qs[] = {q};
  double* as[] = {a};
  EXPECT_THROW(net->RmsError(qs, 3, as, 1, 1), IllegalSizeException);
}

// The stored derivative of every neuron must be d(output)/d(net input): perturbing the neuron's
// bias by ±h moves its net input by exactly ±h, so a central difference of its output gives it.
void checkDerivativesByCentralDifference(int order, char hiddenCode, char outputCode) {
  SCOPED_TRACE(testing::Message() << "order " << order << ", codes " << hiddenCode << outputCode);
  auto net = makeNetwork(3, {4, 3, 2}, {order, order, order}, {hiddenCode, hiddenCode, outputCode});
  fillWeights(*net, 0.4);
  const double q[] = {0.7, -0.4, 0.9};
  const int last = net->layerCount - 1;

  // Plug-ins pass the network's own last-layer arrays.
  net->AnswerWithDerivatives(q, 3, net->layerOutputs[last], net->layerDerivatives[last], 2);
  std::vector<std::vector<double>> outputs, slopes;
  for (int l = 0; l <= last; ++l) {
    outputs.emplace_back(net->layerOutputs[l], net->layerOutputs[l] + net->neuronCounts[l]);
    slopes.emplace_back(net->layerDerivatives[l], net->layerDerivatives[l] + net->neuronCounts[l]);
  }
  double answer[2];
  net->Answer(q, 3, answer, 2);
  EXPECT_EQ(answer[0], outputs[last][0]);
  EXPECT_EQ(answer[1], outputs[last][1]);

  const double h = 1e-6;
  for (int l = 0; l <= last; ++l) {
    for (int j = 0; j < net->neuronCounts[l]; ++j) {
      Neuron& neuron = *net->neurons[l][j];
      double& bias = neuron.weights[neuron.inputCount];
      const double saved = bias;
      auto outputAt = [&](double b) {
        bias = b;
        double a[2];
        net->Answer(q, 3, a, 2);
        return l == last ? a[j] : net->layerOutputs[l][j];
      };
      const double numeric = (outputAt(saved + h) - outputAt(saved - h)) / (2 * h);
      bias = saved;
      EXPECT_NEAR(slopes[l][j], numeric, 1e-7 * std::max(1.0, std::fabs(numeric)))
          << "layer " << l << " neuron " << j;
    }
  }
}

TEST(PerceptronAnswerWithDerivatives, MatchCentralDifferencesForEveryOrder) {
  for (int order = 1; order <= 3; ++order) {
    checkDerivativesByCentralDifference(order, 't', 'l');
    checkDerivativesByCentralDifference(order, 'l', 't');
  }
}

TEST(PerceptronAnswerWithDerivatives, OneLayer) {
  auto net = makeNetwork(2, {1}, {2}, {'t'});
  fillWeights(*net);
  const double q[] = {0.3, -0.6};
  double y = 0, d = 0;
  net->AnswerWithDerivatives(q, 2, &y, &d, 1);
  const double s = net->neurons[0][0]->NetInput(q);
  EXPECT_DOUBLE_EQ(y, std::tanh(s));
  EXPECT_DOUBLE_EQ(d, 1 - std::tanh(s) * std::tanh(s));
}

// --- error and description ----------------------------------------------------------------------

TEST(PerceptronRmsError, OneExample) {
  auto net = makeNetwork(1, {2}, {1}, {'l'});
  net->Randomize(0.0);
  net->neurons[0][0]->weights[1] = 1.0;
  net->neurons[0][1]->weights[1] = 3.0;
  double q[] = {0.5}, t[] = {0.0, 0.0};
  double* qs[] = {q};
  double* ts[] = {t};
  EXPECT_DOUBLE_EQ(net->RmsError(qs, 1, ts, 2, 1), std::sqrt(10.0 / 2));
  EXPECT_EQ(net->RmsError(qs, 1, ts, 2, 0), 0.0);
}

TEST(PerceptronRmsError, AgreesWithAnswersOverManyExamples) {
  auto net = makeNetwork(3, {5, 2}, {2, 1}, {'t', 'l'});
  fillWeights(*net);
  std::vector<std::vector<double>> questions, targets;
  for (int e = 0; e < 7; ++e) {
    questions.push_back({0.1 * e, -0.2 * e + 0.5, std::sin(e)});
    targets.push_back({std::cos(e), 0.3 * e});
  }
  std::vector<double*> qs, ts;
  double sum = 0;
  for (int e = 0; e < 7; ++e) {
    qs.push_back(questions[e].data());
    ts.push_back(targets[e].data());
    double a[2];
    net->Answer(qs.back(), 3, a, 2);
    sum += (a[0] - targets[e][0]) * (a[0] - targets[e][0]) + (a[1] - targets[e][1]) * (a[1] - targets[e][1]);
  }
  EXPECT_DOUBLE_EQ(net->RmsError(qs.data(), 3, ts.data(), 2, 7), std::sqrt(sum / 14));
}

TEST(PerceptronDescribe, ReportsEachLayer) {
  auto net = makeNetwork(6, {4, 2}, {2, 1}, {'t', 'x'});
  NetworkDescription d;
  ASSERT_TRUE(net->Describe(d));
  EXPECT_EQ(d.inputs, 6);
  EXPECT_EQ(d.outputs, 2);
  EXPECT_EQ(d.layerCount, 2);
  EXPECT_EQ(d.neuronCounts[0], 4);
  EXPECT_EQ(d.neuronCounts[1], 2);
  EXPECT_EQ(d.orders[0], 2);
  EXPECT_EQ(d.orders[1], 1);
  EXPECT_EQ(d.functionCodes[0], 't');
  EXPECT_EQ(d.functionCodes[1], 'l');
  // A network built from its own description has the same structure.
  Perceptron rebuilt(d);
  NetworkDescription again;
  ASSERT_TRUE(rebuilt.Describe(again));
  EXPECT_EQ(again.orders[0], 2);
  EXPECT_EQ(std::string(again.functionCodes, 2), "tl");
}

TEST(PerceptronDescribe, MoreThanFiveLayersLeaveTheDescriptionUnchanged) {
  auto net = makeNetwork(2, {2, 2, 2, 2, 2, 1}, {1, 1, 1, 1, 1, 1}, {'t', 't', 't', 't', 't', 'l'});
  NetworkDescription d;
  EXPECT_FALSE(net->Describe(d));
  EXPECT_EQ(d.layerCount, 2);
  EXPECT_EQ(d.inputs, 2);
  EXPECT_EQ(d.neuronCounts[0], 3);

  auto five = makeNetwork(2, {2, 2, 2, 2, 1}, {1, 2, 3, 1, 1}, {'t', 't', 't', 't', 'l'});
  ASSERT_TRUE(five->Describe(d));
  EXPECT_EQ(d.layerCount, 5);
  EXPECT_EQ(d.orders[2], 3);
}

}  // namespace
