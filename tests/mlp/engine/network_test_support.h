#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mlp/engine/perceptron.h"

namespace lumivane::test {

// An independent replay of the C-runtime-compatible generator (x ← x·214013 + 2531011 mod 2^32,
// result bits 16..30), so tests can predict every draw the network makes.
class ReferenceRand {
 public:
  explicit ReferenceRand(std::uint32_t seed) : state_(seed) {}
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }
  // The weight value of one draw: 2·range·(r·0.0001 − 0.5), r = rand() mod 10000.
  double weight(double range) { return 2 * range * ((next() % 10000) * 0.0001 - 0.5); }

 private:
  std::uint32_t state_;
};

// Builds a network with the given layers (orders and codes per layer).
inline std::unique_ptr<Perceptron> makeNetwork(int inputs, std::vector<int> counts, std::vector<int> orders,
                                               std::vector<char> codes) {
  return std::make_unique<Perceptron>(inputs, static_cast<int>(counts.size()), counts.data(), orders.data(),
                                      codes.data());
}

// Sets every weight of the network to a distinct, irregular value (deterministic, no generator).
inline void fillWeights(Perceptron& net, double scale = 0.3) {
  int k = 0;
  for (int l = 0; l < net.layerCount; ++l) {
    for (int j = 0; j < net.neuronCounts[l]; ++j) {
      Neuron& neuron = *net.neurons[l][j];
      for (std::size_t w = 0; w < neuron.WeightCount(); ++w, ++k) {
        neuron.AllWeights()[w] = scale * ((k * 7919 % 201) - 100) / 100.0;
      }
    }
  }
}

}  // namespace lumivane::test
