#pragma once

#include <memory>

#include "mlp/engine/perceptron.h"

class TrainingRun;
class VantorDataSet;

// A copy of the network as it was between two epochs, with the split it was trained on, so a
// graph can evaluate every example without holding the training run's model (which would stall
// the worker for as long as the evaluation takes). Taken in microseconds under the model lock.
//
// While training runs the data set does not change (every command that changes it refuses), so
// the copy is evaluated on the data set's rows directly.
struct NetworkSnapshot {
  std::unique_ptr<Perceptron> network;  // null when no network exists
  const VantorDataSet* dataSet = nullptr;
  int trainingCount = 0;
  int testCount = 0;

  // Copies the run's network and split (waits at most for the current epoch).
  static NetworkSnapshot take(TrainingRun& run);
  // The network fits the data set: as many inputs and outputs as it has columns.
  bool fits() const;
};

// A copy of a network through its stored block (every weight bit for bit).
std::unique_ptr<Perceptron> copyNetwork(const Perceptron& network);
