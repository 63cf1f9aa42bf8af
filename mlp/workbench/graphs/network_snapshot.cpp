#include "mlp/workbench/graphs/network_snapshot.h"

#include <sstream>

#include "mlp/engine/perceptron.h"
#include "mlp/engine/training_run.h"
#include "shared/vantor_data_set.h"

std::unique_ptr<Perceptron> copyNetwork(const Perceptron& network) {
  std::stringstream block(std::ios::in | std::ios::out | std::ios::binary);
  network.WriteBlock(block);
  block.seekg(0);
  return std::make_unique<Perceptron>(block);
}

NetworkSnapshot NetworkSnapshot::take(TrainingRun& run) {
  NetworkSnapshot snapshot;
  run.WithModel([&](const TrainingModelView& view) {
    snapshot.dataSet = view.dataSet;
    snapshot.trainingCount = view.trainingCount;
    snapshot.testCount = view.testCount;
    if (view.network != nullptr) snapshot.network = copyNetwork(*view.network);
  });
  return snapshot;
}

bool NetworkSnapshot::fits() const {
  if (network == nullptr || dataSet == nullptr) return false;
  return dataSet->inputCount() > 0 && dataSet->outputCount() > 0 &&
         network->inputs == dataSet->inputCount() && network->outputs == dataSet->outputCount();
}
