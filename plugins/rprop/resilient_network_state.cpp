#include "plugins/rprop/resilient_network_state.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "mlp/engine/perceptron.h"
#include "plugins/rprop/tanh_kernel.h"
#include "shared/exceptions.h"
#include "shared/simd.h"

namespace {

using simd::kLanes;
using simd::paddedWidth;

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Net inputs on which a layer's functions are compared with the vectorised kernels: both halves
// of tanh and the values around where they meet, tiny, large and infinite values, both zeros.
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// clang-format off
constexpr double kProbeValues[] = {
    0.0, -0.0, 1e-300, -1e-300, 1e-9, -1e-9, 0.0371, -0.0371, 0.1, -0.1, 0.3, -0.3, 0.5, -0.5,
    0.6249999999999999, -0.6249999999999999, 0.625, -0.625, 0.6250000000000001, -0.6250000000000001,
    0.7, -0.7, 1.0, -1.0, 1.7, -1.7, 2.5, -2.5, 3.5, -3.5, 9.0, -9.0, 19.1, -19.1, 400.0, -400.0,
    1e300, -1e300, kInfinity, -kInfinity,
};
// clang-format on
constexpr int kProbeCount = static_cast<int>(sizeof kProbeValues / sizeof kProbeValues[0]);
static_assert(kProbeCount % kLanes == 0, "the tanh kernel takes whole vectors");

// True when the vectorised tanh reproduces the layer's functions bit for bit on the probes.
bool tanhKernelMatches(ActivationFunction f, DerivativeFunction df) {
  double y[kProbeCount], slope[kProbeCount];
  std::copy(kProbeValues, kProbeValues + kProbeCount, y);
  rprop_tanh::tanhWithSlope(y, slope, kProbeCount);
  for (int k = 0; k < kProbeCount; ++k) {
    const double s = kProbeValues[k];
    const double expected = f(s);
    if (!sameBits(y[k], expected) || !sameBits(slope[k], df(s, expected))) return false;
  }
  return true;
}

// True when the layer's functions are the identity with derivative 1.
bool linearMatches(ActivationFunction f, DerivativeFunction df) {
  for (double s : kProbeValues)
    if (!sameBits(f(s), s) || !sameBits(df(s, s), 1.0)) return false;
  return true;
}

}  // namespace

ResilientNetworkState::ResilientNetworkState(Perceptron& network) : network_(&network) {
  try {
    const int layers = network.layerCount;
    neuronStates_.resize(static_cast<std::size_t>(layers));
    for (int l = 0; l < layers; ++l) {
      const int count = network.neuronCounts[l];
      neuronStates_[l].reserve(static_cast<std::size_t>(count));
      for (int j = 0; j < count; ++j) {
        Neuron& neuron = *network.neurons[l][j];
        neuronStates_[l].push_back(makeResilientState(neuron));
        weightBlocks_.push_back(neuron.AllWeights());
      }
      auto layer = std::make_unique<Layer>();
      layer->inputs = network.neurons[l][0]->inputCount;
      layer->neurons = count;
      layer->width = paddedWidth(count);
      const std::size_t block = static_cast<std::size_t>(kBlockRows) * layer->width;
      layer->outputs.assign(block, 0.0);
      layer->slopes.assign(block, 0.0);
      layer->deltas.assign(block, 0.0);
      for (int e = 0; e < kBlockRows; ++e)
        layer->rows.push_back(&layer->outputs[std::size_t(e) * layer->width]);
      const char code = network.functionCodes[l];
      if (code == 't' && tanhKernelMatches(network.activations[l], network.derivatives[l])) {
        layer->activation = ActivationKind::kTanh;
      } else if (code == 'l' && linearMatches(network.activations[l], network.derivatives[l])) {
        layer->activation = ActivationKind::kLinear;
        std::fill(layer->slopes.begin(), layer->slopes.end(), 1.0);  // f′ = 1 for good
      }
      if (network.neurons[l][0]->Order() == 1) {
        layer->dense = true;
        layer->inputMajor.assign(static_cast<std::size_t>(layer->inputs) * layer->width, 0.0);
        layer->bias.assign(static_cast<std::size_t>(layer->width), 0.0);
        if (l > 0)
          layer->neuronMajor.assign(static_cast<std::size_t>(count) * paddedWidth(layer->inputs), 0.0);
        layer->gradient.assign(static_cast<std::size_t>(layer->inputs + 1) * layer->width, 0.0);
      }
      layers_.push_back(std::move(layer));
    }
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException("Out of Memory!");
  }
}

