#pragma once

// Workload W1 of the shared benchmark set: 10,000 rows of 8 inputs and one target, an 8-16-1
// network (tanh hidden layer, linear output) started from the shared initial weights, and the
// workload's batch Rprop settings.
#include <memory>
#include <vector>

#include "mlp/engine/perceptron.h"
#include "mlp/engine/training_algorithm.h"

namespace lumivane::bench {

inline constexpr int kW1Inputs = 8;
inline constexpr int kW1Hidden = 16;
inline constexpr int kW1Epochs = 200;  // the workload's run length
// The workload's Rprop step limits and factors (kestrel's own default Δmax is 10).
inline constexpr double kW1InitialStep = 0.1;
inline constexpr double kW1MinimalStep = 1e-8;
inline constexpr double kW1MaximalStep = 50.0;
inline constexpr double kW1DecreaseFactor = 0.5;
inline constexpr double kW1IncreaseFactor = 1.2;

// What a higher-order hidden neuron's pair and triple weights start from: the values the network
// drew, or zero (then every order starts as the same function, with the peers' starting error).
enum class HigherOrderStart { Drawn, Zero };

// The network, its examples and the context that attaches an algorithm to them. The shared
// weights: column "from" 8 of the hidden layer and 16 of the output is the bias, which is also the
// position of the bias in a neuron's weights.
struct W1Training {
  W1Training(int hiddenOrder, HigherOrderStart start);

  TrainingContext context();
  double rms();

  std::unique_ptr<Perceptron> net;
  std::vector<std::vector<double>> rows;  // x1..x8, y
  std::vector<double*> questions, answers;
  int exists = 1;
  int counter = 0;
};

}  // namespace lumivane::bench
