// Training with several threads gives the weights of one thread, bit for bit, for every order and
// layout: fifty whole epochs through the plug-in with 1, 2 and 4 threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mlp/engine/perceptron.h"
#include "platform/random.h"
#include "plugins/rprop/epoch_mode_chooser.h"
#include "plugins/rprop/resilient_network_state.h"
#include "plugins/rprop/resilient_propagation.h"

namespace {

struct ThreadShape {
  const char* name;
  int inputs;
  std::vector<int> counts;
  std::vector<int> orders;
  std::string codes;
  int examples;
};

void PrintTo(const ThreadShape& s, std::ostream* os) {
  *os << s.name;
}

int countEpoch(void*) {
  return 1;
}

// Trains a fresh copy of the shape's problem for `epochs` epochs with `threads` threads; the
// weights afterwards, layer by layer, and the last example's outputs the epoch left behind.
std::vector<double> train(const ThreadShape& shape, int threads, int epochs) {
  platform::crtSrand(57);
  Perceptron net(shape.inputs, static_cast<int>(shape.counts.size()), shape.counts.data(),
                 shape.orders.data(), shape.codes.c_str());
  net.Randomize(1.0);
  std::vector<std::vector<double>> questionRows, targetRows;
  std::vector<double*> questions, targets;
  for (int e = 0; e < shape.examples; ++e) {
    std::vector<double> q(static_cast<std::size_t>(shape.inputs)), t(static_cast<std::size_t>(net.outputs));
    for (double& v : q) v = 3.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.5;
    for (double& v : t) v = 2.0 * platform::crtRand() / (platform::kRandMax + 1.0) - 1.0;
    questionRows.push_back(std::move(q));
    targetRows.push_back(std::move(t));
  }
  for (int e = 0; e < shape.examples; ++e) {
    questions.push_back(questionRows[e].data());
    targets.push_back(targetRows[e].data());
  }
  int exists = 1, epochCounter = 0;
  TrainingContext context;
  context.network = &net;
  context.networkExists = &exists;
  context.questions = questions.data();
  context.answers = targets.data();
  context.inputCount = shape.inputs;
  context.outputCount = net.outputs;
  context.trainingCount = shape.examples;
  context.epochCounter = &epochCounter;
  context.callback = &countEpoch;

  ResilientPropagation rprop;
  rprop.setThreadCount(threads);
  EXPECT_EQ(rprop.Attach(&context), 1);
  // These problems are far below the work that makes threads pay; share them out all the same.
  rprop.state->SetMinimumWorkPerThread(0);
  rprop.state->SetTimedChoice(false);
  for (int e = 0; e < epochs; ++e) rprop.Epoch();
  EXPECT_EQ(rprop.state->threadCount(), threads);
  EXPECT_EQ(rprop.state->PartsFor(shape.examples), std::min(threads, shape.examples));
  EXPECT_EQ(epochCounter, epochs);

  std::vector<double> out;
  for (int l = 0; l < net.layerCount; ++l)
    for (int j = 0; j < net.neuronCounts[l]; ++j) {
      const Neuron& n = *net.neurons[l][j];
      out.insert(out.end(), n.AllWeights(), n.AllWeights() + n.WeightCount());
    }
  for (int l = 0; l < net.layerCount; ++l) {
    out.insert(out.end(), net.layerOutputs[l], net.layerOutputs[l] + net.neuronCounts[l]);
    out.insert(out.end(), net.layerDerivatives[l], net.layerDerivatives[l] + net.neuronCounts[l]);
  }
  rprop.Detach();
  return out;
}

bool sameBytes(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class RpropThreadsTest : public ::testing::TestWithParam<ThreadShape> {};

TEST_P(RpropThreadsTest, FiftyEpochsGiveTheSameBytesWithOneTwoAndFourThreads) {
  const std::vector<double> one = train(GetParam(), 1, 50);
  ASSERT_FALSE(one.empty());
  for (int threads : {2, 4})
    EXPECT_TRUE(sameBytes(one, train(GetParam(), threads, 50))) << threads << " threads";
}

// Example counts are chosen so that the parts end inside a block and the last step is a partial
// one; the last shape's second layer has fewer vectors of neurons than four threads.
const ThreadShape kThreadShapes[] = {
    {"first_order_8_16_1", 8, {16, 1}, {1, 1}, "tl", 613},
    {"second_order_5_7_2", 5, {7, 2}, {2, 1}, "tl", 517},
    {"third_order_4_6_1", 4, {6, 1}, {3, 1}, "tl", 389},
    {"orders_mixed_6_5_4_3", 6, {5, 4, 3}, {1, 2, 3}, "ttl", 450},
    {"third_order_output_3_4_2", 3, {4, 2}, {1, 3}, "tt", 300},
    {"wide_first_order_11_37_19_2", 11, {37, 19, 2}, {1, 1, 1}, "ttl", 701},
    {"fewer_parts_than_threads_4_5_1", 4, {5, 1}, {2, 1}, "tl", 150},
    {"several_steps_8_16_1", 8, {16, 1}, {2, 1}, "tl", 3 * ResilientNetworkState::kStepRows + 45},
    {"fewer_examples_than_threads_3_2_1", 3, {2, 1}, {1, 1}, "tl", 3},
};

// An epoch too small to pay for a hand-over between threads stays on one thread, whatever the
// setting; a large one is shared out, never among more parts than threads or examples.
TEST(RpropThreadsSplitTest, SmallEpochsStayOnOneThreadAndLargeOnesAreSharedOut) {
  const int counts[] = {16, 1}, orders[] = {1, 1};
  Perceptron net(8, 2, counts, orders, "tl");
  ResilientNetworkState state(net);
  state.SetThreadCount(4);
  const long long weights = 16 * 9 + 17;
  const int smallest = static_cast<int>(2 * ResilientNetworkState::kMinWorkPerThread / weights) + 1;
  EXPECT_EQ(state.PartsFor(100), 1);
  EXPECT_EQ(state.PartsFor(smallest - 1), 1);
  EXPECT_EQ(state.PartsFor(smallest), 2);
  EXPECT_EQ(state.PartsFor(10'000), 4);
  state.SetThreadCount(1);
  EXPECT_EQ(state.PartsFor(10'000), 1);
  state.SetThreadCount(2);
  state.SetMinimumWorkPerThread(0);
  EXPECT_EQ(state.PartsFor(1), 1);
  EXPECT_EQ(state.PartsFor(2), 2);
  EXPECT_EQ(state.PartsFor(3), 2);
}

// The faster way runs, after one epoch of each; the slower one is tried again now and then, so
// a change of the machine's load turns the choice.
TEST(EpochModeChooserTest, RunsTheFasterWayAndProbesTheOtherEveryIntervalEpochs) {
  EpochModeChooser chooser;
  std::vector<bool> threaded;
  for (int e = 0; e < 3 * EpochModeChooser::kProbeInterval; ++e) {
    const bool t = chooser.threadedNext();
    threaded.push_back(t);
    // Threads take 1 ms until epoch 40, then 4 ms; one thread always 2 ms.
    chooser.record(t, t ? (e < 40 ? 0.001 : 0.004) : 0.002);
  }
  EXPECT_TRUE(threaded[0]);
  EXPECT_FALSE(threaded[1]);
  for (int e = 2; e < EpochModeChooser::kProbeInterval; ++e) EXPECT_TRUE(threaded[e]) << e;
  EXPECT_FALSE(threaded[EpochModeChooser::kProbeInterval]);  // the probe of the slower way
  EXPECT_TRUE(threaded[40]);                                 // chosen on the 1 ms seen so far
  EXPECT_FALSE(threaded[41]);  // 4 ms once: the threads' kept time, 2.5 ms, is now the slower
  EXPECT_FALSE(threaded[45]);
  EXPECT_TRUE(threaded[2 * EpochModeChooser::kProbeInterval]);  // probed again
  EXPECT_FALSE(threaded.back());
  chooser.reset();
  EXPECT_TRUE(chooser.threadedNext());
}

INSTANTIATE_TEST_SUITE_P(Shapes, RpropThreadsTest, ::testing::ValuesIn(kThreadShapes),
                         [](const ::testing::TestParamInfo<ThreadShape>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