ResilientNetworkState::~ResilientNetworkState() = default;

bool ResilientNetworkState::Fits(const Perceptron& network) const {
  if (&network != network_ || network.layerCount != static_cast<int>(neuronStates_.size())) return false;
  std::size_t block = 0;
  for (int l = 0; l < network.layerCount; ++l) {
    const auto& states = neuronStates_[l];
    if (network.neuronCounts[l] != static_cast<int>(states.size())) return false;
    for (int j = 0; j < network.neuronCounts[l]; ++j) {
      const Neuron* neuron = network.neurons[l][j];
      const ResilientNeuronState& state = *states[j];
      if (neuron != state.neuron() || neuron->AllWeights() != weightBlocks_[block++] ||
          neuron->WeightCount() != state.size())
        return false;
    }
  }
  return true;
}

void ResilientNetworkState::Reset(double initialStep) {
  for (auto& layer : neuronStates_)
    for (auto& state : layer) state->Reset(initialStep);
}

void ResilientNetworkState::ForwardWithDerivatives(const double* question) {
  LoadDenseWeights();
  ForwardBlock(&question, 1);
  KeepRow(0);
}

// Every layer's net inputs, outputs and derivative values for the examples of one block.
void ResilientNetworkState::ForwardBlock(const double* const* questions, int rows) {
  const double* const* in = questions;
  for (int l = 0; l < network_->layerCount; ++l) {
    Layer& layer = *layers_[l];
    if (layer.dense) {
      simd::denseNetInputs(in, rows, layer.inputs, layer.inputMajor.data(), layer.bias.data(), layer.width,
                           layer.outputs.data());
    } else {
      Neuron* const* neurons = network_->neurons[l];
      for (int e = 0; e < rows; ++e) {
        double* net = &layer.outputs[std::size_t(e) * layer.width];
        for (int j = 0; j < layer.neurons; ++j) net[j] = neurons[j]->NetInput(in[e]);
      }
    }
    Activate(l, rows);
    in = layer.rows.data();
  }
}

// Turns the block's net inputs of the layer into outputs y and derivative values f′.
void ResilientNetworkState::Activate(int l, int rows) {
  Layer& layer = *layers_[l];
  switch (layer.activation) {
    case ActivationKind::kTanh:
      rprop_tanh::tanhWithSlope(layer.outputs.data(), layer.slopes.data(), rows * layer.width);
      return;
    case ActivationKind::kLinear:
      return;  // y = s, and the slopes hold 1 since construction
    case ActivationKind::kNetworkFunction:
      break;
  }
  const ActivationFunction f = network_->activations[l];
  const DerivativeFunction df = network_->derivatives[l];
  for (int e = 0; e < rows; ++e) {
    double* out = &layer.outputs[std::size_t(e) * layer.width];
    double* slope = &layer.slopes[std::size_t(e) * layer.width];
    for (int j = 0; j < layer.neurons; ++j) {
      const double s = out[j];
      const double y = f(s);
      out[j] = y;
      slope[j] = df(s, y);
    }
  }
}

void ResilientNetworkState::BackPropagateBlock(const double* const* questions, const double* const* targets,
                                               int rows) {
  const int last = network_->layerCount - 1;
  // Output layer: δ = ∂E/∂s = (y − t)·f′(s).
  Layer& top = *layers_[last];
  for (int e = 0; e < rows; ++e) {
    const std::size_t at = std::size_t(e) * top.width;
    for (int j = 0; j < top.neurons; ++j)
      top.deltas[at + j] = (top.outputs[at + j] - targets[e][j]) * top.slopes[at + j];
  }
  // Top down: each layer's gradient from its δ and inputs, then the δ of the layer below,
  // δ[l-1][m] = f′[l-1][m] · Σ_k ∂s[l][k]/∂y[l-1][m] · δ[l][k].
  for (int l = last; l >= 0; --l) {
    AccumulateLayer(l, l == 0 ? questions : layers_[l - 1]->rows.data(), rows);
    if (l > 0) PropagateSignal(l, rows);
  }
}

