#pragma once

#include <cstdint>

#include "kohonen/engine/cell_index.h"
#include "kohonen/engine/kohonen_net.h"
#include "shared/progress.h"

// The training parameters the user keeps in the preferences; the defaults are those of a
// fresh installation.
struct TrainingSettings {
  std::int32_t iterations = 2000;  // "Number of iterations": passes over the data, 1 … 1000000
  double initialStiffness = 2.0;   // "Initial Stiffness": neighbourhood width of the first pass
  double delta = 0.01;             // "Delta": constant learning rate
  double decayFactor = 0.001;      // "Decay factor": stiffness decrement per pass
};

// Caption of the cancellable progress window under which a map is trained.
inline constexpr char kTrainingProgressTitle[] = "Training process...";

// Builds the net for "Create Network...": rows × columns cells of the working matrix's column
// count, randomised and then laid out on its two leading principal components. Throws what the
// constructor and the decomposition throw (OutOfMemoryException "Out of memory", …).
KohonenNet createNetwork(std::int32_t rows, std::int32_t columns, const RealMatrix& working);

struct TrainingOutcome {
  std::int32_t passes = 0;  // passes completed
  bool cancelled = false;   // the user pressed Cancel before the last pass
};

// Trains net on working (n × dimension): pass i runs with stiffness
// max(0, initialStiffness − i·decayFactor) (decremented pass by pass) and the constant rate
// delta. Before each pass a Cancel ends the run, keeping the partly trained net; every fifth
// pass reports ⌊100·i / iterations⌋ %. The run starts by reporting 0 %. In every case index is
// rebuilt from the resulting net.
TrainingOutcome trainNetwork(KohonenNet& net, const RealMatrix& working, const TrainingSettings& settings,
                             ProgressSink& progress, CellIndex& index);
