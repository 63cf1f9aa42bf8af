#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "shared/progress.h"
#include "shared/real_matrix.h"

// Replacing the normalised working columns by their projections on the leading principal
// components, without the dialog in which the user chooses how many to keep.

// Message line of the (non-cancellable) progress window during the decomposition.
inline constexpr char kPcProgressText[] = "Principal component analysis";
// Shown instead of the analysis when fewer than two columns are selected.
inline constexpr char kPcNeedsTwoColumnsMessage[] =
    "Selected data must contain more than one column\n in order to use PC analisys!";
// The progress window stays at 100 % this long so the user sees the step finish.
inline constexpr std::chrono::milliseconds kPcFinishedPause{500};

// The analysis needs at least two selected columns; with fewer the working matrix stays
// unprojected.
inline bool principalComponentsPossible(std::int32_t selectedColumns) {
  return selectedColumns >= 2;
}

struct PcDecomposition {
  RealMatrix values;   // d × 1 eigenvalues of the covariance, descending
  RealMatrix vectors;  // d × d, column k belongs to values(k, 0)
};

// Decomposes the covariance of working (n × d): reports the text and 0 %, decomposes, then
// finishes the progress (full bar, held for `pause` by a sink with a window; recorders and
// NullProgress do not wait). Throws what PrincipalComponents throws.
PcDecomposition decomposeWorkingMatrix(const RealMatrix& working, ProgressSink& progress,
                                       std::chrono::milliseconds pause = kPcFinishedPause);

// S₁ … S_d: the running sums λ₁ + … + λ_k of the eigenvalues (the information curve).
std::vector<double> cumulativeInformation(const RealMatrix& values);

// The number of components preselected in the dialog: the smallest k whose eigenvalues hold at
// least 90 % of the total; none when the total is not positive.
std::optional<std::int32_t> defaultComponentCount(const RealMatrix& values);

// The number of components kept when the dialog closes: the chosen count, or all d when
// nothing was chosen (total variance not positive, so no count could be preselected).
std::int32_t componentsToKeep(std::optional<std::int32_t> chosen, std::int32_t d);

struct PcProjection {
  RealMatrix projection;    // d × k: the first k eigenvectors
  RealMatrix working;       // n × k: the normalised columns times the projection (not centred)
  double retainedFraction;  // (λ₁ + … + λ_k) / (λ₁ + … + λ_d); 1 when that total is not positive
};

// Projects working (n × d) on the first k (1 … d, IllegalSizeException otherwise) components.
PcProjection projectOnComponents(const RealMatrix& working, const PcDecomposition& pc, std::int32_t k);

// The whole percentage the Project page shows for a retained fraction (truncated).
std::int32_t informationPercent(double retainedFraction);
