#pragma once

#include <memory>
#include <vector>

#include "plugins/rprop/resilient_neuron_state.h"

class Perceptron;

// Rprop's training state for one network: the error signal δ of every neuron and one
// ResilientNeuronState per neuron. Built once per attachment; the batch gradient, the forward
// pass and the update allocate nothing.
class ResilientNetworkState {
 public:
  // Builds the state for every neuron of the network, all arrays zero. Throws
  // IllegalOrderException for a neuron of an order other than 1..3 and OutOfMemoryException
  // "Out of Memory!" when memory runs out.
  explicit ResilientNetworkState(Perceptron& network);
  ~ResilientNetworkState();
  ResilientNetworkState(const ResilientNetworkState&) = delete;
  ResilientNetworkState& operator=(const ResilientNetworkState&) = delete;

  // True when this state was built for exactly this network object as it is now: the same
  // layers, neurons and weight arrays. A state that does not fit must be rebuilt.
  bool Fits(const Perceptron& network) const;

  // Reset(initialStep) on every neuron state.
  void Reset(double initialStep);

  // The batch gradient of E = ½ Σ_e Σ_k (y_k − t_k)² over the examples 0..count-1, summed (not
  // averaged) into every neuron state's accumulated gradient, which starts from zero. Leaves the
  // last example's outputs and derivatives in the network's scratch arrays. questions[e] must
  // hold network.inputs values and targets[e] network.outputs values.
  void AccumulateGradient(double* const* questions, double* const* targets, int count);

  // The Rprop step on every weight, layer 0 first.
  void Update(const RpropStepRule& rule);

  // The forward pass with derivatives: every layer's outputs y and derivative values f′ into the
  // network's scratch arrays (the last layer into layerOutputs[L-1], layerDerivatives[L-1]).
  void ForwardWithDerivatives(const double* question);

  Perceptron* network() const { return network_; }
  ResilientNeuronState& neuronState(int layer, int neuron) const { return *neuronStates_[layer][neuron]; }
  const double* layerDeltas(int layer) const { return layerDeltas_[layer].data(); }

 private:
  // A layer of first-order neurons, kept as one matrix for the batch: the weights transposed
  // (input-major, so one input meets every neuron's weight in a contiguous row) and the gradient
  // accumulated in the same shape. Sums run in the same order as neuron by neuron, so results
  // are identical; only the memory walk changes.
  struct DenseLayer {
    int inputs = 0;
    int neurons = 0;
    std::vector<double> weights;   // inputs × neurons: weights[i·neurons + j] = w_j[i]
    std::vector<double> bias;      // w_j[inputs]
    std::vector<double> gradient;  // (inputs + 1) × neurons, the bias row last
  };

  void Forward(const double* question);  // with the dense weights already loaded
  void BackPropagate(const double* question, const double* target);
  void LoadDenseWeights();
  void StoreDenseGradients();
  void AccumulateLayer(int layer, const double* inputs);

  Perceptron* network_;
  std::vector<std::unique_ptr<DenseLayer>> dense_;  // per layer; null unless first order
  std::vector<std::vector<double>> layerDeltas_;    // δ per layer and neuron
  std::vector<std::vector<std::unique_ptr<ResilientNeuronState>>> neuronStates_;
  // What the state was built against, to recognise a network that was replaced.
  std::vector<const double*> weightBlocks_;
};
