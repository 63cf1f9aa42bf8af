#pragma once

#include <cstdint>

// Small dense vector kernels behind the matrix library's inner loops. Each is compiled twice,
// for the x86-64-v3 level (AVX2, FMA) and for the baseline, and the loader picks the one the
// processor supports, so one binary runs everywhere and uses wide registers where it can.
// With fused multiply-add the roundings of each step differ from the baseline's. dot() sums in
// four interleaved partial sums: use it only where the order of a sum is free (inside the
// decomposition), never for results whose sum order is fixed.
namespace kernels {

// Σ x[k]·y[k] for k = 0 … len−1, in four partial sums over k mod 4.
double dot(const double* x, const double* y, std::int32_t len);
// y[k] += a·x[k].
void axpy(double* y, double a, const double* x, std::int32_t len);
// Plane rotation of two vectors: (x, y) := (x·c + y·s, y·c − x·s).
void rotate(double* x, double* y, std::int32_t len, double c, double s);

}  // namespace kernels
