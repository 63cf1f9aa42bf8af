#include "plugins/rprop/resilient_network_state.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

#include "mlp/engine/perceptron.h"
#include "plugins/rprop/higher_order_kernel.h"
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

// True when every neuron of layer l has the first one's order (2 or 3) and input count, so the
// layer's weights can be laid out term by term.
bool uniformLayer(const Perceptron& network, int l) {
  const Neuron& first = *network.neurons[l][0];
  if (first.Order() != 2 && first.Order() != 3) return false;
  for (int j = 1; j < network.neuronCounts[l]; ++j) {
    const Neuron& n = *network.neurons[l][j];
    if (n.Order() != first.Order() || n.inputCount != first.inputCount) return false;
  }
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
        weightCount_ += static_cast<long long>(neuron.WeightCount());
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
      } else if (uniformLayer(network, l)) {
        layer->higher = true;
        layer->order = network.neurons[l][0]->Order();
        layer->terms = static_cast<int>(network.neurons[l][0]->WeightCount());
        const std::size_t size = static_cast<std::size_t>(layer->terms) * layer->width;
        layer->termMajor.assign(size, 0.0);
        layer->gradient.assign(size, 0.0);
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
  ForwardBlock(&question, 1, blockPlace());
  KeepRow(0, blockPlace());
}

ResilientNetworkState::View ResilientNetworkState::view(int l, Place place) const {
  Layer& layer = *layers_[l];
  if (!place.all) return {layer.outputs.data(), layer.slopes.data(), layer.deltas.data(), layer.rows.data()};
  const std::size_t at = std::size_t(place.start) * layer.width;
  return {layer.allOutputs.data() + at, layer.allSlopes.data() + at, layer.allDeltas.data() + at,
          layer.allRows.data() + place.start};
}

// Every layer's net inputs, outputs and derivative values for the examples of one block.
void ResilientNetworkState::ForwardBlock(const double* const* questions, int rows, Place place) {
  const double* const* in = questions;
  for (int l = 0; l < network_->layerCount; ++l) {
    Layer& layer = *layers_[l];
    const View v = view(l, place);
    if (layer.dense) {
      simd::denseNetInputs(in, rows, layer.inputs, layer.inputMajor.data(), layer.bias.data(), layer.width,
                           v.outputs);
    } else if (layer.higher) {
      rprop_kernel::higherOrderNetInputs(in, rows, layer.inputs, layer.order, layer.termMajor.data(),
                                         layer.width, v.outputs);
    } else {
      Neuron* const* neurons = network_->neurons[l];
      for (int e = 0; e < rows; ++e) {
        double* net = v.outputs + std::size_t(e) * layer.width;
        for (int j = 0; j < layer.neurons; ++j) net[j] = neurons[j]->NetInput(in[e]);
      }
    }
    Activate(l, rows, v);
    in = v.rows;
  }
}

// Turns the block's net inputs of the layer into outputs y and derivative values f′.
void ResilientNetworkState::Activate(int l, int rows, const View& v) {
  Layer& layer = *layers_[l];
  switch (layer.activation) {
    case ActivationKind::kTanh:
      rprop_tanh::tanhWithSlope(v.outputs, v.slopes, rows * layer.width);
      return;
    case ActivationKind::kLinear:
      return;  // y = s, and the slopes hold 1 since they were made
    case ActivationKind::kNetworkFunction:
      break;
  }
  const ActivationFunction f = network_->activations[l];
  const DerivativeFunction df = network_->derivatives[l];
  for (int e = 0; e < rows; ++e) {
    double* out = v.outputs + std::size_t(e) * layer.width;
    double* slope = v.slopes + std::size_t(e) * layer.width;
    for (int j = 0; j < layer.neurons; ++j) {
      const double s = out[j];
      const double y = f(s);
      out[j] = y;
      slope[j] = df(s, y);
    }
  }
}

void ResilientNetworkState::BackPropagateBlock(const double* const* questions, const double* const* targets,
                                               int rows, Place place, bool accumulate) {
  const int last = network_->layerCount - 1;
  // Output layer: δ = ∂E/∂s = (y − t)·f′(s).
  const Layer& top = *layers_[last];
  const View t = view(last, place);
  for (int e = 0; e < rows; ++e) {
    const std::size_t at = std::size_t(e) * top.width;
    for (int j = 0; j < top.neurons; ++j)
      t.deltas[at + j] = (t.outputs[at + j] - targets[e][j]) * t.slopes[at + j];
  }
  // Top down: each layer's gradient from its δ and inputs, then the δ of the layer below,
  // δ[l-1][m] = f′[l-1][m] · Σ_k ∂s[l][k]/∂y[l-1][m] · δ[l][k].
  for (int l = last; l >= 0; --l) {
    const View v = view(l, place);
    if (accumulate) AccumulateLayer(l, l == 0 ? questions : view(l - 1, place).rows, rows, v);
    if (l > 0) PropagateSignal(l, rows, v, view(l - 1, place));
  }
}

