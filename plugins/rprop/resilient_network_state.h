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
  // The examples go through in blocks of kBlockRows; within a block, first-order layers are
  // computed for all examples at once, vectorised across neurons, so every weight's gradient is
  // still the sum over the examples in ascending order: the result is bit for bit that of
  // back-propagating one example after another.
  void AccumulateGradient(double* const* questions, double* const* targets, int count);

  // The Rprop step on every weight, layer 0 first.
  void Update(const RpropStepRule& rule);

  // The forward pass with derivatives: every layer's outputs y and derivative values f′ into the
  // network's scratch arrays (the last layer into layerOutputs[L-1], layerDerivatives[L-1]).
  void ForwardWithDerivatives(const double* question);

  Perceptron* network() const { return network_; }
  ResilientNeuronState& neuronState(int layer, int neuron) const { return *neuronStates_[layer][neuron]; }

  // Examples per block: the block buffers of the 8-16-1 network fit the level-1 cache.
  static constexpr int kBlockRows = 32;

  // How a layer's activation is applied to a block: the vectorised kernels where they are proven
  // to give exactly the network's function, otherwise the network's function value by value.
  enum class ActivationKind { kTanh, kLinear, kNetworkFunction };
  ActivationKind activationKind(int layer) const { return layers_[layer]->activation; }

 private:
  // The per-layer buffers of a block of examples, row e at e·width, and for a first-order layer
  // its weights as matrices (loaded once per batch: the weights do not change within it) and its
  // gradient. Lanes past the last neuron stay zero in every weight matrix.
  struct Layer {
    bool dense = false;  // first order: the matrix kernels apply
    ActivationKind activation = ActivationKind::kNetworkFunction;
    int inputs = 0;
    int neurons = 0;
    int width = 0;                    // neurons rounded up to whole vectors
    std::vector<double> outputs;      // kBlockRows × width: net input, then y
    std::vector<double> slopes;       // kBlockRows × width: f′
    std::vector<double> deltas;       // kBlockRows × width: δ = ∂E/∂(net input)
    std::vector<const double*> rows;  // kBlockRows pointers to the rows of outputs
    std::vector<double> inputMajor;   // dense: inputs × width, w_j[i] at i·width + j
    std::vector<double> bias;         // dense: width
    std::vector<double> neuronMajor;  // dense, above layer 0: neurons × (width of the layer below)
    std::vector<double> gradient;     // dense: (inputs + 1) × width, the bias row last
  };

  void ForwardBlock(const double* const* questions, int rows);
  void Activate(int layer, int rows);
  void BackPropagateBlock(const double* const* questions, const double* const* targets, int rows);
  void AccumulateLayer(int layer, const double* const* inputs, int rows);
  void PropagateSignal(int layer, int rows);
  void KeepRow(int row);
  void LoadDenseWeights();
  void StoreDenseGradients();

  Perceptron* network_;
  std::vector<std::unique_ptr<Layer>> layers_;
  std::vector<std::vector<std::unique_ptr<ResilientNeuronState>>> neuronStates_;
  // What the state was built against, to recognise a network that was replaced.
  std::vector<const double*> weightBlocks_;
};
