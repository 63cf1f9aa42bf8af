#pragma once

#include <cstdint>
#include <vector>

// How the examples of Vantor's data set are split into a training set (the first positions of
// the training order) and a test set (the last T positions).
enum class TestSetMode : std::int32_t {
  RandomTestSet = 0,    // shuffled order; the last T positions are the test set
  LastExamples = 1,     // natural order; the last T examples are the test set
  BlockOfExamples = 2,  // the block starting at blockStart moves to the end
  RandomAndLast = 3,    // the last lastCount examples always test, the others are shuffled
};

// The three stored test-set parameters (all 0 for a new data set).
struct TestSetParameters {
  TestSetMode testSetMode = TestSetMode::RandomTestSet;
  std::int32_t blockStart = 0;  // "First example of the block:", zero-based example index
  std::int32_t lastCount = 0;   // "Amount of last examples:"
};

// The result of a layout: order[p] is the example at position p (a permutation of 0..N−1) and
// testCount is T after the mode's cutting rules (0 ≤ T ≤ N).
struct TestSetLayout {
  std::vector<std::int32_t> order;
  std::int32_t testCount = 0;
};

// Lays out N examples with the requested test count:
// - RandomTestSet: T cut to N; from the identity order, for i = 0..N−1 swap entries i and
//   r = crtRand() mod N.
// - LastExamples: T cut to N; identity order.
// - BlockOfExamples: b = min(blockStart, N); T cut to N − b; positions 0..b−1 hold examples
//   0..b−1, then the examples b+T..N−1, then the block b..b+T−1.
// - RandomAndLast: L = min(lastCount, N); T raised to lastCount, then cut to N; the first N−L
//   examples shuffled as above with r = crtRand() mod (N−L), the last L keep their places.
// Negative counts and starts count as 0; an unknown mode lays out like LastExamples. Draws go
// through platform::crtRand() in exactly this order (none when the range to draw from is empty).
TestSetLayout layOutTestSet(const TestSetParameters& parameters, std::int32_t exampleCount,
                            std::int32_t requestedTestCount);
