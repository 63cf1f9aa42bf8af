#include "mlp/significance/box_counter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "mlp/significance/parallel_for.h"
#include "shared/exceptions.h"
#include "significance_test_data.h"
#include "tests/support/test_support.h"

namespace significance {
namespace {

using test::makeMatrix;

class BoxCounterTest : public lumivane::test::PromptedTest {
 protected:
  static BoxCountOptions quick() {
    BoxCountOptions o;
    o.finishPause = std::chrono::milliseconds(0);
    o.threads = 2;
    return o;
  }
};

TEST_F(BoxCounterTest, FirstConstantInputIsNamedBeforeAnyOutput) {
  const RealMatrix X = makeMatrix(50, 3, [](std::int32_t i, std::int32_t c) { return c == 0 ? i : 2.0; });
  const RealMatrix Y = makeMatrix(50, 1, [](std::int32_t, std::int32_t) { return 1.0; });
  BoxCounter counter(X, Y, {"age", "dose", "weight"}, {"response"});
  counter.setOptions(quick());
  prompter.answerMessage(platform::IDOK);
  test::RecordingProgress progress;
  EXPECT_FALSE(counter.run(progress));
  const auto messages = prompter.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "Column 'dose' has zero variance!\nYou should remove it from the data set if you want to perform "
            "boxcounting!");
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(messages[0].buttons(), platform::MB_OK);
  EXPECT_EQ(messages[0].icon(), 0u);
  EXPECT_TRUE(progress.events.empty());  // refused before any computation
  EXPECT_EQ(counter.significance()(0, 0), 0.0);
}

TEST_F(BoxCounterTest, ConstantOutputIsNamedWhenEveryInputVaries) {
  const RealMatrix X = test::uniformMatrix(40, 2, 1);
  const RealMatrix Y = makeMatrix(40, 3, [](std::int32_t i, std::int32_t c) { return c == 0 ? i : -1.5; });
  BoxCounter counter(X, Y, {"a", "b"}, {"first", "second", "third"});
  prompter.answerMessage(platform::IDOK);
  NullProgress progress;
  EXPECT_FALSE(counter.run(progress));
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].text, zeroVarianceMessage("second"));
  EXPECT_EQ(*counter.firstConstantColumn(), "second");
}

TEST_F(BoxCounterTest, RunFillsPredictabilityThenSignificanceWithTheirProgress) {
  constexpr std::int32_t n = 3000;
  const RealMatrix X = test::uniformMatrix(n, 3, 5);
  const RealMatrix Y = makeMatrix(n, 2, [&](std::int32_t i, std::int32_t c) {
    return c == 0 ? std::sin(3.0 * X(i, 0)) : X(i, 2) * X(i, 1);
  });
  BoxCounter counter(X, Y, {"x1", "x2", "x3"}, {"y1", "y2"});
  counter.setOptions(quick());
  test::RecordingProgress progress;
  ASSERT_TRUE(counter.run(progress));
  EXPECT_EQ(progress.texts(), (std::vector<std::string>{"1-th output: Performing boxcounting...",
                                                        "2-th output: Performing boxcounting...",
                                                        "Finding significant inputs..."}));
  EXPECT_EQ(progress.positionsAfterText(2), (std::vector<int>{0, 16, 33, 50, 66, 83, 100}));
  EXPECT_EQ(progress.positionsAfterText(0).back(), 100);

  ASSERT_EQ(counter.predictability().Rows(), 2);
  ASSERT_EQ(counter.predictability().Cols(), 2);
  ASSERT_EQ(counter.significance().Rows(), 2);
  ASSERT_EQ(counter.significance().Cols(), 3);
  for (std::int32_t j = 0; j < 2; ++j) {
    EXPECT_GE(counter.predictability()(0, j), counter.predictability()(1, j));
    EXPECT_GT(counter.predictabilityMidpoint(j), 0.4);
    EXPECT_GE(counter.predictabilityHalfWidth(j), 0.0);
  }
  // y1 depends on x1 only, y2 on x2 and x3.
  EXPECT_GT(counter.significance()(0, 0), 5 * counter.significance()(0, 1));
  EXPECT_GT(counter.significance()(0, 0), 5 * counter.significance()(0, 2));
  EXPECT_GT(counter.significance()(1, 1), 5 * counter.significance()(1, 0));
  EXPECT_GT(counter.significance()(1, 2), 5 * counter.significance()(1, 0));
}

