// Training with several threads gives the weights of one thread, bit for bit, for every order and
// layout: fifty whole epochs through the plug-in with 1, 2 and 4 threads.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mlp/engine/perceptron.h"
#include "platform/random.h"
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
  for (int e = 0; e < epochs; ++e) rprop.Epoch();
  EXPECT_EQ(rprop.state->threadCount(), threads);
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

// Example counts are chosen so that the parts end inside a block and, for the last, four threads
// get fewer parts than threads.
const ThreadShape kThreadShapes[] = {
    {"first_order_8_16_1", 8, {16, 1}, {1, 1}, "tl", 613},
    {"second_order_5_7_2", 5, {7, 2}, {2, 1}, "tl", 517},
    {"third_order_4_6_1", 4, {6, 1}, {3, 1}, "tl", 389},
    {"orders_mixed_6_5_4_3", 6, {5, 4, 3}, {1, 2, 3}, "ttl", 450},
    {"third_order_output_3_4_2", 3, {4, 2}, {1, 3}, "tt", 300},
    {"wide_first_order_11_37_19_2", 11, {37, 19, 2}, {1, 1, 1}, "ttl", 701},
    {"fewer_parts_than_threads_4_5_1", 4, {5, 1}, {2, 1}, "tl", 150},
};

INSTANTIATE_TEST_SUITE_P(Shapes, RpropThreadsTest, ::testing::ValuesIn(kThreadShapes),
                         [](const ::testing::TestParamInfo<ThreadShape>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
