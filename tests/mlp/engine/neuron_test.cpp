#include "mlp/engine/neuron.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mlp/engine/network_text.h"
#include "platform/random.h"
#include "shared/exceptions.h"
#include "tests/mlp/engine/network_test_support.h"

namespace {

using lumivane::test::ReferenceRand;

// --- structure --------------------------------------------------------------------------------

TEST(NeuronStructure, WeightCountsPerOrder) {
  EXPECT_EQ(neuronWeightCount(1, 4), 5u);
  EXPECT_EQ(neuronWeightCount(2, 4), 5u + 10u);
  EXPECT_EQ(neuronWeightCount(3, 4), 5u + 10u + 20u);
  EXPECT_EQ(neuronWeightCount(3, 1), 4u);
  EXPECT_EQ(neuronWeightCount(3, 100000), 100001u + 5000050000u + 166671666700000u);
  EXPECT_EQ(neuronWeightCount(3, 2'000'000'000), SIZE_MAX);  // too large to be real: saturates
  EXPECT_EQ(neuronWeightCount(4, 3), 0u);
  EXPECT_EQ(neuronWeightCount(1, 0), 0u);
}

// The public row arrays must point into the one contiguous block in block order: the plug-in
// relies on both views naming the same weights.
TEST(NeuronStructure, RowsPointIntoTheContiguousBlockInBlockOrder) {
  ThirdOrderNeuron neuron(3);
  ASSERT_EQ(neuron.WeightCount(), 4u + 6u + 10u);
  const double* base = neuron.AllWeights();
  EXPECT_EQ(neuron.weights, base);
  std::size_t next = 4;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j <= i; ++j) EXPECT_EQ(&neuron.pairWeights[i][j], base + next++) << i << "," << j;
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j <= i; ++j) {
      for (int k = 0; k <= j; ++k) EXPECT_EQ(&neuron.tripleWeights[i][j][k], base + next++) << i << j << k;
    }
  }
  EXPECT_EQ(next, neuron.WeightCount());

  SecondOrderNeuron second(2);
  EXPECT_EQ(second.pairWeights[0], second.AllWeights() + 3);
  EXPECT_EQ(second.pairWeights[1], second.AllWeights() + 4);
}

TEST(NeuronStructure, FactoryChecksOrderAndInputs) {
  EXPECT_EQ(makeNeuron(1, 2)->Order(), 1);
  EXPECT_EQ(makeNeuron(2, 2)->Order(), 2);
  EXPECT_EQ(makeNeuron(3, 2)->Order(), 3);
  EXPECT_THROW(makeNeuron(0, 2), IllegalOrderException);
  EXPECT_THROW(makeNeuron(4, 2), IllegalOrderException);
  EXPECT_THROW(makeNeuron(1, 0), IllegalSizeException);
  EXPECT_THROW(FirstOrderNeuron(-1), IllegalSizeException);
}

// --- net input ----------------------------------------------------------------------------------

TEST(NeuronNetInput, FirstOrder) {
  FirstOrderNeuron neuron(3);
  const double w[] = {0.5, -2.0, 0.25, 0.125};
  std::copy(w, w + 4, neuron.weights);
  const double x[] = {2.0, 0.5, -4.0};
  EXPECT_DOUBLE_EQ(neuron.NetInput(x), 1.0 - 1.0 - 1.0 + 0.125);
}

TEST(NeuronNetInput, SecondOrderWithOneInputIsAQuadratic) {
  SecondOrderNeuron neuron(1);
  const double a = 0.75, b = -0.5, c = 1.5;
  neuron.weights[0] = a;
  neuron.weights[1] = b;
  neuron.pairWeights[0][0] = c;
  for (double x : {-2.0, 0.0, 0.3, 3.0}) EXPECT_DOUBLE_EQ(neuron.NetInput(&x), a * x + b + c * x * x) << x;
}

// Two inputs: the pair sum is divided by n = 2.
TEST(NeuronNetInput, SecondOrderDividesThePairSumByN) {
  SecondOrderNeuron neuron(2);
  // weights w0 w1 b, pairs p00, p10 p11
  const double all[] = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  std::copy(all, all + 6, neuron.AllWeights());
  const double x[] = {0.5, -1.0};
  const double linear = 1.0 * 0.5 + 2.0 * -1.0 + 3.0;                // 1.5
  const double pairs = 4.0 * 0.25 + 5.0 * (-1.0 * 0.5) + 6.0 * 1.0;  // 4.5
  EXPECT_DOUBLE_EQ(neuron.NetInput(x), linear + pairs / 2);          // 3.75
  EXPECT_DOUBLE_EQ(neuron.NetInput(x), 3.75);
}

