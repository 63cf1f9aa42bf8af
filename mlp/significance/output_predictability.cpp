#include "mlp/significance/output_predictability.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mlp/significance/pair_boxcount.h"
#include "shared/exceptions.h"
#include "shared/portable_math.h"

namespace significance {

namespace {

// Squeezes the standardised values so that outliers do not stretch the boxes: 0.9 maps ±1
// standard deviation to ±0.72.
constexpr double kTanhGain = 0.9;
// Relative threshold below which singular values of the fit do not count.
constexpr double kFitThreshold = 1e-6;

std::string outputText(std::int32_t j) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%i-th output: ", static_cast<int>(j + 1));
  return std::string(prefix) + "Performing boxcounting...";
}

using StepRow = std::array<double, kPredictabilityColumns>;

RealMatrix stepMatrix(const std::vector<StepRow>& rows) {
  RealMatrix m(static_cast<std::int32_t>(rows.size()), kPredictabilityColumns);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    for (std::int32_t c = 0; c < kPredictabilityColumns; ++c) m(static_cast<std::int32_t>(k), c) = rows[k][c];
  }
  return m;
}

// One step of the loop: fits y on the first k + 1 scores and a constant, boxcounts the scores
// against the residual. Returns false when a side has no reliable level.
bool predictabilityStep(const RealMatrix& scores, const RealMatrix& y, double stdY, std::int32_t k,
                        StepRow& row) {
  const std::int32_t n = scores.Rows();
  const RealMatrix leading = scores(R(-1, -1), R(0, k));
  const RealMatrix design = HorJoin(leading, Ones(n, 1));
  const RealMatrix beta = SolveSVD(design, y, kFitThreshold);
  RealMatrix residual = y - design * beta;
  const double bits = linearBits(stdY, Std(residual));
  // A fit that leaves less than 2^-16 of the output's spread has resolved the output as finely
  // as the boxes can: what is left is rounding noise, which rescaling would blow up into a
  // full-range column with spurious structure. Count it as the constant it is at that scale.
  if (bits >= kLinearBitsCap) residual = Zeros(n, 1);
  const PairBoxcountResult pair = PairBoxcount(leading, residual);
  if (pair.reliable.anyZero()) return false;
  const std::int32_t m = pair.reliable.joint;
  row[kStepLevelColumn] = m;
  row[kLinearBitsColumn] = bits;
  row[kResidualBitsColumn] = pair.table[m][kMutualInformationColumn];
  row[kUpperBitsColumn] = row[kLinearBitsColumn] + row[kResidualBitsColumn];
  row[kLowerBitsColumn] = row[kUpperBitsColumn] - pair.table[m][kBiasColumn];
  return true;
}

}  // namespace

double linearBits(double stdY, double stdE) {
  if (!(stdY > 0.0)) return 0.0;  // nothing to predict
  if (!(stdE > 0.0)) return kLinearBitsCap;
  const double bits = portable_math::log2(stdY / stdE);
  return bits < kLinearBitsCap ? bits : kLinearBitsCap;
}

RealMatrix tanhTransform(const RealMatrix& m) {
  const RealMatrix mean = ColMean(m);
  const RealMatrix spread = ColStd(m);
  RealMatrix result(m.Rows(), m.Cols());
  const double* in = m.data();
  double* out = result.data();
  for (std::int32_t i = 0; i < m.Rows(); ++i) {
    for (std::int32_t c = 0; c < m.Cols(); ++c, ++in, ++out) {
      const double s = spread(0, c);
      *out = s > 0.0 ? portable_math::tanh(kTanhGain * (*in - mean(0, c)) / s) : 0.0;
    }
  }
  return result;
}

Predictability OutputPredictability(const RealMatrix& X, const RealMatrix& y, std::int32_t j,
                                    ProgressSink& progress, const BoxCountOptions& options) {
  if (X.Rows() != y.Rows()) throw MyException("Matrix size contradicts linear algebra!");
  progress.setText(outputText(j));
  progress.setPosition(0);

  const RealMatrix inputs = tanhTransform(X);
  const RealMatrix output = tanhTransform(y);
  RealMatrix values, vectors, scores;
  PrincipalComponents(values, vectors, scores, inputs, true);
  const double stdY = Std(output);

  const std::int32_t p = X.Cols();
  std::vector<StepRow> rows(1, StepRow{});
  double best = 0.0;
  std::int32_t bestStep = 0;
  for (std::int32_t k = 0; k < p; ++k) {
    progress.setPosition(kProgressFullScale * k / p);
    if (!predictabilityStep(scores, output, stdY, k, rows[k])) break;
    if (rows[k][kStepLevelColumn] < 1) break;
    rows.push_back(StepRow{});
    if (rows[k][kUpperBitsColumn] > best) {
      best = rows[k][kUpperBitsColumn];
      bestStep = k;
    }
  }
  progress.finish(options.finishPause);

  Predictability result;
  result.upper = rows[bestStep][kUpperBitsColumn];
  result.lower = rows[bestStep][kLowerBitsColumn];
  result.steps = stepMatrix(rows);
  result.bestStep = bestStep;
  return result;
}

}  // namespace significance
