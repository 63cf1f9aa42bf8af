#include "kohonen/engine/kohonen_net.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kohonen/engine/map_kernels.h"
#include "platform/random.h"
#include "shared/portable_math.h"

namespace {

// The neighbourhood width never falls below this, so the kernel stays defined at stiffness 0.
constexpr double kMinSigma = 0.0001;
// Beyond this exponent the Gaussian is cut to exactly 0 (e^−50 ≈ 2·10⁻²² changes nothing
// visible), which lets training skip those cells entirely.
constexpr double kKernelCutoff = 50.0;
// randomize draws u = rand() mod kRandomSteps and maps it onto [−a, a) in steps of 2a/10000.
constexpr int kRandomSteps = 10000;
constexpr double kRandomStep = 0.0001;
// Largest number of weights a net may hold (2 GiB of doubles). A larger request — only ever
// from a damaged file or an absurd size — is refused as a failed allocation rather than
// handed to the allocator.
constexpr std::int64_t kMaxWeightCount = std::int64_t{1} << 28;

const char kOutOfMemory[] = "Out of memory";

// Largest table of ready-made neighbourhood spans (columns × (2·rows − 1) × columns values, 512
// KiB); larger maps gather each span from the mirrored kernel rows instead.
constexpr std::int64_t kMaxSpanTable = std::int64_t{1} << 16;

// Two sums whose root-mean-square distances round to the same double differ by less than about
// 7·10⁻¹⁶ relative (two roundings of the division and one of the square root); sums within this
// margin of the smallest are checked by their distance.
constexpr double kSameDistanceMargin = 1e-14;

}  // namespace

KohonenNet::KohonenNet(std::int32_t rows, std::int32_t columns, std::int32_t dimension)
    : KohonenNet(rows, columns, dimension, Uninitialised{}) {
  randomize(1.0);
}

KohonenNet::KohonenNet(std::int32_t rows, std::int32_t columns, std::int32_t dimension, Uninitialised)
    : rows_(rows), columns_(columns), dimension_(dimension) {
  if (rows < 1 || columns < 1 || dimension < 1) {
    throw IllegalSizeException("KohonenNet: rows, columns and dimension must be positive");
  }
  allocate();
}

void KohonenNet::allocate() {
  const std::int64_t cells = static_cast<std::int64_t>(rows_) * columns_;
  if (cells > kMaxWeightCount || cells * dimension_ > kMaxWeightCount) {
    throw OutOfMemoryException(kOutOfMemory);
  }
  try {
    kernel_ = Zeros(rows_, columns_);
    weights_.assign(static_cast<std::size_t>(cells * dimension_), 0.0);
    mirroredKernel_.assign(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(2 * columns_ - 1), 0.0);
    squaredDistances_.assign(static_cast<std::size_t>(cells), 0.0);
    spanKernel_.assign(static_cast<std::size_t>(cells), 0.0);
    const std::int64_t table =
        static_cast<std::int64_t>(columns_) * (2 * static_cast<std::int64_t>(rows_) - 1) * columns_;
    spanTable_.assign(table <= kMaxSpanTable ? static_cast<std::size_t>(table) : 0, 0.0);
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kOutOfMemory);
  }
  kernelRows_ = 0;
}

void KohonenNet::copyCell(std::int32_t r, std::int32_t c, double* out) const {
  for (std::int32_t k = 0; k < dimension_; ++k) out[k] = weight(r, c, k);
}

std::vector<double> KohonenNet::cellWeights(std::int32_t r, std::int32_t c) const {
  std::vector<double> w(static_cast<std::size_t>(dimension_));
  copyCell(r, c, w.data());
  return w;
}

double KohonenNet::cellDistance(std::int32_t r, std::int32_t c, const double* x) const {
  double sum = 0.0;
  for (std::int32_t k = 0; k < dimension_; ++k) {
    const double d = weight(r, c, k) - x[k];
    sum += d * d;
  }
  return std::sqrt(sum / dimension_);
}

// Fills squaredDistances_ with Σₖ (wₖ − xₖ)² for every cell, each sum accumulated in component
// order exactly as cellDistance does, but with the cells as the contiguous (vectorised) axis.
double KohonenNet::computeSquaredDistances(const double* x) const {
  return map_kernels::squaredDistances(weights_.data(), cellCount(), dimension_, x, 0, cellCount(),
                                       squaredDistances_.data());
}

