#include "shared/real_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "shared/simd.h"
#include "shared/simd_wide.h"
#include "shared/svd.h"

namespace {

constexpr const char* kOutOfMemory = "Out of memory";

double* allocateElements(std::int64_t count) {
  if (count < 0) throw OutOfMemoryException(kOutOfMemory);
  double* p = new (std::nothrow) double[static_cast<std::size_t>(count)];
  if (!p) throw OutOfMemoryException(kOutOfMemory);
  return p;
}

void requireSameSize(const RealMatrix& m1, const RealMatrix& m2, const char* message) {
  if (m1.Rows() != m2.Rows() || m1.Cols() != m2.Cols()) throw IllegalMatrixSizeException(message);
}

void requirePositive(const RealMatrix& m, const char* message) {
  if (m.Rows() <= 0 || m.Cols() <= 0) throw IllegalMatrixSizeException(message);
}

// Resolves (-1, -1) to the whole extent; false when the range lies outside [0, extent).
bool resolveRange(std::int32_t& first, std::int32_t& last, std::int32_t extent) {
  if (first == -1 && last == -1) {
    first = 0;
    last = extent - 1;
  }
  return first >= 0 && first < extent && last >= 0 && last < extent && first <= last;
}

template <typename Op>
RealMatrix elementWise(const RealMatrix& m1, const RealMatrix& m2, const char* message, Op op) {
  requireSameSize(m1, m2, message);
  RealMatrix result(m1.Rows(), m1.Cols());
  const double* a = m1.data();
  const double* b = m2.data();
  double* r = result.data();
  const std::int64_t n = m1.Size();
  for (std::int64_t k = 0; k < n; ++k) r[k] = op(a[k], b[k]);
  return result;
}

template <typename Op>
RealMatrix withScalar(const RealMatrix& m, Op op) {
  RealMatrix result(m.Rows(), m.Cols());
  const double* a = m.data();
  double* r = result.data();
  const std::int64_t n = m.Size();
  for (std::int64_t k = 0; k < n; ++k) r[k] = op(a[k]);
  return result;
}

}  // namespace

struct RealMatrix::Storage {
  double* array;
  std::int32_t count;
};

RealMatrix::RealMatrix() : RealMatrix(1, 1) {
  elements_[0] = 0.0;
}

RealMatrix::RealMatrix(std::int32_t rows, std::int32_t cols) : rows_(rows), cols_(cols) {
  elements_ = allocateElements(static_cast<std::int64_t>(rows) * cols);
  storage_ = new (std::nothrow) Storage{elements_, 1};
  if (!storage_) {
    delete[] elements_;
    throw OutOfMemoryException(kOutOfMemory);
  }
}

RealMatrix::RealMatrix(std::int32_t rows, std::int32_t cols, const double* values) : RealMatrix() {
  if (rows <= 0 || cols <= 0)
    throw IllegalMatrixSizeException("RealMatrix::RealMatrix: Matrix sizes must be positive!");
  RealMatrix fresh(rows, cols);
  std::copy(values, values + fresh.Size(), fresh.elements_);
  *this = fresh;
}

RealMatrix::RealMatrix(const RealMatrix& other) noexcept
    : storage_(other.storage_), rows_(other.rows_), cols_(other.cols_), elements_(other.elements_) {
  ++storage_->count;
}

RealMatrix& RealMatrix::operator=(const RealMatrix& other) noexcept {
  ++other.storage_->count;  // first, so assigning a matrix to itself never frees its block
  release();
  storage_ = other.storage_;
  rows_ = other.rows_;
  cols_ = other.cols_;
  elements_ = other.elements_;
  return *this;
}

RealMatrix::~RealMatrix() {
  release();
}

void RealMatrix::release() noexcept {
  if (--storage_->count == 0) {
    delete[] storage_->array;
    delete storage_;
  }
}

void RealMatrix::MakeUnique() {
  if (storage_->count == 1) return;
  const std::int64_t n = Size();
  double* fresh = allocateElements(n);
  Storage* block = new (std::nothrow) Storage{fresh, 1};
  if (!block) {
    delete[] fresh;
    throw OutOfMemoryException(kOutOfMemory);
  }
  std::copy(elements_, elements_ + n, fresh);
  --storage_->count;
  storage_ = block;
  elements_ = fresh;
}

bool RealMatrix::isShared() const {
  return storage_->count > 1;
}

