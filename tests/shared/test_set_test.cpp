#include "shared/test_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "platform/random.h"

namespace {

using Order = std::vector<std::int32_t>;

TestSetLayout layOut(TestSetMode mode, std::int32_t n, std::int32_t t, std::int32_t blockStart = 0,
                     std::int32_t lastCount = 0) {
  return layOutTestSet(TestSetParameters{mode, blockStart, lastCount}, n, t);
}

Order identity(std::int32_t n) {
  Order order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  return order;
}

// The draws go through the process-wide generator: every test starts it from the state the
// product starts with.
class TestSetLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::crtSrand(1); }
};

// The generator seeded with 1 yields 41, 18467, 6334, 26500, 19169, … (the C runtime's
// well-known sequence). Mod 5 these are 1, 2, 4, 0, 4. By hand from 0 1 2 3 4:
// swap(0,1) → 1 0 2 3 4; swap(1,2) → 1 2 0 3 4; swap(2,4) → 1 2 4 3 0; swap(3,0) → 3 2 4 1 0;
// swap(4,4) → 3 2 4 1 0.
TEST_F(TestSetLayoutTest, RandomTestSetShufflesWithTheRuntimeGenerator) {
  const TestSetLayout layout = layOut(TestSetMode::RandomTestSet, 5, 2);
  EXPECT_EQ(layout.order, (Order{3, 2, 4, 1, 0}));
  EXPECT_EQ(layout.testCount, 2);
  EXPECT_EQ(platform::crtRand(), 15724);  // exactly five draws were taken (sixth value of the sequence)
}

TEST_F(TestSetLayoutTest, RandomTestSetCutsTToNAndStillShuffles) {
  const TestSetLayout all = layOut(TestSetMode::RandomTestSet, 5, 9);
  EXPECT_EQ(all.testCount, 5);  // every example tests, none trains
  EXPECT_EQ(all.order, (Order{3, 2, 4, 1, 0}));
  EXPECT_EQ(layOut(TestSetMode::RandomTestSet, 5, -3).testCount, 0);
}

TEST_F(TestSetLayoutTest, EmptyDataSetDrawsNothing) {
  const TestSetLayout layout = layOut(TestSetMode::RandomTestSet, 0, 3);
  EXPECT_TRUE(layout.order.empty());
  EXPECT_EQ(layout.testCount, 0);
  EXPECT_EQ(platform::crtRand(), 41);
}

TEST_F(TestSetLayoutTest, LastExamplesKeepsTheNaturalOrder) {
  TestSetLayout layout = layOut(TestSetMode::LastExamples, 10, 3);
  EXPECT_EQ(layout.order, identity(10));
  EXPECT_EQ(layout.testCount, 3);
  layout = layOut(TestSetMode::LastExamples, 10, 12);
  EXPECT_EQ(layout.testCount, 10);
  EXPECT_EQ(platform::crtRand(), 41);  // no draws
}

TEST_F(TestSetLayoutTest, BlockOfExamplesMovesTheBlockToTheEnd) {
  const TestSetLayout layout = layOut(TestSetMode::BlockOfExamples, 10, 4, 3);
  EXPECT_EQ(layout.order, (Order{0, 1, 2, 7, 8, 9, 3, 4, 5, 6}));
  EXPECT_EQ(layout.testCount, 4);
}

TEST_F(TestSetLayoutTest, BlockOfExamplesCutsTToWhatFollowsTheStart) {
  // N 10, block start 8, T 5: T becomes 2 and the order stays natural.
  TestSetLayout layout = layOut(TestSetMode::BlockOfExamples, 10, 5, 8);
  EXPECT_EQ(layout.testCount, 2);
  EXPECT_EQ(layout.order, identity(10));
  // The block just fits: start 6, T 4.
  layout = layOut(TestSetMode::BlockOfExamples, 10, 4, 6);
  EXPECT_EQ(layout.testCount, 4);
  EXPECT_EQ(layout.order, identity(10));
  // A start beyond N leaves no room for a test set.
  layout = layOut(TestSetMode::BlockOfExamples, 10, 3, 15);
  EXPECT_EQ(layout.testCount, 0);
  EXPECT_EQ(layout.order, identity(10));
  // A block at the very start moves examples 0..1 behind the rest.
  layout = layOut(TestSetMode::BlockOfExamples, 5, 2, 0);
  EXPECT_EQ(layout.order, (Order{2, 3, 4, 0, 1}));
  // A negative start counts as 0.
  EXPECT_EQ(layOut(TestSetMode::BlockOfExamples, 5, 2, -4).order, (Order{2, 3, 4, 0, 1}));
  EXPECT_EQ(platform::crtRand(), 41);
}

TEST_F(TestSetLayoutTest, RandomAndLastRaisesTToTheLastCount) {
  // N 7, last 3, T 1: T becomes 3; the first four examples are shuffled with r mod 4 =
  // 41→1, 18467→3, 6334→2, 26500→0: swap(0,1) → 1 0 2 3; swap(1,3) → 1 3 2 0; swap(2,2);
  // swap(3,0) → 0 3 2 1.
  const TestSetLayout layout = layOut(TestSetMode::RandomAndLast, 7, 1, 0, 3);
  EXPECT_EQ(layout.testCount, 3);
  EXPECT_EQ(layout.order, (Order{0, 3, 2, 1, 4, 5, 6}));
  EXPECT_EQ(platform::crtRand(), 19169);  // four draws taken
}

TEST_F(TestSetLayoutTest, RandomAndLastKeepsALargerTAndTheLastExamplesInTheTestSet) {
  const TestSetLayout layout = layOut(TestSetMode::RandomAndLast, 7, 5, 0, 2);
  EXPECT_EQ(layout.testCount, 5);
  // Shuffle over 5 entries: the same hand-run as for RandomTestSet.
  EXPECT_EQ(layout.order, (Order{3, 2, 4, 1, 0, 5, 6}));
}

TEST_F(TestSetLayoutTest, RandomAndLastWithEveryExampleLastDrawsNothing) {
  const TestSetLayout layout = layOut(TestSetMode::RandomAndLast, 3, 0, 0, 5);
  EXPECT_EQ(layout.testCount, 3);
  EXPECT_EQ(layout.order, identity(3));
  EXPECT_EQ(platform::crtRand(), 41);
}

TEST_F(TestSetLayoutTest, UnknownModeLaysOutLikeLastExamples) {
  const TestSetLayout layout = layOutTestSet(TestSetParameters{static_cast<TestSetMode>(9), 0, 0}, 4, 2);
  EXPECT_EQ(layout.order, identity(4));
  EXPECT_EQ(layout.testCount, 2);
}

TEST_F(TestSetLayoutTest, EveryLayoutIsAPermutationWithTheCutInRange) {
  for (auto mode : {TestSetMode::RandomTestSet, TestSetMode::LastExamples, TestSetMode::BlockOfExamples,
                    TestSetMode::RandomAndLast}) {
    for (std::int32_t n : {1, 2, 7, 50}) {
      for (std::int32_t t : {0, 1, n / 2, n, n + 3}) {
        for (std::int32_t start : {0, n / 3, n}) {
          const TestSetLayout layout = layOut(mode, n, t, start, start);
          Order sorted = layout.order;
          std::sort(sorted.begin(), sorted.end());
          EXPECT_EQ(sorted, identity(n));
          EXPECT_GE(layout.testCount, 0);
          EXPECT_LE(layout.testCount, n);
        }
      }
    }
  }
}

}  // namespace
