#include "shared/test_set.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "platform/random.h"

namespace {

// For i = 0..n−1 swaps entries i and r = crtRand() mod n of order[0..n), as the C runtime's
// generator would have shuffled them; no draws when n is 0.
void shuffleFront(std::vector<std::int32_t>& order, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t r = platform::crtRand() % n;
    std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(r)]);
  }
}

// Moves the block b..b+t−1 behind the examples that follow it; the examples before it stay.
void moveBlockToEnd(std::vector<std::int32_t>& order, std::int32_t b, std::int32_t t) {
  std::rotate(order.begin() + b, order.begin() + b + t, order.end());
}

}  // namespace

TestSetLayout layOutTestSet(const TestSetParameters& parameters, std::int32_t exampleCount,
                            std::int32_t requestedTestCount) {
  const std::int32_t n = std::max(exampleCount, 0);
  std::int32_t t = std::max(requestedTestCount, 0);
  TestSetLayout layout;
  layout.order.resize(static_cast<std::size_t>(n));
  std::iota(layout.order.begin(), layout.order.end(), 0);

  switch (parameters.testSetMode) {
    case TestSetMode::RandomTestSet:
      t = std::min(t, n);
      shuffleFront(layout.order, n);
      break;
    case TestSetMode::BlockOfExamples: {
      const std::int32_t b = std::clamp(parameters.blockStart, 0, n);
      t = std::min(t, n - b);
      moveBlockToEnd(layout.order, b, t);
      break;
    }
    case TestSetMode::RandomAndLast: {
      const std::int32_t last = std::max(parameters.lastCount, 0);
      const std::int32_t l = std::min(last, n);
      t = std::min(std::max(t, last), n);
      shuffleFront(layout.order, n - l);
      break;
    }
    case TestSetMode::LastExamples:
    default:
      t = std::min(t, n);
      break;
  }
  layout.testCount = t;
  return layout;
}
