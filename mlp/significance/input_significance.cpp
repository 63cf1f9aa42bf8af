#include "mlp/significance/input_significance.h"

#include <algorithm>
#include <array>
#include <vector>

#include "mlp/significance/pair_boxcount.h"
#include "mlp/significance/parallel_for.h"
#include "shared/exceptions.h"

namespace significance {

namespace {

// The level at which a pair is evaluated: the last reliable joint level, kept off level 16
// (where almost every point is alone) and at least 1.
constexpr std::int32_t kFinestEvaluatedLevel = 15;
constexpr std::int32_t kCoarsestEvaluatedLevel = 1;
// Share of the bias term taken off the mutual information.
constexpr double kBiasShare = 0.5;
// The bar's full scale, widened so that full scale × pairs done cannot overflow.
constexpr std::int64_t kFullProgress = kProgressFullScale;

// A column of the inputs or the outputs rescaled to [0, 1], with its box statistics; the
// statistics of a side are the same for every pair it takes part in, so they are counted once.
struct UnitColumn {
  std::vector<double> values;
  BoxStatisticsTable statistics{};
};

void prepareColumn(const RealMatrix& m, std::int32_t column, UnitColumn& out) {
  const ColumnRef source{m.data() + column, m.Cols()};
  rescaleToUnit({&source, 1}, m.Rows(), out.values);
  const ColumnRef unit{out.values.data(), 1};
  out.statistics = boxStatistics({&unit, 1}, m.Rows());
}

double pairSignificance(const UnitColumn& input, const UnitColumn& output, std::int32_t n) {
  const std::array<ColumnRef, 2> joined{ColumnRef{input.values.data(), 1},
                                        ColumnRef{output.values.data(), 1}};
  const PairBoxcountResult pair =
      combinePair(input.statistics, output.statistics, boxStatistics(joined, n), n);
  const std::int32_t m =
      std::max(kCoarsestEvaluatedLevel, std::min(pair.reliable.joint, kFinestEvaluatedLevel));
  const PairRow& row = pair.table[m];
  const double outputEntropy = row[kEntropyBColumn];
  if (!(outputEntropy > 0.0)) return 0.0;  // a constant output carries no information to explain
  const double s = (row[kMutualInformationColumn] - kBiasShare * row[kBiasColumn]) / outputEntropy;
  return s > 0.0 ? s : 0.0;  // negative or not a number: not significant
}

}  // namespace

RealMatrix InputSignificance(const RealMatrix& X, const RealMatrix& Y, ProgressSink& progress,
                             const BoxCountOptions& options) {
  if (X.Rows() != Y.Rows()) {
    throw IllegalMatrixSizeException("InputSignificance: inputs and outputs differ in row count");
  }
  progress.setText("Finding significant inputs...");
  progress.setPosition(0);

  const std::int32_t n = X.Rows();
  const std::int32_t p = X.Cols();
  const std::int32_t q = Y.Cols();
  std::vector<UnitColumn> inputs(static_cast<std::size_t>(p));
  std::vector<UnitColumn> outputs(static_cast<std::size_t>(q));
  const std::int64_t pairs = std::int64_t{p} * q;

  // Matrices are read only through const pointers taken here, so the workers never touch a
  // reference count.
  parallelFor(
      p + q, threadCount(options.threads, p + q),
      [&](std::int64_t c) {
        if (c < p) {
          prepareColumn(X, static_cast<std::int32_t>(c), inputs[c]);
        } else {
          prepareColumn(Y, static_cast<std::int32_t>(c - p), outputs[c - p]);
        }
      },
      [](std::int64_t) {});

  std::vector<double> significance(static_cast<std::size_t>(pairs));
  parallelFor(
      pairs, threadCount(options.threads, pairs),
      [&](std::int64_t k) {
        const std::int64_t j = k / p;
        const std::int64_t i = k % p;
        significance[k] = pairSignificance(inputs[i], outputs[j], n);
      },
      [&](std::int64_t done) { progress.setPosition(static_cast<int>(kFullProgress * done / pairs)); });

  RealMatrix S(q, p, significance.data());
  return S;
}

}  // namespace significance
