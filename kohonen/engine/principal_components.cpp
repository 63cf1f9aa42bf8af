#include "kohonen/engine/principal_components.h"

namespace {
// The preselected count keeps at least this share of the total variance.
constexpr double kDefaultInformationShare = 0.9;
// Percent of a fraction.
constexpr double kPercent = 100.0;
}  // namespace

PcDecomposition decomposeWorkingMatrix(const RealMatrix& working, ProgressSink& progress,
                                       std::chrono::milliseconds pause) {
  progress.setText(kPcProgressText);
  progress.setPosition(0);
  PcDecomposition pc;
  RealMatrix unused;
  PrincipalComponents(pc.values, pc.vectors, unused, working, false);
  progress.finish(pause);
  return pc;
}

std::vector<double> cumulativeInformation(const RealMatrix& values) {
  std::vector<double> sums(static_cast<std::size_t>(values.Rows()));
  double s = 0.0;
  for (std::int32_t k = 0; k < values.Rows(); ++k) {
    s += values(k, 0);
    sums[static_cast<std::size_t>(k)] = s;
  }
  return sums;
}

std::optional<std::int32_t> defaultComponentCount(const RealMatrix& values) {
  const std::vector<double> sums = cumulativeInformation(values);
  if (sums.empty() || !(sums.back() > 0.0)) return std::nullopt;
  const double needed = kDefaultInformationShare * sums.back();
  for (std::size_t k = 0; k < sums.size(); ++k) {
    if (sums[k] >= needed) return static_cast<std::int32_t>(k + 1);
  }
  // Only rounding can leave the full sum short of 90 % of itself; keep everything then.
  return static_cast<std::int32_t>(sums.size());
}

std::int32_t componentsToKeep(std::optional<std::int32_t> chosen, std::int32_t d) {
  return chosen ? *chosen : d;
}

PcProjection projectOnComponents(const RealMatrix& working, const PcDecomposition& pc, std::int32_t k) {
  const std::int32_t d = pc.vectors.Cols();
  if (k < 1 || k > d) throw IllegalSizeException("projectOnComponents: component count out of range");
  if (working.Cols() != pc.vectors.Rows()) {
    throw IllegalMatrixSizeException("projectOnComponents: data columns differ from the eigenvectors");
  }
  PcProjection result;
  result.projection = pc.vectors(R(-1, -1), R(0, k - 1));
  result.working = working * result.projection;
  const std::vector<double> sums = cumulativeInformation(pc.values);
  const double total = sums.back();
  result.retainedFraction = total > 0.0 ? sums[static_cast<std::size_t>(k - 1)] / total : 1.0;
  return result;
}

std::int32_t informationPercent(double retainedFraction) {
  return static_cast<std::int32_t>(retainedFraction * kPercent);
}