RealMatrix RealMatrix::operator()(R r1, R r2) const {
  if (!resolveRange(r1.first, r1.last, rows_))
    throw BadRangeException("RealMatrix RealMatrix::operator()(R r1, R r2): bad r1");
  if (!resolveRange(r2.first, r2.last, cols_))
    throw BadRangeException("RealMatrix RealMatrix::operator()(R r1, R r2): bad r2");
  const std::int32_t rows = r1.last - r1.first + 1;
  const std::int32_t cols = r2.last - r2.first + 1;
  RealMatrix result(rows, cols);
  double* out = result.elements_;
  for (std::int32_t i = 0; i < rows; ++i) {
    const double* src = elements_ + index(r1.first + i, r2.first);
    std::copy(src, src + cols, out + static_cast<std::int64_t>(i) * cols);
  }
  return result;
}

MatrixView RealMatrix::operator()(LR r1, LR r2) {
  if (!resolveRange(r1.first, r1.last, rows_))
    throw BadRangeException("MatrixView RealMatrix::operator()(LR r1, LR r2): bad r1");
  if (!resolveRange(r2.first, r2.last, cols_))
    throw BadRangeException("MatrixView RealMatrix::operator()(LR r1, LR r2): bad r2");
  return MatrixView(this, r1.first, r1.last, r2.first, r2.last);
}

MatrixView& MatrixView::operator=(double x) {
  double* e = matrix_->data();
  const std::int64_t cols = matrix_->Cols();
  for (std::int32_t i = rowFirst_; i <= rowLast_; ++i)
    std::fill(e + i * cols + colFirst_, e + i * cols + colLast_ + 1, x);
  return *this;
}

RealMatrix& RealMatrix::operator*=(double x) {
  double* e = data();
  const std::int64_t n = Size();
  for (std::int64_t k = 0; k < n; ++k) e[k] *= x;
  return *this;
}

RealMatrix& RealMatrix::operator/=(double x) {
  double* e = data();
  const std::int64_t n = Size();
  for (std::int64_t k = 0; k < n; ++k) e[k] /= x;
  return *this;
}

RealMatrix operator*(const RealMatrix& m1, const RealMatrix& m2) {
  if (m1.Cols() != m2.Rows())
    throw IllegalMatrixSizeException(
        "RealMatrix operator*(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each "
        "other!");
  const std::int32_t rows = m1.Rows(), inner = m1.Cols(), cols = m2.Cols();
  RealMatrix result = Zeros(rows, cols);
  const double* a = m1.data();
  const double* b = m2.data();
  double* r = result.data();
  // i-k-j order: the innermost loop runs along contiguous rows of m2 and of the result, and
  // each element's sum still runs over k in index order.
  for (std::int32_t i = 0; i < rows; ++i) {
    double* ri = r + static_cast<std::int64_t>(i) * cols;
    const double* ai = a + static_cast<std::int64_t>(i) * inner;
    for (std::int32_t k = 0; k < inner; ++k) {
      const double aik = ai[k];
      const double* bk = b + static_cast<std::int64_t>(k) * cols;
      for (std::int32_t j = 0; j < cols; ++j) ri[j] += aik * bk[j];
    }
  }
  return result;
}

RealMatrix operator-(const RealMatrix& m1, const RealMatrix& m2) {
  return elementWise(
      m1, m2,
      "RealMatrix operator-(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each "
      "other!",
      [](double a, double b) { return a - b; });
}

RealMatrix operator+(const RealMatrix& m1, const RealMatrix& m2) {
  return elementWise(
      m1, m2,
      "RealMatrix operator+(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each "
      "other!",
      [](double a, double b) { return a + b; });
}

RealMatrix operator/(const RealMatrix& m1, const RealMatrix& m2) {
  return elementWise(
      m1, m2,
      "RealMatrix operator/(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each "
      "other!",
      [](double a, double b) { return a / b; });
}

RealMatrix ArrayMult(const RealMatrix& m1, const RealMatrix& m2) {
  return elementWise(
      m1, m2,
      "RealMatrix ArrayMult(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each "
      "other!",
      [](double a, double b) { return a * b; });
}

RealMatrix operator-(const RealMatrix& m, double x) {
  return withScalar(m, [x](double a) { return a - x; });
}

RealMatrix operator/(const RealMatrix& m, double x) {
  return withScalar(m, [x](double a) { return a / x; });
}

double Max(const RealMatrix& m) {
  requirePositive(m, "double Max(RealMatrix& m): m sizes must be positive!");
  return *std::max_element(m.data(), m.data() + m.Size());
}

double Min(const RealMatrix& m) {
  requirePositive(m, "double Min(RealMatrix& m): m sizes must be positive!");
  return *std::min_element(m.data(), m.data() + m.Size());
}

