// A plug-in library that offers no algorithm: either its getAlgorithm returns null, or it does
// not export getAlgorithm at all.

#include "mlp/engine/training_algorithm.h"

#ifdef FAKE_EXPORT_NULL_ALGORITHM
LUMIVANE_PLUGIN_EXPORT TrainingAlgorithm* getAlgorithm() {
  return nullptr;
}
#else
LUMIVANE_PLUGIN_EXPORT int notAnAlgorithm() {
  return 0;
}
#endif