// Two inputs: the triple sum is divided by n² = 4, the pair sum by n = 2.
TEST(NeuronNetInput, ThirdOrderDividesByNAndNSquared) {
  ThirdOrderNeuron neuron(2);
  // w0 w1 b | p00 p10 p11 | t000 | t100 t110 | (block i=1: rows j=0 (1 value), j=1 (2 values))
  neuron.weights[0] = 1.0;
  neuron.weights[1] = -1.0;
  neuron.weights[2] = 0.5;
  neuron.pairWeights[0][0] = 2.0;
  neuron.pairWeights[1][0] = 0.0;
  neuron.pairWeights[1][1] = -3.0;
  neuron.tripleWeights[0][0][0] = 4.0;
  neuron.tripleWeights[1][0][0] = 8.0;
  neuron.tripleWeights[1][1][0] = -2.0;
  neuron.tripleWeights[1][1][1] = 1.0;
  const double x0 = 2.0, x1 = -1.0;
  const double x[] = {x0, x1};
  const double linear = 1.0 * x0 - 1.0 * x1 + 0.5;     // 3.5
  const double pairs = 2.0 * x0 * x0 - 3.0 * x1 * x1;  // 5
  const double triples =
      4.0 * x0 * x0 * x0 + 8.0 * x1 * x0 * x0 - 2.0 * x1 * x1 * x0 + 1.0 * x1 * x1 * x1;  // -5
  EXPECT_DOUBLE_EQ(neuron.NetInput(x), triples / 4 + pairs / 2 + linear);
  EXPECT_DOUBLE_EQ(neuron.NetInput(x), -1.25 + 2.5 + 3.5);
}

// --- random weights -----------------------------------------------------------------------------

class NeuronRandom : public ::testing::Test {
 protected:
  void SetUp() override { platform::crtSrand(kSeed); }
  void TearDown() override { platform::crtSrand(1); }
  static constexpr unsigned kSeed = 12345;
};

TEST_F(NeuronRandom, ValueGridOfOneDraw) {
  ReferenceRand reference(kSeed);
  for (int draw = 0; draw < 50; ++draw) {
    const int r = reference.next() % 10000;
    EXPECT_EQ(randomWeight(0.5), 2 * 0.5 * (r * 0.0001 - 0.5));
  }
  // The ends of the grid: r = 0 gives −range, r = 9999 the largest value below +range.
  EXPECT_DOUBLE_EQ(2 * 1.0 * (0 * 0.0001 - 0.5), -1.0);
  EXPECT_LT(2 * 1.0 * (9999 * 0.0001 - 0.5), 1.0);
}

// The visiting order fixes which draw lands in which weight; replay the generator by hand.
TEST_F(NeuronRandom, RandomizeVisitsWeightsInTheDocumentedOrder) {
  const int n = 3;
  ThirdOrderNeuron third(n);
  third.Randomize(2.0);
  ReferenceRand reference(kSeed);
  auto expected = [&] { return reference.weight(2.0); };
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(third.weights[i], expected()) << "weights[" << i << "]";
    for (int j = 0; j <= i; ++j) {
      EXPECT_EQ(third.pairWeights[i][j], expected()) << "pair " << i << j;
      for (int k = 0; k <= j; ++k)
        EXPECT_EQ(third.tripleWeights[i][j][k], expected()) << "triple " << i << j << k;
    }
  }
  EXPECT_EQ(third.weights[n], expected()) << "bias";
  EXPECT_EQ(platform::crtRand(), reference.next()) << "exactly one draw per weight";

  SecondOrderNeuron second(n);
  second.Randomize(1.0);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(second.weights[i], reference.weight(1.0));
    for (int j = 0; j <= i; ++j) EXPECT_EQ(second.pairWeights[i][j], reference.weight(1.0));
  }
  EXPECT_EQ(second.weights[n], reference.weight(1.0));

  FirstOrderNeuron first(n);
  first.Randomize(1.0);
  for (int i = 0; i <= n; ++i) EXPECT_EQ(first.weights[i], reference.weight(1.0));
}

TEST_F(NeuronRandom, AddNoiseAddsDrawsInTheSameOrder) {
  SecondOrderNeuron neuron(2);
  for (std::size_t w = 0; w < neuron.WeightCount(); ++w)
    neuron.AllWeights()[w] = 10.0 * static_cast<double>(w);
  neuron.AddNoise(0.25);
  ReferenceRand reference(kSeed);
  // Visiting order for n = 2: w0, p00, w1, p10, p11, bias; block positions 0, 3, 1, 4, 5, 2.
  for (std::size_t position : {0u, 3u, 1u, 4u, 5u, 2u}) {
    EXPECT_EQ(neuron.AllWeights()[position], 10.0 * static_cast<double>(position) + reference.weight(0.25))
        << position;
  }
}