double Sum(const RealMatrix& m) {
  double s = 0.0;
  const double* e = m.data();
  const std::int64_t n = m.Size();
  for (std::int64_t k = 0; k < n; ++k) s += e[k];
  return s;
}

double Mean(const RealMatrix& m) {
  const std::int64_t n = m.Size();
  return n > 0 ? Sum(m) / static_cast<double>(n) : 0.0;
}

double Std(const RealMatrix& m) {
  const std::int64_t n = m.Size();
  if (n < 2) return 0.0;
  const double mean = Mean(m);
  const double* e = m.data();
  double s = 0.0;
  for (std::int64_t k = 0; k < n; ++k) s += (e[k] - mean) * (e[k] - mean);
  return std::sqrt(s / static_cast<double>(n - 1));
}

RealMatrix Transp(const RealMatrix& m) {
  requirePositive(m, "RealMatrix Transp(RealMatrix& m): m sizes must be positive!");
  const std::int32_t rows = m.Rows(), cols = m.Cols();
  RealMatrix result(cols, rows);
  const double* a = m.data();
  double* r = result.data();
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < cols; ++j)
      r[static_cast<std::int64_t>(j) * rows + i] = a[static_cast<std::int64_t>(i) * cols + j];
  return result;
}

RealMatrix ColMean(const RealMatrix& m) {
  requirePositive(m, "RealMatrix ColMean(RealMatrix& m): m sizes must be positive!");
  const std::int32_t rows = m.Rows(), cols = m.Cols();
  RealMatrix result = Zeros(1, cols);
  double* mu = result.data();
  const double* a = m.data();
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < cols; ++j) mu[j] += a[static_cast<std::int64_t>(i) * cols + j];
  for (std::int32_t j = 0; j < cols; ++j) mu[j] /= rows;
  return result;
}

RealMatrix ColStd(const RealMatrix& m) {
  requirePositive(m, "RealMatrix ColStd(RealMatrix& m): m sizes must be positive!");
  const std::int32_t rows = m.Rows(), cols = m.Cols();
  RealMatrix result = Zeros(1, cols);
  if (rows < 2) return result;
  const RealMatrix mean = ColMean(m);
  const double* mu = mean.data();
  double* sd = result.data();
  const double* a = m.data();
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < cols; ++j) {
      const double d = a[static_cast<std::int64_t>(i) * cols + j] - mu[j];
      sd[j] += d * d;
    }
  for (std::int32_t j = 0; j < cols; ++j) sd[j] = std::sqrt(sd[j] / (rows - 1));
  return result;
}

namespace {

// Rows of centred data per panel: the rows a tile of the covariance reads (its own columns and
// those of its partner) then stay in the first-level cache while the tile runs over them.
constexpr std::int32_t kCovPanelRows = 128;

// c[i][j] += Σ_{k ascending} x[k][i]·x[k][j] over the `rows` rows of the panel x (rows × n,
// row-major) for every j ≤ i, in tiles of I rows of c by J vectors of its columns whose sums stay
// in registers across the panel. Each element still adds its products one row after the other,
// as the plain loop does; tiles that straddle the diagonal also fill some elements above it,
// which the caller overwrites by mirroring.
template <class V, int I, int J>
struct CovariancePanel {
  static constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(double));
  static constexpr int kWidth = J * kLanes;

  LUMIVANE_SIMD_INLINE static V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  LUMIVANE_SIMD_INLINE static void store(double* p, const V& v) { std::memcpy(p, &v, sizeof v); }

  template <int Rows>
  LUMIVANE_SIMD_INLINE static void tile(const double* x, std::int32_t rows, std::int32_t n, std::int32_t i0,
                                        std::int32_t j0, double* c) {
    V acc[Rows][J];
    for (int r = 0; r < Rows; ++r)
      for (int v = 0; v < J; ++v)
        acc[r][v] = load(c + static_cast<std::int64_t>(i0 + r) * n + j0 + v * kLanes);
    for (std::int32_t k = 0; k < rows; ++k) {
      const double* xk = x + static_cast<std::int64_t>(k) * n;
      V xj[J];
      for (int v = 0; v < J; ++v) xj[v] = load(xk + j0 + v * kLanes);
      for (int r = 0; r < Rows; ++r) {
        const double xi = xk[i0 + r];
        for (int v = 0; v < J; ++v) acc[r][v] += xi * xj[v];
      }
    }
    for (int r = 0; r < Rows; ++r)
      for (int v = 0; v < J; ++v)
        store(c + static_cast<std::int64_t>(i0 + r) * n + j0 + v * kLanes, acc[r][v]);
  }

