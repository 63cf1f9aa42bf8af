#pragma once

#include <cstdint>

#include "mlp/significance/boxcount_options.h"
#include "shared/progress.h"
#include "shared/real_matrix.h"

namespace significance {

// Columns of the per-step table of the predictability loop.
enum PredictabilityColumn : std::int32_t {
  kStepLevelColumn = 0,     // m, the reliable joint level used
  kLinearBitsColumn = 1,    // log2(std(y) / std(e)), bounded by kLinearBitsCap
  kResidualBitsColumn = 2,  // mutual information of the scores and the residual at level m
  kUpperBitsColumn = 3,     // linear + residual bits
  kLowerBitsColumn = 4,     // upper less the bias term at level m
  kPredictabilityColumns = 5,
};

// The most a linear fit can claim, in bits: the analysis resolves every coordinate to 16 bits,
// so an exact fit (residual spread 0) and any fit better than 1 part in 2^16 of the output's
// spread count as this many bits instead of an infinite or rounding-noise figure.
inline constexpr double kLinearBitsCap = 16.0;

struct Predictability {
  double upper = 0.0;  // bits
  double lower = 0.0;  // bits
  // One row per step of the loop (the last row is the zero row appended after the last
  // complete step, or the row of the step that stopped it), columns above.
  RealMatrix steps;
  std::int32_t bestStep = 0;  // k*, the row upper and lower come from
};

// How well the output column y (n × 1) can be predicted from the inputs X (n × p): both are
// mapped through tanh(0.9·(x − mean) / std) column by column, the inputs replaced by their
// principal-component scores, and for k = 0 … p − 1 the first k + 1 scores give a linear fit
// (with a constant) and the boxcounted information left between those scores and the fit's
// residual. The loop stops when a pair has no reliable level. Reports "%i-th output: " (with
// j + 1) + "Performing boxcounting..." and positions 0 … 100 through `progress`, and ends with
// progress.finish(options.finishPause).
// A column with zero spread maps to 0 instead of dividing by 0; a constant output has 0 linear
// bits. A fit that leaves less than 2^-16 of the output's spread (an exact fit included) counts
// kLinearBitsCap linear bits and its residual is boxcounted as a constant (no information
// left), so every figure stays finite. Row counts of X and y must agree, otherwise MyException "Matrix size
// contradicts linear algebra!".
Predictability OutputPredictability(const RealMatrix& X, const RealMatrix& y, std::int32_t j,
                                    ProgressSink& progress, const BoxCountOptions& options = {});

// log2(stdY / stdE), the information of a linear fit in bits: 0 when the output has no spread,
// kLinearBitsCap when the residual has none or the ratio exceeds 2^16.
double linearBits(double stdY, double stdE);

// tanh(0.9·(x − m) / s) for every element, m and s the mean and standard deviation of its
// column taken before any change; a column with s = 0 becomes all 0.
RealMatrix tanhTransform(const RealMatrix& m);

}  // namespace significance
