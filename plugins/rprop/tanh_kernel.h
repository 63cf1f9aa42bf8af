#pragma once

// The network's tanh over a block of net inputs, vectorised with the kernels of shared/simd.h
// (baseline and AVX2 paths, the same bits on both).
namespace rprop_tanh {

// In place over count values (a multiple of simd::kLanes): y = tanh(s) exactly as the network's
// tanhActivation computes it, and slope = 1 − y·y as tanhDerivative does.
void tanhWithSlope(double* values, double* slope, int count);

}  // namespace rprop_tanh