  // One element the plain way: the edges the tiles do not cover.
  LUMIVANE_SIMD_INLINE static void element(const double* x, std::int32_t rows, std::int32_t n, std::int32_t i,
                                           std::int32_t j, double* c) {
    double s = c[static_cast<std::int64_t>(i) * n + j];
    for (std::int32_t k = 0; k < rows; ++k) {
      const double* xk = x + static_cast<std::int64_t>(k) * n;
      s += xk[i] * xk[j];
    }
    c[static_cast<std::int64_t>(i) * n + j] = s;
  }

  // Rows i0 … i0 + Rows − 1 of the lower triangle: whole tiles while they fit, then the elements
  // left of the diagonal one by one.
  template <int Rows>
  LUMIVANE_SIMD_INLINE static void rowBlock(const double* x, std::int32_t rows, std::int32_t n,
                                            std::int32_t i0, double* c) {
    std::int32_t j0 = 0;
    for (; j0 <= i0 + Rows - 1 && j0 + kWidth <= n; j0 += kWidth) tile<Rows>(x, rows, n, i0, j0, c);
    for (std::int32_t i = i0; i < i0 + Rows; ++i)
      for (std::int32_t j = j0; j <= i; ++j) element(x, rows, n, i, j, c);
  }

  LUMIVANE_SIMD_INLINE static void run(const double* x, std::int32_t rows, std::int32_t n, double* c) {
    std::int32_t i0 = 0;
    for (; i0 + I <= n; i0 += I) rowBlock<I>(x, rows, n, i0, c);
    for (; i0 < n; ++i0) rowBlock<1>(x, rows, n, i0, c);
  }
};

// Twelve sums in registers: 6 rows by 8 columns at four lanes, by 16 at eight.
using NarrowCovariancePanel = CovariancePanel<simd::Double4, 6, 2>;
using WideCovariancePanel = CovariancePanel<simd_wide::Double8, 6, 2>;

}  // namespace

RealMatrix Cov(const RealMatrix& m) {
  requirePositive(m, "RealMatrix Cov(RealMatrix& m): m sizes must be positive!");
  const std::int32_t rows = m.Rows(), n = m.Cols();
  RealMatrix result = Zeros(n, n);
  if (rows < 2) return result;
  const RealMatrix mean = ColMean(m);
  const double* mu = mean.data();
  const double* a = m.data();
  double* c = result.data();
  std::vector<double> centred;
  try {
    centred.resize(static_cast<std::size_t>(std::min(rows, kCovPanelRows)) * static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kOutOfMemory);
  }
  // Lower triangle accumulated over the rows of the data in order, a panel of centred rows at a
  // time, then divided and mirrored.
  for (std::int32_t k0 = 0; k0 < rows; k0 += kCovPanelRows) {
    const std::int32_t panel = std::min(kCovPanelRows, rows - k0);
    for (std::int32_t k = 0; k < panel; ++k) {
      const double* xk = a + static_cast<std::int64_t>(k0 + k) * n;
      double* ck = centred.data() + static_cast<std::int64_t>(k) * n;
      for (std::int32_t j = 0; j < n; ++j) ck[j] = xk[j] - mu[j];
    }
    simd_wide::run<NarrowCovariancePanel, WideCovariancePanel>(static_cast<const double*>(centred.data()),
                                                               panel, n, c);
  }
  const double divisor = rows - 1;
  for (std::int32_t i = 0; i < n; ++i)
    for (std::int32_t j = 0; j <= i; ++j) {
      const double v = c[static_cast<std::int64_t>(i) * n + j] / divisor;
      c[static_cast<std::int64_t>(i) * n + j] = v;
      c[static_cast<std::int64_t>(j) * n + i] = v;
    }
  return result;
}

RealMatrix Zeros(std::int32_t r, std::int32_t c) {
  RealMatrix result(r, c);
  std::fill(result.data(), result.data() + result.Size(), 0.0);
  return result;
}

RealMatrix Ones(std::int32_t r, std::int32_t c) {
  RealMatrix result(r, c);
  std::fill(result.data(), result.data() + result.Size(), 1.0);
  return result;
}

RealMatrix HorJoin(const RealMatrix& m1, const RealMatrix& m2) {
  if (m1.Rows() != m2.Rows())
    throw IllegalMatrixSizeException(
        "RealMatrix HorJoin(RealMatrix& m1, RealMatrix &m2): m1.Rows() is not equal to m2.Rows()");
  const std::int32_t rows = m1.Rows(), c1 = m1.Cols(), c2 = m2.Cols();
  RealMatrix result(rows, c1 + c2);
  double* r = result.data();
  for (std::int32_t i = 0; i < rows; ++i) {
    const double* a = m1.data() + static_cast<std::int64_t>(i) * c1;
    const double* b = m2.data() + static_cast<std::int64_t>(i) * c2;
    double* out = r + static_cast<std::int64_t>(i) * (c1 + c2);
    std::copy(a, a + c1, out);
    std::copy(b, b + c2, out + c1);
  }
  return result;
}

