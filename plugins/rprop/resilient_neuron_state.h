#pragma once

#include <cstddef>
#include <memory>

class Neuron;

// The step sizes of the Rprop rule, read by every weight update.
struct RpropStepRule {
  double decrease;  // η−: factor on a step after the gradient changed its sign
  double increase;  // η+: factor on a step while the gradient keeps its sign
  double minimal;   // Δmin: smallest step
  double maximal;   // Δmax: largest step
};

// Per-neuron training state of Rprop. For every weight of the network neuron it keeps three
// values — the previous epoch's gradient, the gradient accumulated in this epoch and the step
// size Δ — in arrays laid out exactly like the neuron's weight block (linear weights, bias, pair
// triangle, triple rows), so weight k of Neuron::AllWeights() pairs with entry k here.
// Writes the neuron's weights in place; never reallocates them. Allocation happens only in the
// constructor; every other operation is allocation-free.
class ResilientNeuronState {
 public:
  // Slot 0.
  virtual ~ResilientNeuronState();
  // Slot 1: adds one example's ∂E/∂w = δ·∂(net input)/∂w for every weight; x = the neuron's
  // inputs, delta = its error signal δ = ∂E/∂(net input).
  virtual void Accumulate(const double* x, double delta) = 0;
  // Slot 2: ∂(net input)/∂x[m] at the inputs x.
  virtual double InputDerivative(int m, const double* x) const = 0;
  // Slot 3: one Rprop step on every weight (sign of the accumulated gradient, adaptive Δ, no
  // weight-backtracking); the accumulated gradient becomes the previous one.
  virtual void Update(double decrease, double increase, double minimal, double maximal);
  // Slot 4: every accumulated gradient := 0.
  virtual void ClearGradient();
  // Slot 5: gradient := 0, previous gradient := 0, step := initialStep for every weight.
  virtual void Reset(double initialStep);
  // Back-propagation in one call: signal[m] += InputDerivative(m, x)·delta for every input m,
  // added in the same order as calling InputDerivative input by input.
  virtual void AddInputSignal(const double* x, double delta, double* signal) const;

  Neuron* neuron() const { return neuron_; }
  std::size_t size() const { return size_; }
  const double* gradient() const { return gradient_; }
  double* gradient() { return gradient_; }
  const double* previousGradient() const { return previous_; }
  const double* steps() const { return steps_; }

  ResilientNeuronState(const ResilientNeuronState&) = delete;
  ResilientNeuronState& operator=(const ResilientNeuronState&) = delete;

 protected:
  // Allocates the three arrays for every weight of the neuron (OutOfMemoryException
  // "Out of Memory!" on failure) and leaves them zero.
  explicit ResilientNeuronState(Neuron& neuron);

  Neuron* neuron_;
  int n_;             // the neuron's input count
  double* weights_;   // the neuron's whole weight block (contiguous)
  std::size_t size_;  // number of weights
  double* gradient_;  // accumulated in this epoch
  double* previous_;  // the previous epoch's gradient
  double* steps_;     // Δ per weight

 private:
  std::unique_ptr<double[]> storage_;
};

class FirstOrderResilientState final : public ResilientNeuronState {
 public:
  explicit FirstOrderResilientState(Neuron& neuron);
  void Accumulate(const double* x, double delta) override;
  double InputDerivative(int m, const double* x) const override;
  void AddInputSignal(const double* x, double delta, double* signal) const override;
};

class SecondOrderResilientState final : public ResilientNeuronState {
 public:
  explicit SecondOrderResilientState(Neuron& neuron);
  void Accumulate(const double* x, double delta) override;
  double InputDerivative(int m, const double* x) const override;

 private:
  double** pairWeights_;
};

class ThirdOrderResilientState final : public ResilientNeuronState {
 public:
  explicit ThirdOrderResilientState(Neuron& neuron);
  void Accumulate(const double* x, double delta) override;
  double InputDerivative(int m, const double* x) const override;

 private:
  double** pairWeights_;
  double*** tripleWeights_;
};

// The state matching the neuron's Order(); IllegalOrderException for any other order.
std::unique_ptr<ResilientNeuronState> makeResilientState(Neuron& neuron);