// Adds δ·∂s/∂w of every neuron of the layer for every example of the block, examples in order.
void ResilientNetworkState::AccumulateLayer(int l, const double* const* inputs, int rows) {
  Layer& layer = *layers_[l];
  if (layer.dense) {
    simd::accumulateDenseGradient(inputs, layer.deltas.data(), rows, layer.inputs, layer.width,
                                  layer.gradient.data());
    return;
  }
  const auto& states = neuronStates_[l];
  for (int e = 0; e < rows; ++e) {
    const double* delta = &layer.deltas[std::size_t(e) * layer.width];
    for (int j = 0; j < layer.neurons; ++j) states[j]->Accumulate(inputs[e], delta[j]);
  }
}

// The δ of layer l-1 from the δ of layer l.
void ResilientNetworkState::PropagateSignal(int l, int rows) {
  const Layer& layer = *layers_[l];
  Layer& below = *layers_[l - 1];
  if (layer.dense) {
    simd::denseBackSignal(layer.deltas.data(), rows, layer.neurons, layer.width, layer.neuronMajor.data(),
                          below.width, below.slopes.data(), below.deltas.data());
    return;
  }
  const auto& states = neuronStates_[l];
  for (int e = 0; e < rows; ++e) {
    const std::size_t at = std::size_t(e) * below.width;
    double* signal = &below.deltas[at];
    std::fill(signal, signal + below.neurons, 0.0);
    for (int k = 0; k < layer.neurons; ++k)
      states[k]->AddInputSignal(below.rows[e], layer.deltas[std::size_t(e) * layer.width + k], signal);
    for (int m = 0; m < below.neurons; ++m) signal[m] = below.slopes[at + m] * signal[m];
  }
}

// Copies one row of the block into the network's scratch arrays, as a forward pass of the network
// would have left them.
void ResilientNetworkState::KeepRow(int row) {
  for (int l = 0; l < network_->layerCount; ++l) {
    const Layer& layer = *layers_[l];
    const std::size_t at = std::size_t(row) * layer.width;
    std::copy_n(&layer.outputs[at], layer.neurons, network_->layerOutputs[l]);
    std::copy_n(&layer.slopes[at], layer.neurons, network_->layerDerivatives[l]);
  }
}

void ResilientNetworkState::LoadDenseWeights() {
  for (std::size_t l = 0; l < layers_.size(); ++l) {
    Layer& layer = *layers_[l];
    if (!layer.dense) continue;
    const int belowWidth = paddedWidth(layer.inputs);
    for (int j = 0; j < layer.neurons; ++j) {
      const double* w = network_->neurons[l][j]->weights;
      for (int i = 0; i < layer.inputs; ++i) layer.inputMajor[std::size_t(i) * layer.width + j] = w[i];
      layer.bias[j] = w[layer.inputs];
      if (!layer.neuronMajor.empty())
        std::copy_n(w, layer.inputs, &layer.neuronMajor[std::size_t(j) * belowWidth]);
    }
  }
}

void ResilientNetworkState::StoreDenseGradients() {
  for (std::size_t l = 0; l < layers_.size(); ++l) {
    const Layer& layer = *layers_[l];
    if (!layer.dense) continue;
    for (int j = 0; j < layer.neurons; ++j) {
      double* g = neuronStates_[l][j]->gradient();
      for (int i = 0; i <= layer.inputs; ++i) g[i] = layer.gradient[std::size_t(i) * layer.width + j];
    }
  }
}

void ResilientNetworkState::AccumulateGradient(double* const* questions, double* const* targets, int count) {
  for (auto& layer : neuronStates_)
    for (auto& state : layer) state->ClearGradient();
  // The weights do not change within the batch: first-order layers read them from their
  // matrices, loaded once here.
  LoadDenseWeights();
  for (auto& layer : layers_) std::fill(layer->gradient.begin(), layer->gradient.end(), 0.0);
  int rows = 0;
  for (int start = 0; start < count; start += rows) {
    rows = std::min(kBlockRows, count - start);
    ForwardBlock(questions + start, rows);
    BackPropagateBlock(questions + start, targets + start, rows);
  }
  if (count > 0) KeepRow(rows - 1);
  StoreDenseGradients();
}

void ResilientNetworkState::Update(const RpropStepRule& rule) {
  for (auto& layer : neuronStates_)
    for (auto& state : layer) state->Update(rule.decrease, rule.increase, rule.minimal, rule.maximal);
}