RealMatrix VertJoin(const RealMatrix& m1, const RealMatrix& m2) {
  if (m1.Cols() != m2.Cols())
    throw IllegalMatrixSizeException(
        "RealMatrix VertJoin(RealMatrix& m1, RealMatrix &m2): m1.Cols() is not equal to m2.Cols()");
  RealMatrix result(m1.Rows() + m2.Rows(), m1.Cols());
  double* r = result.data();
  std::copy(m1.data(), m1.data() + m1.Size(), r);
  std::copy(m2.data(), m2.data() + m2.Size(), r + m1.Size());
  return result;
}

RealMatrix SolveSVD(const RealMatrix& A, const RealMatrix& Y, double thresh) {
  if (A.Rows() != Y.Rows())
    throw IllegalMatrixSizeException(
        "RealMatrix SolveSVD(RealMatrix& A, RealMatrix& Y, double thresh): A.Rows() != Y.Rows()");
  const std::int32_t m = A.Rows(), n = A.Cols(), targets = Y.Cols();
  SvdDecomposition svd(m, n, false);
  if (!svd.ready()) throw OutOfMemoryException(kOutOfMemory);
  std::copy(A.data(), A.data() + A.Size(), svd.a());
  svd.decompose();
  RealMatrix X(n, targets);
  double* x = X.data();
  std::vector<double> column(static_cast<std::size_t>(n));
  const double* y = Y.data();
  for (std::int32_t c = 0; c < targets; ++c) {
    double* b = svd.b();
    for (std::int32_t i = 0; i < m; ++i) b[i] = y[static_cast<std::int64_t>(i) * targets + c];
    svd.backSubstitute(thresh, column.data());
    for (std::int32_t j = 0; j < n; ++j) x[static_cast<std::int64_t>(j) * targets + c] = column[j];
  }
  return X;
}

namespace {

// Ascending quicksort of values[lo..hi] carrying index along. Equal values end in no defined
// order. Both cursors advance after every exchange (or non-exchange of equal values), so runs of
// values equal to the pivot always terminate; recursion goes to the smaller side.
void quickSort(double* values, std::int32_t* index, std::int32_t lo, std::int32_t hi) {
  while (lo < hi) {
    const double pivot = values[(lo + hi) / 2];
    std::int32_t i = lo, j = hi;
    while (i <= j) {
      while (values[i] < pivot) ++i;
      while (values[j] > pivot) --j;
      if (i <= j) {
        if (values[i] != values[j]) {
          std::swap(values[i], values[j]);
          std::swap(index[i], index[j]);
        }
        ++i;
        --j;
      }
    }
    if (j - lo < hi - i) {
      quickSort(values, index, lo, j);
      lo = i;
    } else {
      quickSort(values, index, i, hi);
      hi = j;
    }
  }
}

}  // namespace

void PrincipalComponents(RealMatrix& values, RealMatrix& vectors, RealMatrix& projections,
                         const RealMatrix& X, bool project) {
  const RealMatrix C = Cov(X);
  const std::int32_t n = C.Rows();
  SvdDecomposition svd(n, n, true);
  if (!svd.ready()) throw OutOfMemoryException(kOutOfMemory);
  std::copy(C.data(), C.data() + C.Size(), svd.a());
  svd.decompose();

  // Sort descending: negate, sort ascending, negate back.
  std::vector<double> sorted(svd.w(), svd.w() + n);
  std::vector<std::int32_t> order(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) {
    order[k] = k;
    sorted[k] = -sorted[k];
  }
  quickSort(sorted.data(), order.data(), 0, n - 1);

  RealMatrix vals(n, 1);
  RealMatrix vecs(n, n);
  double* pv = vals.data();
  double* pe = vecs.data();
  const double* u = svd.u();
  for (std::int32_t k = 0; k < n; ++k) pv[k] = -sorted[k];
  for (std::int32_t r = 0; r < n; ++r)
    for (std::int32_t k = 0; k < n; ++k)
      pe[static_cast<std::int64_t>(r) * n + k] = u[static_cast<std::int64_t>(r) * n + order[k]];
  values = vals;
  vectors = vecs;
  if (project) projections = X * vecs;
}
