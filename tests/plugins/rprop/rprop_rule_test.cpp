// The Rprop step rule on hand-computed sequences, and the algorithm's life cycle.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "mlp/engine/perceptron.h"
#include "plugins/rprop/resilient_neuron_state.h"
#include "plugins/rprop/resilient_propagation.h"

namespace {

std::unique_ptr<Perceptron> makeNet(int inputs, std::vector<int> counts, std::vector<int> orders,
                                    const char* codes) {
  return std::make_unique<Perceptron>(inputs, static_cast<int>(counts.size()), counts.data(), orders.data(),
                                      codes);
}

// One linear neuron with one input: weights (w, bias). Accumulate(x = {1}, δ) makes both
// gradients δ; x = {0} leaves the input weight's gradient at 0.
class RpropRuleTest : public ::testing::Test {
 protected:
  std::unique_ptr<Perceptron> net = makeNet(1, {1}, {1}, "l");
  Neuron& neuron = *net->neurons[0][0];
  FirstOrderResilientState state{neuron};
  double* w = neuron.AllWeights();

  void epoch(double x, double delta, const RpropStepRule& rule) {
    state.ClearGradient();
    const double input[] = {x};
    state.Accumulate(input, delta);
    state.Update(rule.decrease, rule.increase, rule.minimal, rule.maximal);
  }
};

constexpr RpropStepRule kStandard{0.5, 1.2, 1e-8, 10.0};

TEST_F(RpropRuleTest, StepGrowsWhileTheSignHoldsShrinksOnAChangeAndZeroGradientsRest) {
  w[0] = 0.0;
  w[1] = 0.0;
  state.Reset(0.1);

  epoch(1.0, 2.0, kStandard);  // no previous gradient: step stays 0.1
  EXPECT_DOUBLE_EQ(w[0], -0.1);
  EXPECT_DOUBLE_EQ(state.steps()[0], 0.1);
  EXPECT_DOUBLE_EQ(state.previousGradient()[0], 2.0);

  epoch(1.0, 3.0, kStandard);  // same sign: 0.1·1.2 = 0.12
  EXPECT_DOUBLE_EQ(state.steps()[0], 0.12);
  EXPECT_DOUBLE_EQ(w[0], -0.22);

  epoch(1.0, -1.0, kStandard);  // sign change: 0.12·0.5, and the weight still moves (no backtracking)
  EXPECT_DOUBLE_EQ(state.steps()[0], 0.06);
  EXPECT_DOUBLE_EQ(w[0], -0.16);
  EXPECT_DOUBLE_EQ(state.previousGradient()[0], -1.0);  // the current gradient, not zero

  epoch(0.0, 1.0, kStandard);  // input weight: gradient 0; bias: sign change
  EXPECT_DOUBLE_EQ(w[0], -0.16);
  EXPECT_DOUBLE_EQ(state.steps()[0], 0.06);
  EXPECT_EQ(state.previousGradient()[0], 0.0);
  EXPECT_DOUBLE_EQ(state.steps()[1], 0.03);
  EXPECT_DOUBLE_EQ(w[1], -0.22 + 0.06 - 0.03);

  epoch(1.0, 1.0, kStandard);  // after a zero gradient the step is left unchanged once more
  EXPECT_DOUBLE_EQ(state.steps()[0], 0.06);
  EXPECT_DOUBLE_EQ(w[0], -0.22);
  EXPECT_DOUBLE_EQ(state.steps()[1], 0.036);
}

TEST_F(RpropRuleTest, StepsStayWithinTheirBounds) {
  // Δ·η+ exactly Δmax gives Δmax, and the step never grows past it.
  const RpropStepRule doubling{0.5, 2.0, 1e-8, 10.0};
  state.Reset(5.0);
  epoch(1.0, 1.0, doubling);
  epoch(1.0, 1.0, doubling);
  EXPECT_EQ(state.steps()[0], 10.0);
  epoch(1.0, 1.0, doubling);
  EXPECT_EQ(state.steps()[0], 10.0);

  // 8·1.2 = 9.6 is below the bound and taken; 9.6·1.2 is not.
  state.Reset(8.0);
  epoch(1.0, 1.0, kStandard);
  epoch(1.0, 1.0, kStandard);
  EXPECT_DOUBLE_EQ(state.steps()[0], 9.6);
  epoch(1.0, 1.0, kStandard);
  EXPECT_EQ(state.steps()[0], 10.0);
}

TEST_F(RpropRuleTest, TheFloorStepStillMovesTheWeight) {
  w[0] = 0.5;
  state.Reset(1e-8);
  epoch(1.0, 1.0, kStandard);
  const double afterFirst = w[0];
  EXPECT_NEAR(afterFirst, 0.5 - 1e-8, 1e-17);
  epoch(1.0, -4.0, kStandard);  // 1e-8·0.5 is below Δmin: the step stays 1e-8
  EXPECT_EQ(state.steps()[0], 1e-8);
  EXPECT_NEAR(w[0] - afterFirst, 1e-8, 1e-17);
}

// The partial derivative of the net input with respect to every input, against central
// differences of NetInput: catches a diagonal weight counted once or a missing 1/n or 1/n².
TEST(ResilientNeuronStateTest, InputDerivativeMatchesCentralDifferencesForEveryOrder) {
  for (int order = 1; order <= 3; ++order) {
    SCOPED_TRACE(order);
    const int n = 3;
    auto net = makeNet(n, {1}, {order}, "l");
    Neuron& neuron = *net->neurons[0][0];
    double* weights = neuron.AllWeights();
    for (std::size_t k = 0; k < neuron.WeightCount(); ++k)
      weights[k] = 0.37 * std::sin(1.3 * k + 0.2) + 0.05 * k;
    auto state = makeResilientState(neuron);
    double x[n] = {0.7, -0.4, 0.9};
    for (int m = 0; m < n; ++m) {
      const double h = 1e-5, keep = x[m];
      x[m] = keep + h;
      const double up = neuron.NetInput(x);
      x[m] = keep - h;
      const double down = neuron.NetInput(x);
      x[m] = keep;
      EXPECT_NEAR(state->InputDerivative(m, x), (up - down) / (2 * h), 1e-8) << "input " << m;
    }
    // The one-call back-propagation adds the same values, scaled by δ.
    double signal[n] = {1.0, 1.0, 1.0};
    state->AddInputSignal(x, -2.0, signal);
    for (int m = 0; m < n; ++m) EXPECT_DOUBLE_EQ(signal[m], 1.0 - 2.0 * state->InputDerivative(m, x));
  }
}

// --- the algorithm object ------------------------------------------------------------------------

struct CallbackLog {
  int calls = 0;
  int result = 7;
};

extern "C" int countEpoch(void* data) {
  auto* log = static_cast<CallbackLog*>(data);
  ++log->calls;
  return log->result;
}

std::vector<double> allWeights(const Perceptron& net) {
  std::vector<double> out;
  for (int l = 0; l < net.layerCount; ++l)
    for (int j = 0; j < net.neuronCounts[l]; ++j) {
      const Neuron& neuron = *net.neurons[l][j];
      out.insert(out.end(), neuron.AllWeights(), neuron.AllWeights() + neuron.WeightCount());
    }
  return out;
}

class ResilientPropagationTest : public ::testing::Test {
 protected:
  std::unique_ptr<Perceptron> net = makeNet(2, {3, 1}, {2, 1}, "tl");
  int networkExists = 1;
  int epochCounter = 0;
  CallbackLog log;
  std::vector<double> questionValues{0, 0, 0, 1, 1, 0, 1, 1};
  std::vector<double> answerValues{0, 1, 1, 0};
  std::vector<double*> questions{&questionValues[0], &questionValues[2], &questionValues[4],
                                 &questionValues[6]};
  std::vector<double*> answers{&answerValues[0], &answerValues[1], &answerValues[2], &answerValues[3]};
  ResilientPropagation rprop;

