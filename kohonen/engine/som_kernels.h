#pragma once

#include <cstdint>

// The inner loops of map training on weights stored as component planes (component k of cell i
// at planes[k·stride + i]). Each is compiled for AVX2 and for the baseline and the loader picks
// the one the processor supports. None uses fused multiply-add, so every operation rounds as in
// plain scalar code and a map trains to the same bits on every x86-64 processor. Every sum over
// the components runs in component order, as the distance formula is written.
namespace som_kernels {

// Both kernels return the smallest sum they wrote, ignoring sums that are not a number
// (+infinity for an empty range or when none is a number).

// acc[i] := Σₖ (planes[k·stride + i] − x[k])² for begin ≤ i < end.
double squaredDistances(const double* planes, std::int64_t stride, std::int32_t dimension, const double* x,
                        std::int32_t begin, std::int32_t end, double* acc);

// For begin ≤ i < end: every component of a cell with h[i − begin] ≠ 0 moves towards x,
// w ← w + delta·(h[i − begin]·(x[k] − w)) (cells with h = 0 keep their weights exactly), and
// then acc[i] := Σₖ (w − next[k])² with the moved weights (one sweep instead of two).
double pullAndMeasure(double* planes, std::int64_t stride, std::int32_t dimension, const double* x,
                      const double* h, double delta, const double* next, std::int32_t begin, std::int32_t end,
                      double* acc);

}  // namespace som_kernels
