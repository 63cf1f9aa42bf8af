#include "shared/real_matrix.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "shared/simd.h"
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

RealMatrix Cov(const RealMatrix& m) {
  requirePositive(m, "RealMatrix Cov(RealMatrix& m): m sizes must be positive!");
  const std::int32_t rows = m.Rows(), n = m.Cols();
  RealMatrix result = Zeros(n, n);
  if (rows < 2) return result;
  const RealMatrix mean = ColMean(m);
  const double* mu = mean.data();
  const double* a = m.data();
  double* c = result.data();
  std::vector<double> centred(static_cast<std::size_t>(n));
  // Lower triangle accumulated row by row of the data (each sum still runs over k in order),
  // then divided and mirrored.
  for (std::int32_t k = 0; k < rows; ++k) {
    const double* xk = a + static_cast<std::int64_t>(k) * n;
    for (std::int32_t j = 0; j < n; ++j) centred[j] = xk[j] - mu[j];
    for (std::int32_t i = 0; i < n; ++i)
      simd::axpy(c + static_cast<std::int64_t>(i) * n, centred[i], centred.data(), i + 1);
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