TEST_F(BoxCounterTest, ExactLinearOutputNeverShowsNanOrInfinity) {
  // An output that is an exact linear function of the inputs, and one that repeats an input.
  constexpr std::int32_t n = 1500;
  const RealMatrix X = test::uniformMatrix(n, 2, 9);
  const RealMatrix Y = makeMatrix(
      n, 2, [&](std::int32_t i, std::int32_t c) { return c == 0 ? 2.0 * X(i, 0) - X(i, 1) : X(i, 1); });
  BoxCounter counter(X, Y, {"u", "v"}, {"lin", "copy"});
  counter.setOptions(quick());
  NullProgress progress;
  ASSERT_TRUE(counter.run(progress));
  for (std::int32_t j = 0; j < 2; ++j) {
    EXPECT_TRUE(std::isfinite(counter.predictabilityMidpoint(j)));
    EXPECT_TRUE(std::isfinite(counter.predictabilityHalfWidth(j)));
    for (std::int32_t i = 0; i < 2; ++i) EXPECT_TRUE(std::isfinite(counter.significance()(j, i)));
  }
  EXPECT_EQ(counter.predictability()(0, 1), 16.0);  // copies an input: an exact fit
  EXPECT_GT(counter.significance()(1, 1), 0.9);     // an output that copies an input
}

TEST_F(BoxCounterTest, BufferConstructorReadsRowMajorValues) {
  const double inputs[] = {1, 2, 3, 4, 5, 6};  // 3 × 2
  const double outputs[] = {7, 8, 9};          // 3 × 1
  BoxCounter counter(inputs, outputs, {"a", "b"}, {"y"}, 3, 2, 1);
  EXPECT_EQ(counter.inputs()(1, 0), 3.0);
  EXPECT_EQ(counter.inputs()(2, 1), 6.0);
  EXPECT_EQ(counter.outputs()(2, 0), 9.0);
  EXPECT_EQ(counter.inputCount(), 2);
  EXPECT_EQ(counter.outputCount(), 1);
  EXPECT_THROW(BoxCounter(inputs, outputs, {"a"}, {"y"}, 3, 2, 1), IllegalMatrixSizeException);
  EXPECT_THROW(BoxCounter(inputs, outputs, {"a", "b"}, {"y"}, 0, 2, 1), IllegalMatrixSizeException);
  EXPECT_THROW(BoxCounter(test::uniformMatrix(3, 1, 1), test::uniformMatrix(4, 1, 1), {"a"}, {"y"}),
               IllegalMatrixSizeException);
}

TEST(ParallelFor, ReportsEveryCompletionInOrderAndRethrowsTheFirstFailure) {
  std::vector<int> results(40, 0);
  std::vector<std::int64_t> reported;
  parallelFor(
      40, 3, [&](std::int64_t i) { results[i] = static_cast<int>(i * i); },
      [&](std::int64_t done) { reported.push_back(done); });
  for (int i = 0; i < 40; ++i) EXPECT_EQ(results[i], i * i);
  ASSERT_EQ(reported.size(), 40u);
  for (std::size_t k = 0; k < reported.size(); ++k) EXPECT_EQ(reported[k], static_cast<std::int64_t>(k + 1));

  EXPECT_THROW(parallelFor(
                   100, 3,
                   [&](std::int64_t i) {
                     if (i == 17) throw OutOfMemoryException("Out of memory");
                   },
                   [](std::int64_t) {}),
               OutOfMemoryException);
}

}  // namespace
}  // namespace significance