  TrainingContext context(int trainingCount = 4) {
    TrainingContext c;
    c.network = net.get();
    c.networkExists = &networkExists;
    c.questions = questions.data();
    c.answers = answers.data();
    c.inputCount = 2;
    c.outputCount = 1;
    c.trainingCount = trainingCount;
    c.epochCounter = &epochCounter;
    c.callbackData = &log;
    c.callback = &countEpoch;
    return c;
  }

  void expectEveryStep(double step) {
    for (int l = 0; l < net->layerCount; ++l)
      for (int j = 0; j < net->neuronCounts[l]; ++j) {
        const ResilientNeuronState& s = rprop.state->neuronState(l, j);
        for (std::size_t k = 0; k < s.size(); ++k) {
          ASSERT_EQ(s.steps()[k], step);
          ASSERT_EQ(s.gradient()[k], 0.0);
          ASSERT_EQ(s.previousGradient()[k], 0.0);
        }
      }
  }
};

TEST_F(ResilientPropagationTest, NamesAndDefaults) {
  EXPECT_EQ(rprop.Name(), "Rprop Algorithm");
  EXPECT_EQ(
      rprop.Description(),
      "Rprop (Resilient backpropagation) is local adaptive learning scheme.The basic principle of Rprop is "
      "to eliminate the harmful influence of the size of the partial derivative on the weight step. As a "
      "consequence, only the sign of the derivative is considered to indicate the direction of the weight "
      "update.You shouldn't change learning parameters if you don't want to get unpredictable results.");
  EXPECT_EQ(rprop.parameters(), (RpropParameters{0.1, 1e-8, 10.0, 0.5, 1.2}));
  EXPECT_EQ(rprop.attached, 0);
  EXPECT_EQ(rprop.state, nullptr);
  EXPECT_EQ(rprop.EditParameters(nullptr), 0);  // no dialog installed: nothing to confirm
}

TEST_F(ResilientPropagationTest, EpochBeforeAttachDoesNothing) {
  const auto before = allWeights(*net);
  EXPECT_EQ(rprop.Epoch(), 0);
  EXPECT_EQ(epochCounter, 0);
  EXPECT_EQ(log.calls, 0);
  EXPECT_EQ(allWeights(*net), before);
}

TEST_F(ResilientPropagationTest, AttachRefusesAMissingNetworkAndExamplesOfTheWrongShape) {
  networkExists = 0;
  TrainingContext c = context();
  EXPECT_EQ(rprop.Attach(&c), 0);
  networkExists = 1;
  c.inputCount = 3;
  EXPECT_EQ(rprop.Attach(&c), 0);
  EXPECT_EQ(rprop.attached, 0);
  EXPECT_EQ(rprop.Attach(nullptr), 0);
}

TEST_F(ResilientPropagationTest, AnEpochWithoutExamplesOnlyCountsAndReports) {
  TrainingContext c = context(0);
  ASSERT_EQ(rprop.Attach(&c), 1);
  const auto before = allWeights(*net);
  EXPECT_EQ(rprop.Epoch(), 7);  // the callback's result
  EXPECT_EQ(epochCounter, 1);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(allWeights(*net), before);
}

TEST_F(ResilientPropagationTest, ASecondAttachRestoresTheStepsAndKeepsTheWeights) {
  TrainingContext c = context();
  ASSERT_EQ(rprop.Attach(&c), 1);
  expectEveryStep(0.1);
  const ResilientNetworkState* built = rprop.state.get();
  for (int e = 0; e < 5; ++e) rprop.Epoch();
  EXPECT_EQ(epochCounter, 5);
  const auto trained = allWeights(*net);

  rprop.initialStep = 0.25;
  ASSERT_EQ(rprop.Attach(&c), 1);
  EXPECT_EQ(rprop.state.get(), built);  // the same state, reset
  expectEveryStep(0.25);
  EXPECT_EQ(allWeights(*net), trained);
  EXPECT_EQ(epochCounter, 5);
}

TEST_F(ResilientPropagationTest, DetachNeedsTheNetworkAndAnotherNetworkGetsAStateOfItsOwn) {
  TrainingContext c = context();
  ASSERT_EQ(rprop.Attach(&c), 1);
  networkExists = 0;
  rprop.Detach();  // the flag says the network is gone: the state is left alone
  EXPECT_EQ(rprop.attached, 1);
  networkExists = 1;
  rprop.Detach();
  EXPECT_EQ(rprop.attached, 0);
  EXPECT_EQ(rprop.state, nullptr);
  EXPECT_EQ(rprop.Epoch(), 0);

  // Attached to one network, then handed another one without a Detach (a second main sheet):
  // the old state must not be applied to the new network.
  ASSERT_EQ(rprop.Attach(&c), 1);
  auto other = makeNet(2, {5, 2, 1}, {3, 1, 2}, "ttl");
  TrainingContext d = context();
  d.network = other.get();
  ASSERT_EQ(rprop.Attach(&d), 1);
  ASSERT_NE(rprop.state, nullptr);
  EXPECT_EQ(rprop.state->network(), other.get());
  EXPECT_EQ(rprop.state->neuronState(1, 1).neuron(), other->neurons[1][1]);
  const auto before = allWeights(*other);
  rprop.Epoch();
  EXPECT_NE(allWeights(*other), before);
}

TEST_F(ResilientPropagationTest, OneEpochMovesEveryWeightWithANonzeroGradientByTheInitialStep) {
  TrainingContext c = context();
  rprop.initialStep = 0.05;
  ASSERT_EQ(rprop.Attach(&c), 1);
  const auto before = allWeights(*net);
  rprop.Epoch();
  const auto after = allWeights(*net);
  std::size_t index = 0, moved = 0;
  for (int l = 0; l < net->layerCount; ++l)
    for (int j = 0; j < net->neuronCounts[l]; ++j) {
      const ResilientNeuronState& s = rprop.state->neuronState(l, j);
      for (std::size_t k = 0; k < s.size(); ++k, ++index) {
        const double g = s.previousGradient()[k];
        const double expected = g > 0 ? before[index] - 0.05 : g < 0 ? before[index] + 0.05 : before[index];
        EXPECT_DOUBLE_EQ(after[index], expected);
        moved += g != 0;
      }
    }
  EXPECT_GT(moved, index / 2);
}

}  // namespace
