#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <vector>

#include "mlp/engine/network_activation.h"
#include "mlp/engine/network_description.h"
#include "mlp/engine/neuron.h"

// A strictly layered, fully connected feed-forward network of first-, second- or third-order
// neurons with one activation function per layer. The last layer is the output layer; there is
// no separate input layer: every neuron of layer 0 takes `inputs` inputs, every neuron of layer
// l > 0 takes neuronCounts[l-1] inputs.
//
// These declarations are compiled into VANTOR3 and into every training plug-in, which receives
// a pointer to the host's network and reads its public fields directly: their order is part of
// the contract. Perceptron has no virtual operations. The network owns every array and neuron;
// the public pointers stay valid, and the arrays keep their sizes, for the network's lifetime.
//
// Not thread-safe: every forward pass writes the shared scratch arrays (layerOutputs,
// layerDerivatives), so two forward passes on one network must not overlap.
class Perceptron {
 public:
  // 1. Per layer 'l' (linear) or 't' (tanh); layerCount entries.
  char* functionCodes = nullptr;
  // 2. Length of a question vector.
  int inputs = 0;
  // 3. Length of an answer vector: neuronCounts[layerCount-1].
  int outputs = 0;
  // 4. Number of layers L ≥ 1.
  int layerCount = 0;
  // 5. Neurons per layer; L entries, each ≥ 1.
  int* neuronCounts = nullptr;
  // 6. Activation function per layer.
  ActivationFunction* activations = nullptr;
  // 7. Derivative of each layer's activation, given net input and activation value.
  DerivativeFunction* derivatives = nullptr;
  // 8. Per layer neuronCounts[l] outputs, written by every forward pass (scratch).
  double** layerOutputs = nullptr;
  // 9. Per layer neuronCounts[l] derivative values, written by AnswerWithDerivatives (scratch).
  double** layerDerivatives = nullptr;
  // 10. Per layer neuronCounts[l] neurons; all neurons of a layer have the same order.
  Neuron*** neurons = nullptr;

  // Builds a network: neuronCounts, orders and functionCodes hold layerCount entries each.
  // Codes 'l'/'x' give a linear layer, any other code tanh. Ends with Randomize(1.0), so the
  // weights are the next draws of platform::crtRand().
  // Throws, before allocating anything: IllegalSizeException for inputs, layerCount or a neuron
  // count below 1; IllegalOrderException for an order outside 1..3. A failed allocation throws
  // OutOfMemoryException "Out of Memory!".
  Perceptron(int inputs, int layerCount, const int* neuronCounts, const int* orders,
             const char* functionCodes);
  // The same from a description (its first layerCount layers; description.outputs is ignored,
  // the output count is the last layer's neuron count).
  explicit Perceptron(const NetworkDescription& description);
  // Reads one network block from the current position of a binary stream and leaves the stream
  // just behind the closing marker. No randomisation: every weight comes from the stream.
  // Throws IllegalDataFormatException "data format doesn't match to expected one" for a wrong
  // marker or a block that ends early, including counts whose weights cannot fit in what remains
  // of the stream (checked before anything is allocated); IllegalOrderException for an order
  // outside 1..3; IllegalSizeException for inputs, layer count or a neuron count below 1, or, on
  // a stream that cannot tell its size, for more than 2^27 weights.
  explicit Perceptron(std::istream& in);
  ~Perceptron();

  Perceptron(const Perceptron&) = delete;
  Perceptron& operator=(const Perceptron&) = delete;

  // Writes the network block at the stream's current position. Failures are left in the
  // stream's state (check out.good() afterwards).
  void WriteBlock(std::ostream& out) const;

  // Every weight of every neuron := / += randomWeight(range); layer 0 first, neurons in index
  // order, each neuron in its order's visiting order.
  void Randomize(double range);
  void AddNoise(double range);

  // The forward pass: answer[j] for every output j. Throws IllegalSizeException "question-answer
  // sizes don't match network inputs-outputs" unless questionSize == inputs and
  // answerSize == outputs. Writes layerOutputs[0..L-2] (never layerOutputs[L-1]); allocates
  // nothing. answer must not alias the network's scratch arrays of layers 0..L-2.
  void Answer(const double* question, int questionSize, double* answer, int answerSize);

  // The forward pass that also records every neuron's derivative value: layers 0..L-2 write
  // layerOutputs/layerDerivatives, the last layer writes lastOutputs/lastDerivatives (plug-ins
  // pass layerOutputs[L-1] and layerDerivatives[L-1]). Same size check as Answer.
  void AnswerWithDerivatives(const double* question, int questionSize, double* lastOutputs,
                             double* lastDerivatives, int answerSize);

  // Root-mean-square error sqrt(Σ_e Σ_k (answer_e[k] − targets[e][k])² / (answerSize·exampleCount))
  // over exampleCount examples. Allocates one answer buffer. Same size check as Answer; an
  // exampleCount below 1 gives 0 (the error callers record for an empty set).
  double RmsError(double* const* questions, int questionSize, double* const* targets, int answerSize,
                  int exampleCount);

  // Fills a description from the network: inputs, outputs, layer count, neuron counts, each
  // layer's order (of its first neuron) and function code. A network of more than
  // NetworkDescription::kMaxLayers layers (possible only through a network block) does not fit:
  // the description is left unchanged and the result is false.
  bool Describe(NetworkDescription& description) const;

  // Total number of weights of all neurons.
  std::size_t WeightCount() const;

 private:
  struct Layout;
  void build(const Layout& layout);

  std::vector<char> codeStorage_;
  std::vector<int> countStorage_;
  std::vector<ActivationFunction> activationStorage_;
  std::vector<DerivativeFunction> derivativeStorage_;
  std::vector<double> scratch_;
  std::vector<double*> outputRows_;
  std::vector<double*> derivativeRows_;
  std::vector<std::unique_ptr<Neuron>> neuronStorage_;
  std::vector<Neuron*> neuronPointers_;
  std::vector<Neuron**> layerNeurons_;
};