TEST_F(NeuronRandom, RangeZeroZeroesOrKeepsEveryWeight) {
  ThirdOrderNeuron neuron(3);
  neuron.Randomize(1.0);
  std::vector<double> before(neuron.AllWeights(), neuron.AllWeights() + neuron.WeightCount());
  neuron.AddNoise(0.0);
  for (std::size_t w = 0; w < before.size(); ++w) EXPECT_EQ(neuron.AllWeights()[w], before[w]);
  neuron.Randomize(0.0);
  for (std::size_t w = 0; w < before.size(); ++w) EXPECT_EQ(neuron.AllWeights()[w], 0.0);
}

// --- copy ----------------------------------------------------------------------------------------

TEST(NeuronCopy, CopiesEveryWeightOnlyBetweenEqualShapes) {
  ThirdOrderNeuron source(2), target(2);
  for (std::size_t w = 0; w < source.WeightCount(); ++w)
    source.AllWeights()[w] = 1.0 + static_cast<double>(w);
  target.CopyWeights(source);
  for (std::size_t w = 0; w < source.WeightCount(); ++w)
    EXPECT_EQ(target.AllWeights()[w], source.AllWeights()[w]);

  SecondOrderNeuron otherOrder(2);
  ThirdOrderNeuron otherSize(3);
  EXPECT_THROW(target.CopyWeights(otherOrder), IllegalSizeException);
  EXPECT_THROW(target.CopyWeights(otherSize), IllegalSizeException);
  EXPECT_EQ(target.AllWeights()[0], 1.0);
}

// --- text form ----------------------------------------------------------------------------------

std::string writeText(const Neuron& neuron) {
  std::FILE* f = std::tmpfile();
  neuron.WriteText(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

TEST(NeuronText, LinesAndFormat) {
  SecondOrderNeuron neuron(2);
  const double all[] = {1.5, -0.25, 12.345678, 0.0, -100.0, 3.000004};
  std::copy(all, all + 6, neuron.AllWeights());
  EXPECT_EQ(writeText(neuron),
            " 1.50000 -0.25000  12.34568 \n"
            " 0.00000 \n"
            "-100.00000  3.00000 \n");
}

TEST(NeuronText, MatchesPrintfForManyValues) {
  for (double v : {0.0, -0.0, 1.0, -1.0, 0.123456, -0.000004, 99999.5, -1234567.891, 1e-20, 5e15}) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "% 8.5f ", v);
    std::FILE* f = std::tmpfile();
    writeTextWeight(f, v);
    std::rewind(f);
    char got[64] = {};
    const std::size_t length = std::fread(got, 1, sizeof got - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(got, length), expected) << v;
  }
}

TEST(NeuronText, ReadsBackInBlockOrderIgnoringLines) {
  ThirdOrderNeuron written(2);
  for (std::size_t w = 0; w < written.WeightCount(); ++w)
    written.AllWeights()[w] = 0.5 * static_cast<double>(w) - 2;
  const std::string text = writeText(written);

  ThirdOrderNeuron read(2);
  std::FILE* f = std::tmpfile();
  // Joined onto one line with tabs: the reader takes tokens, not lines.
  for (char c : text) std::fputc(c == '\n' ? '\t' : c, f);
  std::rewind(f);
  read.ReadText(f);
  std::fclose(f);
  for (std::size_t w = 0; w < written.WeightCount(); ++w)
    EXPECT_EQ(read.AllWeights()[w], written.AllWeights()[w]);
}

TEST(NeuronText, MissingOrMalformedTokensAreRefused) {
  for (const char* text : {"1.0 2.0", "1.0 2.0 abc", "1.0 2,5 3.0", ""}) {
    FirstOrderNeuron neuron(2);
    std::FILE* f = std::tmpfile();
    std::fputs(text, f);
    std::rewind(f);
    EXPECT_THROW(neuron.ReadText(f), IllegalDataFormatException) << text;
    std::fclose(f);
  }
  FirstOrderNeuron neuron(1);
  std::FILE* f = std::tmpfile();
  std::fputs("  +1.25\n-3e-1 ", f);
  std::rewind(f);
  neuron.ReadText(f);
  std::fclose(f);
  EXPECT_EQ(neuron.weights[0], 1.25);
  EXPECT_EQ(neuron.weights[1], -0.3);
}

}  // namespace
