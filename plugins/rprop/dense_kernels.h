#pragma once

// The batch kernels of Rprop's first-order layers. A block of examples is processed at once; the
// vectors run across the neurons (or across a neuron's inputs), never across the examples, so
// every sum keeps the order of the one-example-at-a-time computation: a net input sums its inputs
// in ascending order from 0 and adds the bias last, a weight's gradient sums its examples in
// ascending order, a back-propagated signal sums the neurons above in ascending order from 0.
// The results are therefore bit for bit those of the neuron-by-neuron code. This file is compiled
// without contraction into fused multiply-adds, which would round differently.
//
// Layout: a layer of `neurons` neurons is stored `width` = paddedWidth(neurons) lanes wide; the
// lanes past the last neuron hold zero weights, so they compute harmless zeros. A block holds
// `rows` examples, row e of a block buffer starting at e·width. All pointers are to distinct,
// non-overlapping arrays unless stated.

namespace rprop_kernels {

// Lanes of one vector; every padded width is a multiple of it.
inline constexpr int kLanes = 4;

inline int paddedWidth(int count) {
  return (count + kLanes - 1) / kLanes * kLanes;
}

// net[e·width + j] = (Σ_{i ascending} weights[i·width + j]·x[e][i]) + bias[j] for all j < width;
// weights is inputs × width (input-major), x[e] points to example e's inputs.
void denseNetInputs(const double* const* x, int rows, int inputs, const double* weights, const double* bias,
                    int width, double* net);

// gradient[i·width + j] += Σ_{e ascending} delta[e·width + j]·x[e][i], and the bias row
// gradient[inputs·width + j] += Σ_e delta[e·width + j]; gradient is (inputs + 1) × width.
void accumulateDenseGradient(const double* const* x, const double* delta, int rows, int inputs, int width,
                             double* gradient);

// The error signal of the layer below: below[e·belowWidth + m] = slope[e·belowWidth + m] ·
// Σ_{k ascending} weights[k·belowWidth + m]·delta[e·width + k], the sum started from 0, for all
// m < belowWidth; weights is neurons × belowWidth (neuron-major). below may not alias slope.
void denseBackSignal(const double* delta, int rows, int neurons, int width, const double* weights,
                     int belowWidth, const double* slope, double* below);

// In place over count values (a multiple of kLanes): y = tanh(s) exactly as the network's
// tanhActivation computes it, and slope = 1 − y·y as tanhDerivative does.
void tanhWithSlope(double* values, double* slope, int count);

}  // namespace rprop_kernels