CellPos KohonenNet::findWinner(const double* x) const {
  return pickWinner(computeSquaredDistances(x));
}

// The strict-improvement scan in row-major order ends at the first cell whose distance equals
// the smallest distance. That cell is found from the smallest sum: the distance grows with the
// sum, so only sums next to the smallest can share its distance, and those are compared by the
// distance itself — exact even where different sums round to the same distance.
CellPos KohonenNet::pickWinner(double smallestSum) const {
  const double* acc = squaredDistances_.data();
  // A first distance that is not a number is never beaten: nothing compares smaller.
  if (std::isnan(acc[0])) return CellPos{0, 0};
  const double bestDistance = std::sqrt(smallestSum / dimension_);
  const double limit = smallestSum + smallestSum * kSameDistanceMargin;
  const std::int32_t cells = cellCount();
  for (std::int32_t i = map_kernels::firstAtMost(acc, 0, cells, limit); i < cells;
       i = map_kernels::firstAtMost(acc, i + 1, cells, limit)) {
    if (std::sqrt(acc[i] / dimension_) == bestDistance) return CellPos{i / columns_, i % columns_};
  }
  return CellPos{0, 0};  // not reached: the smallest sum itself matches
}

void KohonenNet::setStiffness(double s) {
  const double sigma = s > kMinSigma ? s : kMinSigma;
  const double twoSigmaSquared = 2.0 * sigma * sigma;
  double* kernel = kernel_.data();
  kernelRows_ = 0;
  for (std::int32_t i = 0; i < rows_; ++i) {
    for (std::int32_t j = 0; j < columns_; ++j) {
      const double q = static_cast<double>(i * i + j * j) / twoSigmaSquared;
      // The library exp differs between processors in the last bit; these values go into the map.
      const double h = q <= kKernelCutoff ? portable_math::exp(-q) : 0.0;
      kernel[static_cast<std::int64_t>(i) * columns_ + j] = h;
      if (h != 0.0) kernelRows_ = i + 1;
      // Offset j on both sides of the centre of the mirrored row.
      double* mirrored = mirroredKernel_.data() + static_cast<std::int64_t>(i) * (2 * columns_ - 1);
      mirrored[columns_ - 1 + j] = h;
      mirrored[columns_ - 1 - j] = h;
    }
  }
  fillSpanTable();
}

// For each winner column c, the kernel rows of offsets kernelRows_ − 1, …, 1, 0, 1, …,
// kernelRows_ − 1 one after the other, each read from the position that puts column c on offset
// 0: the values of any run of whole map rows around a winner in that column are then one
// contiguous slice.
void KohonenNet::fillSpanTable() {
  if (spanTable_.empty() || kernelRows_ == 0) return;
  const std::int64_t mirroredWidth = 2 * static_cast<std::int64_t>(columns_) - 1;
  const std::int32_t offsets = 2 * kernelRows_ - 1;
  for (std::int32_t c = 0; c < columns_; ++c) {
    for (std::int32_t t = 0; t < offsets; ++t) {
      const double* mirrored = mirroredKernel_.data() + std::abs(t - (kernelRows_ - 1)) * mirroredWidth;
      std::memcpy(spanTableRow(c, t), mirrored + (columns_ - 1 - c), sizeof(double) * columns_);
    }
  }
}