// Adds δ·∂s/∂w of every neuron of the layer for every example of the block, examples in order.
void ResilientNetworkState::AccumulateLayer(int l, const double* const* inputs, int rows, const View& v) {
  Layer& layer = *layers_[l];
  if (layer.dense) {
    simd::accumulateDenseGradient(inputs, v.deltas, rows, layer.inputs, layer.width, layer.gradient.data());
    return;
  }
  if (layer.higher) {
    rprop_kernel::accumulateHigherOrderGradient(inputs, v.deltas, rows, layer.inputs, layer.order,
                                                layer.width, 0, layer.width, layer.gradient.data(),
                                                layer.width);
    return;
  }
  const auto& states = neuronStates_[l];
  for (int e = 0; e < rows; ++e) {
    const double* delta = v.deltas + std::size_t(e) * layer.width;
    for (int j = 0; j < layer.neurons; ++j) states[j]->Accumulate(inputs[e], delta[j]);
  }
}

// The δ of layer l-1 from the δ of layer l.
void ResilientNetworkState::PropagateSignal(int l, int rows, const View& v, const View& below) {
  const Layer& layer = *layers_[l];
  const Layer& lower = *layers_[l - 1];
  if (layer.dense) {
    simd::denseBackSignal(v.deltas, rows, layer.neurons, layer.width, layer.neuronMajor.data(), lower.width,
                          below.slopes, below.deltas);
    return;
  }
  const auto& states = neuronStates_[l];
  for (int e = 0; e < rows; ++e) {
    const std::size_t at = std::size_t(e) * lower.width;
    double* signal = below.deltas + at;
    std::fill(signal, signal + lower.neurons, 0.0);
    for (int k = 0; k < layer.neurons; ++k)
      states[k]->AddInputSignal(below.rows[e], v.deltas[std::size_t(e) * layer.width + k], signal);
    for (int m = 0; m < lower.neurons; ++m) signal[m] = below.slopes[at + m] * signal[m];
  }
}

// Copies one row of the block into the network's scratch arrays, as a forward pass of the network
// would have left them.
void ResilientNetworkState::KeepRow(int row, Place place) {
  for (int l = 0; l < network_->layerCount; ++l) {
    const Layer& layer = *layers_[l];
    const View v = view(l, place);
    const std::size_t at = std::size_t(row) * layer.width;
    std::copy_n(v.outputs + at, layer.neurons, network_->layerOutputs[l]);
    std::copy_n(v.slopes + at, layer.neurons, network_->layerDerivatives[l]);
  }
}

