// The kestrel training plug-in: exports its one Rprop algorithm object to Vantor.

#include "mlp/engine/training_algorithm.h"
#include "plugins/rprop/resilient_propagation.h"
#include "plugins/rprop/rprop_parameters_dialog.h"

namespace {

ResilientPropagation algorithm(&editRpropParameters);

}  // namespace

LUMIVANE_PLUGIN_EXPORT TrainingAlgorithm* getAlgorithm() {
  return &algorithm;
}
