#pragma once

#include <array>

// The structure of a network as the network constructor edits it and as a network describes
// itself (Perceptron::Describe). Only the first layerCount entries of the per-layer arrays are
// meaningful. The defaults are the network offered when none exists yet: 2 inputs, a tanh hidden
// layer of 3 neurons feeding one linear output neuron, all first order.
struct NetworkDescription {
  // The most layers a description (and the network constructor) holds.
  static constexpr int kMaxLayers = 5;

  int inputs = 2;
  int outputs = 1;
  int layerCount = 2;  // 1..kMaxLayers
  int neuronCounts[kMaxLayers] = {3, 1, 2, 2, 2};
  int orders[kMaxLayers] = {1, 1, 1, 1, 1};  // each 1..3
  char functionCodes[kMaxLayers] = {'t', 'l', 't', 't', 't'};
  // The function names offered to the user, in this order; a layer's code is the first letter of
  // the chosen name.
  std::array<const char*, 2> functionNames = {"tanh", "linear"};
};

// The name shown for a stored function code: "linear" for 'l', "tanh" otherwise.
const char* functionNameForCode(char code);
