#pragma once

// The net inputs and the gradient of a layer of second- or third-order neurons over a block of
// examples, vectorised across the neurons with the kernels of shared/simd.h (baseline and AVX2
// paths, the same bits on both).
//
// Layout: the layer's weights are stored term-major, `width` lanes per term (width a multiple of
// simd::kLanes): term t of neuron j at t·width + j, the terms in the order of the neuron's weight
// block (linear weights, bias, pair triangle row by row, triple rows). Lanes past the last neuron
// hold zero weights. Row e of a block buffer starts at e·width.
//
// Every lane computes exactly the expressions of the neuron-by-neuron code, in the same order:
// - order 2: net = (S1 + bias) + S2/n, order 3: net = (S3/n² + S2/n) + (S1 + bias), with
//   S1 = Σ_i w_i·x_i, S2 = Σ_i Σ_{j≤i} (p_ij·x_i)·x_j, S3 = Σ_i Σ_{j≤i} Σ_{k≤j} ((t_ijk·x_i)·x_j)·x_k,
//   each sum from 0 in ascending order;
// - the gradient adds, example after example, δ·x_i, δ, (δ/n·x_i)·x_j and ((δ/n²·x_i)·x_j)·x_k.
// So the results are bit for bit those of NetInput and Accumulate of the neuron states.
namespace rprop_kernel {

// The divisors n and n² of the higher-order sums.
struct OrderDivisors {
  explicit OrderDivisors(int inputs);
  double n;
  double squared;
  // Dividing by a power of two and multiplying by its reciprocal round the same exact value, so
  // for such n the kernels multiply.
  bool exact;
  double inverseN;
  double inverseSquared;
};

// net[e·width + j] for every example e < rows and lane j < width; x[e] points to example e's
// `inputs` values; weights is terms × width (term-major).
void higherOrderNetInputs(const double* const* x, int rows, int inputs, int order, const double* weights,
                          int width, double* net);

// For the lanes j0 ≤ j < j0 + lanes (both multiples of simd::kLanes), adds every example's terms to
// gradient[t·gradientWidth + (j − j0)], examples in ascending order; delta[e·width + j] is example
// e's error signal of neuron j.
void accumulateHigherOrderGradient(const double* const* x, const double* delta, int rows, int inputs,
                                   int order, int width, int j0, int lanes, double* gradient,
                                   int gradientWidth);

}  // namespace rprop_kernel
