#pragma once

#include "mlp/significance/boxcount_options.h"
#include "shared/progress.h"
#include "shared/real_matrix.h"

namespace significance {

// The q × p significance matrix of the inputs X (n × p) for the outputs Y (n × q): element
// (j, i) is the boxcounted mutual information of input i and output j at the finest reliable
// joint level (at least 1, at most 15), less half its bias term, relative to the output's
// entropy at that level. Values that are not positive (or where the output has no entropy)
// are 0. Reports "Finding significant inputs..." and 100 · pairs done / (p · q) after each pair
// through `progress` (on the calling thread); the pairs run on options.threads threads with
// results identical to a one-thread run. Row counts must agree (IllegalMatrixSizeException).
RealMatrix InputSignificance(const RealMatrix& X, const RealMatrix& Y, ProgressSink& progress,
                             const BoxCountOptions& options = {});

}  // namespace significance