void ResilientNetworkState::LoadDenseWeights() {
  for (std::size_t l = 0; l < layers_.size(); ++l) {
    Layer& layer = *layers_[l];
    if (layer.higher) {
      for (int j = 0; j < layer.neurons; ++j) {
        const double* w = network_->neurons[l][j]->AllWeights();
        for (int t = 0; t < layer.terms; ++t) layer.termMajor[std::size_t(t) * layer.width + j] = w[t];
      }
      continue;
    }
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
    if (!layer.dense && !layer.higher) continue;
    const int rows = layer.dense ? layer.inputs + 1 : layer.terms;
    for (int j = 0; j < layer.neurons; ++j) {
      double* g = neuronStates_[l][j]->gradient();
      for (int i = 0; i < rows; ++i) g[i] = layer.gradient[std::size_t(i) * layer.width + j];
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
  const int parts = PartsFor(count);
  if (parts > 1) {
    if (parts != choicePartsFor_) {
      chooser_.reset();
      choicePartsFor_ = parts;
    }
    const bool threaded = !timedChoice_ || chooser_.threadedNext();
    const auto start = std::chrono::steady_clock::now();
    const bool done = threaded && AccumulateInParts(questions, targets, count, parts);
    if (!done) AccumulateOnOneThread(questions, targets, count);
    chooser_.record(done, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    StoreDenseGradients();
    return;
  }
  AccumulateOnOneThread(questions, targets, count);
  StoreDenseGradients();
}

void ResilientNetworkState::AccumulateOnOneThread(double* const* questions, double* const* targets,
                                                  int count) {
  int rows = 0;
  for (int start = 0; start < count; start += rows) {
    rows = std::min(kBlockRows, count - start);
    ForwardBlock(questions + start, rows, blockPlace());
    BackPropagateBlock(questions + start, targets + start, rows, blockPlace(), true);
  }
  if (count > 0) KeepRow(rows - 1, blockPlace());
}

// --- The threaded gradient --------------------------------------------------------------------

void ResilientNetworkState::SetThreadCount(int threads) {
  threads = std::clamp(threads, 1, int{kMaxThreads});
  if (threads == threads_) return;
  pool_.reset();
  threads_ = threads;
  choicePartsFor_ = 0;
}

int ResilientNetworkState::PartsFor(int count) const {
  if (threads_ < 2 || count < 2) return 1;
  const long long work = static_cast<long long>(count) * weightCount_;
  const long long parts = minWorkPerThread_ > 0 ? work / minWorkPerThread_ : threads_;
  return static_cast<int>(std::clamp<long long>(parts, 1, std::min(threads_, count)));
}

bool ResilientNetworkState::ReserveAllExamples(int count, int parts) {
  if (count <= allCapacity_ && static_cast<int>(shifted_.size()) >= parts) return true;
  try {
    const int capacity = std::max(count, allCapacity_);
    for (auto& layer : layers_) {
      const std::size_t size = std::size_t(capacity) * layer->width;
      // Zero throughout: lanes past the last neuron must hold finite values, as in the blocks.
      layer->allOutputs.assign(size, 0.0);
      layer->allSlopes.assign(size, layer->activation == ActivationKind::kLinear ? 1.0 : 0.0);
      layer->allDeltas.assign(size, 0.0);
      layer->allRows.resize(std::size_t(capacity));
      for (int e = 0; e < capacity; ++e)
        layer->allRows[e] = &layer->allOutputs[std::size_t(e) * layer->width];
    }
    // Each part's sums of every layer: a dense layer's rows of the part and a spare bias row, or a
    // higher-order layer's terms for the part's lanes.
    partialOffsets_.clear();
    std::size_t total = 0;
    for (auto& layer : layers_) {
      partialOffsets_.push_back(total);
      total += std::size_t(std::max(layer->inputs + 2, layer->terms)) * layer->width;
    }
    shifted_.assign(std::size_t(parts), std::vector<const double*>(std::size_t(capacity)));
    partial_.assign(std::size_t(parts), std::vector<double>(total));
    allCapacity_ = capacity;
    return true;
  } catch (const std::bad_alloc&) {
    for (auto& layer : layers_) {
      layer->allOutputs = {};
      layer->allSlopes = {};
      layer->allDeltas = {};
      layer->allRows = {};
    }
    shifted_.clear();
    partial_.clear();
    allCapacity_ = 0;
    return false;
  }
}

bool ResilientNetworkState::AccumulateInParts(double* const* questions, double* const* targets, int count,
                                              int parts) {
  if (!pool_) {
    try {
      pool_ = std::make_unique<WorkerPool>(threads_);
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::system_error&) {
      return false;
    }
  }
  parts = std::min(parts, pool_->size());
  if (parts < 2 || !ReserveAllExamples(count, pool_->size())) return false;
  for (int part = 0; part < parts; ++part) std::fill(partial_[part].begin(), partial_[part].end(), 0.0);
  // Step s propagates the examples of step s and sums those of step s − 1, which every part has
  // finished propagating at the barrier between them.
  const int steps = (count + kStepRows - 1) / kStepRows;
  SpinBarrier barrier(parts);
  pool_->run([&](int part) {
    if (part >= parts) return;
    for (int step = 0; step <= steps; ++step) {
      if (step < steps)
        PropagateShare(part, parts, questions, targets, step * kStepRows,
                       std::min(count, (step + 1) * kStepRows));
      if (step > 0)
        AccumulateShare(part, parts, questions, (step - 1) * kStepRows, std::min(count, step * kStepRows));
      if (step < steps) barrier.arriveAndWait();
    }
    FinishShare(part, parts);
  });
  KeepRow(count - 1, {true, 0});
  return true;
}

// Forward and back for the part's contiguous share of the examples begin … end − 1, in blocks;
// the outputs and signals stay in the all-example buffers.
void ResilientNetworkState::PropagateShare(int part, int parts, double* const* questions,
                                           double* const* targets, int begin, int end) {
  const int first = begin + static_cast<int>(std::int64_t(end - begin) * part / parts);
  const int last = begin + static_cast<int>(std::int64_t(end - begin) * (part + 1) / parts);
  int rows = 0;
  for (int start = first; start < last; start += rows) {
    rows = std::min(kBlockRows, last - start);
    ForwardBlock(questions + start, rows, {true, start});
    BackPropagateBlock(questions + start, targets + start, rows, {true, start}, false);
  }
}

// Adds the examples begin … end − 1 to the gradient rows (first order), vectors of neurons
// (second and third order) or neurons (other layers) of every layer that fall to part.
void ResilientNetworkState::AccumulateShare(int part, int parts, double* const* questions, int begin,
                                            int end) {
  for (int l = 0; l < network_->layerCount; ++l) {
    Layer& layer = *layers_[l];
    const double* const* inputs = l == 0 ? questions : layers_[l - 1]->allRows.data();
    if (layer.higher) {
      AccumulateHigherShare(l, part, parts, inputs, begin, end);
      continue;
    }
    if (!layer.dense) {
      const auto& states = neuronStates_[l];
      const int first = layer.neurons * part / parts, last = layer.neurons * (part + 1) / parts;
      for (int j = first; j < last; ++j)
        for (int e = begin; e < end; ++e)
          states[j]->Accumulate(inputs[e], layer.allDeltas[std::size_t(e) * layer.width + j]);
      continue;
    }
    // Rows 0 … inputs − 1 are the inputs', row `inputs` the bias's; the part holding the bias
    // row sums in place, the others into rows of their own with a spare bias row at the end.
    const int total = layer.inputs + 1;
    const int first = total * part / parts, last = total * (part + 1) / parts;
    if (first == last) continue;
    std::vector<const double*>& shifted = shifted_[std::size_t(part)];
    for (int e = begin; e < end; ++e) shifted[std::size_t(e)] = inputs[e] + first;
    const double* deltas = layer.allDeltas.data() + std::size_t(begin) * layer.width;
    if (last == total) {
      double* rows = layer.gradient.data() + std::size_t(first) * layer.width;
      simd::accumulateDenseGradient(shifted.data() + begin, deltas, end - begin, layer.inputs - first,
                                    layer.width, rows);
    } else {
      double* own = partial_[std::size_t(part)].data() + partialOffsets_[std::size_t(l)];
      simd::accumulateDenseGradient(shifted.data() + begin, deltas, end - begin, last - first, layer.width,
                                    own);
    }
  }
}

// The part's lanes of a higher-order layer: vectors of neurons summed in sums of the part's own
// (parts that shared cache lines would slow each other down).
void ResilientNetworkState::AccumulateHigherShare(int l, int part, int parts, const double* const* inputs,
                                                  int begin, int end) {
  const Layer& layer = *layers_[l];
  const int vectors = layer.width / simd::kLanes;
  const int j0 = vectors * part / parts * simd::kLanes, j1 = vectors * (part + 1) / parts * simd::kLanes;
  if (j0 == j1) return;
  double* own = partial_[std::size_t(part)].data() + partialOffsets_[std::size_t(l)];
  rprop_kernel::accumulateHigherOrderGradient(
      inputs + begin, layer.allDeltas.data() + std::size_t(begin) * layer.width, end - begin, layer.inputs,
      layer.order, layer.width, j0, j1 - j0, own, j1 - j0);
}

// Copies the part's own sums into the layers' gradients.
void ResilientNetworkState::FinishShare(int part, int parts) {
  for (int l = 0; l < network_->layerCount; ++l) {
    Layer& layer = *layers_[l];
    const double* own = partial_[std::size_t(part)].data() + partialOffsets_[std::size_t(l)];
    if (layer.higher) {
      const int vectors = layer.width / simd::kLanes;
      const int j0 = vectors * part / parts * simd::kLanes, j1 = vectors * (part + 1) / parts * simd::kLanes;
      const int lanes = j1 - j0;
      for (int t = 0; lanes > 0 && t < layer.terms; ++t)
        std::copy_n(own + std::size_t(t) * lanes, lanes,
                    layer.gradient.data() + std::size_t(t) * layer.width + j0);
    } else if (layer.dense) {
      const int total = layer.inputs + 1;
      const int first = total * part / parts, last = total * (part + 1) / parts;
      if (first < last && last < total)
        std::copy_n(own, std::size_t(last - first) * layer.width,
                    layer.gradient.data() + std::size_t(first) * layer.width);
    }
  }
}

void ResilientNetworkState::Update(const RpropStepRule& rule) {
  for (auto& layer : neuronStates_)
    for (auto& state : layer) state->Update(rule.decrease, rule.increase, rule.minimal, rule.maximal);
}
