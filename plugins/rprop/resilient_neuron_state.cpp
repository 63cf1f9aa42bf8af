#include "plugins/rprop/resilient_neuron_state.h"

#include <algorithm>
#include <new>
#include <string>

#include "mlp/engine/neuron.h"
#include "shared/exceptions.h"

namespace {

// Number of arrays kept per weight: gradient, previous gradient, step.
constexpr std::size_t kArraysPerWeight = 3;

}  // namespace

ResilientNeuronState::ResilientNeuronState(Neuron& neuron)
    : neuron_(&neuron), n_(neuron.inputCount), weights_(neuron.AllWeights()), size_(neuron.WeightCount()) {
  storage_.reset(new (std::nothrow) double[kArraysPerWeight * size_]());
  if (!storage_) throw OutOfMemoryException("Out of Memory!");
  gradient_ = storage_.get();
  previous_ = gradient_ + size_;
  steps_ = previous_ + size_;
}

ResilientNeuronState::~ResilientNeuronState() = default;

void ResilientNeuronState::Update(double decrease, double increase, double minimal, double maximal) {
  for (std::size_t k = 0; k < size_; ++k) {
    const double g = gradient_[k];
    const double s = previous_[k] * g;
    double step = steps_[k];
    if (s > 0.0) {
      const double grown = step * increase;
      step = grown < maximal ? grown : maximal;
    } else if (s < 0.0) {
      const double shrunk = step * decrease;
      step = shrunk > minimal ? shrunk : minimal;
    }
    steps_[k] = step;
    // Move against the gradient's sign. After a sign change the weight still moves by the reduced
    // step (no backtracking), and the current gradient is remembered as it is.
    if (g > 0.0)
      weights_[k] -= step;
    else if (g < 0.0)
      weights_[k] += step;
    previous_[k] = g;
  }
}

void ResilientNeuronState::ClearGradient() {
  std::fill(gradient_, gradient_ + size_, 0.0);
}

void ResilientNeuronState::Reset(double initialStep) {
  std::fill(gradient_, gradient_ + size_, 0.0);
  std::fill(previous_, previous_ + size_, 0.0);
  std::fill(steps_, steps_ + size_, initialStep);
}

void ResilientNeuronState::AddInputSignal(const double* x, double delta, double* signal) const {
  for (int m = 0; m < n_; ++m) signal[m] += InputDerivative(m, x) * delta;
}

// ---------------------------------------------------------------------------------------------
// Order 1: net = Σ w[i]·x[i] + bias.

FirstOrderResilientState::FirstOrderResilientState(Neuron& neuron) : ResilientNeuronState(neuron) {}

void FirstOrderResilientState::Accumulate(const double* x, double delta) {
  double* g = gradient_;
  for (int i = 0; i < n_; ++i) g[i] += delta * x[i];
  g[n_] += delta;
}

double FirstOrderResilientState::InputDerivative(int m, const double*) const {
  return weights_[m];
}

void FirstOrderResilientState::AddInputSignal(const double*, double delta, double* signal) const {
  const double* w = weights_;
  for (int m = 0; m < n_; ++m) signal[m] += w[m] * delta;
}

// ---------------------------------------------------------------------------------------------
// Order 2: net = (S1 + bias) + S2/n, S2 = Σ_i Σ_{j≤i} p[i][j]·x[i]·x[j].

namespace {

// Adds c·x[i]·x[j] to the pair gradients, row by row as the triangle is stored.
double* accumulatePairs(double* g, const double* x, int n, double c) {
  for (int i = 0; i < n; ++i) {
    const double cxi = c * x[i];
    for (int j = 0; j <= i; ++j) *g++ += cxi * x[j];
  }
  return g;
}

// ∂S2/∂x[m] = Σ_{j≤m} p[m][j]·x[j] + Σ_{i≥m} p[i][m]·x[i]; the diagonal weight p[m][m] appears in
// both sums, as the derivative of x[m]² requires.
double pairInputDerivative(double* const* p, int n, int m, const double* x) {
  double s = 0.0;
  for (int j = 0; j <= m; ++j) s += p[m][j] * x[j];
  for (int i = m; i < n; ++i) s += p[i][m] * x[i];
  return s;
}

}  // namespace

SecondOrderResilientState::SecondOrderResilientState(Neuron& neuron)
    : ResilientNeuronState(neuron), pairWeights_(static_cast<SecondOrderNeuron&>(neuron).pairWeights) {}

void SecondOrderResilientState::Accumulate(const double* x, double delta) {
  double* g = gradient_;
  for (int i = 0; i < n_; ++i) g[i] += delta * x[i];
  g[n_] += delta;
  accumulatePairs(g + n_ + 1, x, n_, delta / n_);
}

double SecondOrderResilientState::InputDerivative(int m, const double* x) const {
  return weights_[m] + pairInputDerivative(pairWeights_, n_, m, x) / n_;
}

// ---------------------------------------------------------------------------------------------
// Order 3: net = S3/n² + S2/n + (S1 + bias), S3 = Σ_i Σ_{j≤i} Σ_{k≤j} t[i][j][k]·x[i]·x[j]·x[k].

ThirdOrderResilientState::ThirdOrderResilientState(Neuron& neuron)
    : ResilientNeuronState(neuron),
      pairWeights_(static_cast<ThirdOrderNeuron&>(neuron).pairWeights),
      tripleWeights_(static_cast<ThirdOrderNeuron&>(neuron).tripleWeights) {}

void ThirdOrderResilientState::Accumulate(const double* x, double delta) {
  double* g = gradient_;
  for (int i = 0; i < n_; ++i) g[i] += delta * x[i];
  g[n_] += delta;
  const double dn = n_;
  g = accumulatePairs(g + n_ + 1, x, n_, delta / dn);
  const double c3 = delta / (dn * dn);
  for (int i = 0; i < n_; ++i) {
    const double cxi = c3 * x[i];
    for (int j = 0; j <= i; ++j) {
      const double cxij = cxi * x[j];
      for (int k = 0; k <= j; ++k) *g++ += cxij * x[k];
    }
  }
}

double ThirdOrderResilientState::InputDerivative(int m, const double* x) const {
  // ∂(x[i]·x[j]·x[k])/∂x[m] over the stored triples i ≥ j ≥ k, split by the position m takes:
  // a triple holding m two or three times is met in two or three of the sums below, which is
  // exactly its multiplicity in the derivative.
  double s3 = 0.0;
  for (int j = 0; j <= m; ++j)  // i = m
    for (int k = 0; k <= j; ++k) s3 += tripleWeights_[m][j][k] * x[j] * x[k];
  for (int i = m; i < n_; ++i)  // j = m
    for (int k = 0; k <= m; ++k) s3 += tripleWeights_[i][m][k] * x[i] * x[k];
  for (int i = m; i < n_; ++i)  // k = m
    for (int j = m; j <= i; ++j) s3 += tripleWeights_[i][j][m] * x[i] * x[j];
  const double dn = n_;
  return weights_[m] + pairInputDerivative(pairWeights_, n_, m, x) / dn + s3 / (dn * dn);
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<ResilientNeuronState> makeResilientState(Neuron& neuron) {
  try {
    switch (neuron.Order()) {
      case 1:
        return std::make_unique<FirstOrderResilientState>(neuron);
      case 2:
        return std::make_unique<SecondOrderResilientState>(neuron);
      case 3:
        return std::make_unique<ThirdOrderResilientState>(neuron);
      default:
        throw IllegalOrderException("neuron order " + std::to_string(neuron.Order()) + " is not 1, 2 or 3");
    }
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException("Out of Memory!");
  }
}