// Moves every cell with a non-zero kernel value around the winner towards x; cells with kernel
// value 0 are not changed. Those cells lie within kernelRows_ map rows either side of the
// winner, so only those whole map rows — one contiguous run of cells — are swept, their kernel
// values gathered first. The same sweep measures the moved cells against next (the following
// data row; x itself for the last one), and the cells outside the run are measured apart, so
// squaredDistances_ ends up holding every cell's distance to next.
double KohonenNet::updateTowards(const double* x, CellPos winner, double delta, const double* next) {
  const std::int32_t cells = cellCount();
  double* planes = weights_.data();
  double* acc = squaredDistances_.data();
  if (kernelRows_ == 0) return computeSquaredDistances(next);  // no stiffness set: every value is 0
  const std::int32_t rFirst = std::max(0, winner.row - kernelRows_ + 1);
  const std::int32_t rLast = std::min(rows_ - 1, winner.row + kernelRows_ - 1);
  // Map row r takes its kernel values from the mirrored row of offset |r − wr|, read from the
  // position that puts the winner's column on offset 0: a slice of the span table, or gathered.
  const std::int32_t n = (rLast - rFirst + 1) * columns_;
  const double* h = spanKernel_.data();
  if (!spanTable_.empty()) {
    h = spanTableRow(winner.column, kernelRows_ - 1 - (winner.row - rFirst));
  } else {
    const std::int64_t mirroredWidth = 2 * static_cast<std::int64_t>(columns_) - 1;
    for (std::int32_t r = rFirst; r <= rLast; ++r) {
      const double* mirrored = mirroredKernel_.data() + std::abs(r - winner.row) * mirroredWidth;
      std::memcpy(spanKernel_.data() + static_cast<std::int64_t>(r - rFirst) * columns_,
                  mirrored + (columns_ - 1 - winner.column), sizeof(double) * columns_);
    }
  }
  const std::int32_t begin = rFirst * columns_;
  const std::int32_t end = begin + n;
  const double before = map_kernels::squaredDistances(planes, cells, dimension_, next, 0, begin, acc);
  const double moved =
      map_kernels::pullAndMeasure(planes, cells, dimension_, x, h, delta, next, begin, end, acc);
  const double after = map_kernels::squaredDistances(planes, cells, dimension_, next, end, cells, acc);
  return std::fmin(before, std::fmin(moved, after));
}

void KohonenNet::trainEpoch(const RealMatrix& data, double delta) {
  if (data.Cols() != dimension_) {
    throw IllegalMatrixSizeException("KohonenNet::trainEpoch: data columns differ from the net dimension");
  }
  const std::int32_t n = data.Rows();
  if (n < 1) return;
  const double* rows = data.data();
  // Each update also measures the next row against the moved weights, so the winner of row
  // i + 1 is picked from distances computed after row i has been learnt, as online training
  // requires.
  double smallest = computeSquaredDistances(rows);
  for (std::int32_t i = 0; i < n; ++i) {
    const double* x = rows + static_cast<std::int64_t>(i) * dimension_;
    const double* next = i + 1 < n ? x + dimension_ : x;
    smallest = updateTowards(x, pickWinner(smallest), delta, next);
  }
}

void KohonenNet::randomize(double a) {
  const std::int32_t cells = cellCount();
  for (std::int32_t cell = 0; cell < cells; ++cell) {
    for (std::int32_t k = 0; k < dimension_; ++k) {
      const int u = platform::crtRand() % kRandomSteps;
      weights_[static_cast<std::size_t>(static_cast<std::int64_t>(k) * cells + cell)] =
          a * (u * kRandomStep) * 2 - a;
    }
  }
}

void KohonenNet::initFromPrincipalComponents(const RealMatrix& data) {
  if (dimension_ <= 1) return;
  if (data.Cols() != dimension_) {
    throw IllegalMatrixSizeException(
        "KohonenNet::initFromPrincipalComponents: data columns differ from the net dimension");
  }
  const RealMatrix mean = ColMean(data);
  RealMatrix values, vectorsOut, unused;
  PrincipalComponents(values, vectorsOut, unused, data, false);
  const RealMatrix& vectors = vectorsOut;
  // The values are singular values of a covariance matrix and so never negative; the clamp
  // only keeps a rounding artefact from turning the whole map into NaN.
  const double sigma1 = std::sqrt(std::max(0.0, static_cast<const RealMatrix&>(values)(0, 0)));
  const double sigma2 = std::sqrt(std::max(0.0, static_cast<const RealMatrix&>(values)(1, 0)));
  for (std::int32_t r = 0; r < rows_; ++r) {
    // Real divisions: in integers several map rows would collapse onto the same point.
    const double a = rows_ >= 2 ? (2.0 * r / (rows_ - 1) - 1.0) * sigma1 : 0.0;
    for (std::int32_t c = 0; c < columns_; ++c) {
      const double b = columns_ >= 2 ? (2.0 * c / (columns_ - 1) - 1.0) * sigma2 : 0.0;
      // (a, b, 0, …, 0) · Vᵀ + m, component by component.
      for (std::int32_t k = 0; k < dimension_; ++k) {
        const double offset = 0.0 + a * vectors(k, 0) + b * vectors(k, 1);
        setWeight(r, c, k, mean(0, k) + offset);
      }
    }
  }
}
