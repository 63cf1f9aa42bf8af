#pragma once

#include <memory>
#include <vector>

#include "plugins/rprop/epoch_mode_chooser.h"
#include "plugins/rprop/resilient_neuron_state.h"
#include "plugins/rprop/worker_pool.h"

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
  // The examples go through in blocks of kBlockRows; within a block, every layer (of any order) is
  // computed for all examples at once, vectorised across neurons, so every weight's gradient is
  // still the sum over the examples in ascending order: the result is bit for bit that of
  // back-propagating one example after another.
  // With more than one thread (SetThreadCount) and enough work (PartsFor), the examples go
  // through in steps of kStepRows: in each step every thread propagates its share of the step's
  // examples, keeping their outputs and error signals, and adds the previous step's examples to
  // its share of the weights' sums; each weight still sums all examples in ascending order, so
  // the result is bit for bit the one-thread result.
  void AccumulateGradient(double* const* questions, double* const* targets, int count);

  // Threads the batch gradient may use, 1 … kMaxThreads (clamped). The threads start with the
  // first epoch that uses them.
  void SetThreadCount(int threads);
  int threadCount() const { return threads_; }
  static constexpr int kMaxThreads = 64;
  // Examples per block: the block buffers of the 8-16-1 network fit the level-1 cache.
  static constexpr int kBlockRows = 32;
  // The threads an epoch of count examples uses: every thread must get at least
  // minimumWorkPerThread() example-weight products, or the threads' hand-overs would cost more
  // than they save; 1 means the epoch runs on the calling thread alone.
  int PartsFor(int count) const;
  // About a tenth of a millisecond of one thread's work on a first-order network.
  static constexpr long long kMinWorkPerThread = 250'000;
  long long minimumWorkPerThread() const { return minWorkPerThread_; }
  // Tests lower it to run the threaded gradient on small problems; the result is the same.
  void SetMinimumWorkPerThread(long long work) { minWorkPerThread_ = work < 0 ? 0 : work; }
  // Where PartsFor allows threads, an epoch runs threaded or on one thread, whichever took less
  // time lately (EpochModeChooser); without the timed choice (tests) every such epoch is threaded.
  void SetTimedChoice(bool timed) { timedChoice_ = timed; }
  // Examples per step of the threaded gradient: the values a step keeps stay in the cache
  // until the next step has summed them.
  static constexpr int kStepRows = 16 * kBlockRows;

  // The Rprop step on every weight, layer 0 first.
  void Update(const RpropStepRule& rule);

  // The forward pass with derivatives: every layer's outputs y and derivative values f′ into the
  // network's scratch arrays (the last layer into layerOutputs[L-1], layerDerivatives[L-1]).
  void ForwardWithDerivatives(const double* question);

  Perceptron* network() const { return network_; }
  ResilientNeuronState& neuronState(int layer, int neuron) const { return *neuronStates_[layer][neuron]; }

  // How a layer's activation is applied to a block: the vectorised kernels where they are proven
  // to give exactly the network's function, otherwise the network's function value by value.
  enum class ActivationKind { kTanh, kLinear, kNetworkFunction };
  ActivationKind activationKind(int layer) const { return layers_[layer]->activation; }

 private:
  // The per-layer buffers of a block of examples, row e at e·width, and for a first-order layer
  // its weights as matrices (loaded once per batch: the weights do not change within it) and its
  // gradient. Lanes past the last neuron stay zero in every weight matrix.
  struct Layer {
    bool dense = false;   // first order: the matrix kernels apply
    bool higher = false;  // second or third order, every neuron alike: the higher-order kernels apply
    int order = 1;
    int terms = 0;  // weights per neuron
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
    std::vector<double> gradient;   // dense: (inputs + 1) × width, the bias row last; higher: terms × width
    std::vector<double> termMajor;  // higher: terms × width, term t of neuron j at t·width + j
    // Every example's values for the threaded gradient: count × width each, and its rows.
    std::vector<double> allOutputs;
    std::vector<double> allSlopes;
    std::vector<double> allDeltas;
    std::vector<const double*> allRows;
  };

  // Where a block's values go: the layer's block buffers, or the rows from `start` on of the
  // all-example buffers.
  struct Place {
    bool all;
    int start;
  };
  // The block buffers. A function, not a constant: an inline variable of the class would be a
  // unique symbol, which keeps the plug-in library from ever being unloaded.
  static constexpr Place blockPlace() { return {false, 0}; }
  struct View {
    double* outputs;
    double* slopes;
    double* deltas;
    const double* const* rows;
  };
  View view(int layer, Place place) const;

  void ForwardBlock(const double* const* questions, int rows, Place place);
  void Activate(int layer, int rows, const View& v);
  // accumulate: add the block's gradients at once (one thread) or leave them for later.
  void BackPropagateBlock(const double* const* questions, const double* const* targets, int rows, Place place,
                          bool accumulate);
  void AccumulateLayer(int layer, const double* const* inputs, int rows, const View& v);
  void PropagateSignal(int layer, int rows, const View& v, const View& below);
  void KeepRow(int row, Place place);
  // The threaded gradient; false (nothing done) when its buffers cannot be had.
  void AccumulateOnOneThread(double* const* questions, double* const* targets, int count);
  bool AccumulateInParts(double* const* questions, double* const* targets, int count, int parts);
  bool ReserveAllExamples(int count, int parts);
  void PropagateShare(int part, int parts, double* const* questions, double* const* targets, int begin,
                      int end);
  void AccumulateShare(int part, int parts, double* const* questions, int begin, int end);
  void AccumulateHigherShare(int l, int part, int parts, const double* const* inputs, int begin, int end);
  void FinishShare(int part, int parts);
  void LoadDenseWeights();
  void StoreDenseGradients();

  Perceptron* network_;
  std::vector<std::unique_ptr<Layer>> layers_;
  std::vector<std::vector<std::unique_ptr<ResilientNeuronState>>> neuronStates_;
  // What the state was built against, to recognise a network that was replaced.
  std::vector<const double*> weightBlocks_;

  int threads_ = 1;
  std::unique_ptr<WorkerPool> pool_;
  int allCapacity_ = 0;                              // examples the all-example buffers hold
  std::vector<std::vector<const double*>> shifted_;  // per thread: example rows from an input on
  std::vector<std::vector<double>> partial_;         // per thread: gradient sums of its share
  std::vector<std::size_t> partialOffsets_;          // per layer: where its sums start in partial_
  long long weightCount_ = 0;                        // weights of the whole network
  long long minWorkPerThread_ = kMinWorkPerThread;
  bool timedChoice_ = true;
  EpochModeChooser chooser_;
  int choicePartsFor_ = 0;  // the parts the chooser's times were taken with
};
