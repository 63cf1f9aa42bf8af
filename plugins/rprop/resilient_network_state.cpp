#include "plugins/rprop/resilient_network_state.h"

#include <algorithm>
#include <new>

#include "mlp/engine/perceptron.h"
#include "shared/exceptions.h"

ResilientNetworkState::ResilientNetworkState(Perceptron& network) : network_(&network) {
  try {
    const int layers = network.layerCount;
    layerDeltas_.resize(static_cast<std::size_t>(layers));
    neuronStates_.resize(static_cast<std::size_t>(layers));
    for (int l = 0; l < layers; ++l) {
      const int count = network.neuronCounts[l];
      layerDeltas_[l].assign(static_cast<std::size_t>(count), 0.0);
      neuronStates_[l].reserve(static_cast<std::size_t>(count));
      for (int j = 0; j < count; ++j) {
        Neuron& neuron = *network.neurons[l][j];
        neuronStates_[l].push_back(makeResilientState(neuron));
        weightBlocks_.push_back(neuron.AllWeights());
      }
      dense_.push_back(nullptr);
      if (network.neurons[l][0]->Order() == 1) {
        auto dense = std::make_unique<DenseLayer>();
        dense->inputs = network.neurons[l][0]->inputCount;
        dense->neurons = count;
        dense->weights.resize(static_cast<std::size_t>(dense->inputs) * count);
        dense->bias.resize(static_cast<std::size_t>(count));
        dense->gradient.resize(static_cast<std::size_t>(dense->inputs + 1) * count);
        dense_.back() = std::move(dense);
      }
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
  Forward(question);
}

void ResilientNetworkState::Forward(const double* question) {
  Perceptron& net = *network_;
  const double* in = question;
  for (int l = 0; l < net.layerCount; ++l) {
    const ActivationFunction activation = net.activations[l];
    const DerivativeFunction derivative = net.derivatives[l];
    double* out = net.layerOutputs[l];
    double* slope = net.layerDerivatives[l];
    Neuron* const* neurons = net.neurons[l];
    const int count = net.neuronCounts[l];
    if (const DenseLayer* dense = dense_[l].get()) {
      // Σ_i w_j[i]·x[i] for all j at once, i ascending as in NetInput; then the bias.
      std::fill(out, out + count, 0.0);
      for (int i = 0; i < dense->inputs; ++i) {
        const double xi = in[i];
        const double* row = &dense->weights[static_cast<std::size_t>(i) * count];
        for (int j = 0; j < count; ++j) out[j] += row[j] * xi;
      }
      for (int j = 0; j < count; ++j) {
        const double s = out[j] + dense->bias[j];
        const double y = activation(s);
        out[j] = y;
        slope[j] = derivative(s, y);
      }
    } else {
      for (int j = 0; j < count; ++j) {
        const double s = neurons[j]->NetInput(in);
        const double y = activation(s);
        out[j] = y;
        slope[j] = derivative(s, y);
      }
    }
    in = out;
  }
}

void ResilientNetworkState::BackPropagate(const double* question, const double* target) {
  Perceptron& net = *network_;
  const int last = net.layerCount - 1;
  double* const* y = net.layerOutputs;
  double* const* slope = net.layerDerivatives;

  // Output layer: δ = ∂E/∂s = (y − t)·f′(s).
  double* delta = layerDeltas_[last].data();
  const double* lastInputs = last == 0 ? question : y[last - 1];
  for (int j = 0; j < net.neuronCounts[last]; ++j) delta[j] = (y[last][j] - target[j]) * slope[last][j];
  AccumulateLayer(last, lastInputs);

  // Hidden layers, top down: δ[l][j] = f′[l][j] · Σ_k ∂s[l+1][k]/∂y[l][j] · δ[l+1][k].
  for (int l = last - 1; l >= 0; --l) {
    double* signal = layerDeltas_[l].data();
    const int count = net.neuronCounts[l];
    std::fill(signal, signal + count, 0.0);
    const double* above = layerDeltas_[l + 1].data();
    for (int k = 0; k < net.neuronCounts[l + 1]; ++k)
      neuronStates_[l + 1][k]->AddInputSignal(y[l], above[k], signal);
    for (int j = 0; j < count; ++j) signal[j] = slope[l][j] * signal[j];
    AccumulateLayer(l, l == 0 ? question : y[l - 1]);
  }
}

// Adds δ·∂s/∂w of every neuron of the layer, δ taken from layerDeltas_.
void ResilientNetworkState::AccumulateLayer(int layer, const double* inputs) {
  const double* delta = layerDeltas_[layer].data();
  DenseLayer* dense = dense_[layer].get();
  if (!dense) {
    for (std::size_t j = 0; j < neuronStates_[layer].size(); ++j)
      neuronStates_[layer][j]->Accumulate(inputs, delta[j]);
    return;
  }
  const int count = dense->neurons;
  for (int i = 0; i < dense->inputs; ++i) {
    const double xi = inputs[i];
    double* row = &dense->gradient[static_cast<std::size_t>(i) * count];
    for (int j = 0; j < count; ++j) row[j] += delta[j] * xi;
  }
  double* biasRow = &dense->gradient[static_cast<std::size_t>(dense->inputs) * count];
  for (int j = 0; j < count; ++j) biasRow[j] += delta[j];
}

void ResilientNetworkState::LoadDenseWeights() {
  for (std::size_t l = 0; l < dense_.size(); ++l) {
    DenseLayer* dense = dense_[l].get();
    if (!dense) continue;
    const int count = dense->neurons;
    for (int j = 0; j < count; ++j) {
      const double* w = neuronStates_[l][j]->neuron()->weights;
      for (int i = 0; i < dense->inputs; ++i) dense->weights[static_cast<std::size_t>(i) * count + j] = w[i];
      dense->bias[j] = w[dense->inputs];
    }
  }
}

void ResilientNetworkState::StoreDenseGradients() {
  for (std::size_t l = 0; l < dense_.size(); ++l) {
    const DenseLayer* dense = dense_[l].get();
    if (!dense) continue;
    const int count = dense->neurons;
    for (int j = 0; j < count; ++j) {
      double* g = neuronStates_[l][j]->gradient();
      for (int i = 0; i <= dense->inputs; ++i)
        g[i] = dense->gradient[static_cast<std::size_t>(i) * count + j];
    }
  }
}

void ResilientNetworkState::AccumulateGradient(double* const* questions, double* const* targets, int count) {
  for (auto& layer : neuronStates_)
    for (auto& state : layer) state->ClearGradient();
  // The weights do not change within the batch: first-order layers read them from their
  // matrices, loaded once here.
  LoadDenseWeights();
  for (auto& dense : dense_)
    if (dense) std::fill(dense->gradient.begin(), dense->gradient.end(), 0.0);
  for (int e = 0; e < count; ++e) {
    Forward(questions[e]);
    BackPropagate(questions[e], targets[e]);
  }
  StoreDenseGradients();
}

void ResilientNetworkState::Update(const RpropStepRule& rule) {
  for (auto& layer : neuronStates_)
    for (auto& state : layer) state->Update(rule.decrease, rule.increase, rule.minimal, rule.maximal);
}
