#pragma once

#include <cstdint>

#include "shared/exceptions.h"

// Inclusive index range (first, last). A single index i means (i, i); (-1, -1) means the whole
// extent. R selects a block to copy out of a matrix.
struct R {
  std::int32_t first;
  std::int32_t last;
  R(std::int32_t i) : first(i), last(i) {}  // NOLINT: a single index is a range by design
  R(std::int32_t a, std::int32_t b) : first(a), last(b) {}
};

// Like R, but selects a block to write through a MatrixView.
struct LR {
  std::int32_t first;
  std::int32_t last;
  LR(std::int32_t i) : first(i), last(i) {}  // NOLINT
  LR(std::int32_t a, std::int32_t b) : first(a), last(b) {}
};

class RealMatrix;

// A writable reference to a rectangular block of a matrix (inclusive, resolved indices). It
// does not own the matrix and is valid only while the matrix lives.
class MatrixView {
 public:
  MatrixView(RealMatrix* m, std::int32_t rowFirst, std::int32_t rowLast, std::int32_t colFirst,
             std::int32_t colLast)
      : matrix_(m), rowFirst_(rowFirst), rowLast_(rowLast), colFirst_(colFirst), colLast_(colLast) {}

  // Makes the matrix's storage its own, then sets every element of the block to x.
  MatrixView& operator=(double x);

  std::int32_t rowFirst() const { return rowFirst_; }
  std::int32_t rowLast() const { return rowLast_; }
  std::int32_t colFirst() const { return colFirst_; }
  std::int32_t colLast() const { return colLast_; }

 private:
  RealMatrix* matrix_;
  std::int32_t rowFirst_, rowLast_, colFirst_, colLast_;
};

// A rows × cols matrix of doubles, row-major with 0-based indices, with value semantics over
// shared copy-on-write storage: copies share the block and its reference count; every write
// first makes the storage unique (MakeUnique). The count is not atomic: a matrix and the
// matrices sharing its storage belong to one thread at a time.
class RealMatrix {
 public:
  // A 1 × 1 matrix holding 0.0 (never an empty matrix).
  RealMatrix();
  // Allocates without initialising the elements and without checking the sizes.
  RealMatrix(std::int32_t rows, std::int32_t cols);
  // Copies rows × cols values in row-major order; rows and cols must be positive
  // (IllegalMatrixSizeException).
  RealMatrix(std::int32_t rows, std::int32_t cols, const double* values);

  RealMatrix(const RealMatrix& other) noexcept;
  RealMatrix& operator=(const RealMatrix& other) noexcept;
  ~RealMatrix();

  std::int32_t Rows() const { return rows_; }
  std::int32_t Cols() const { return cols_; }
  std::int64_t Size() const { return static_cast<std::int64_t>(rows_) * cols_; }

  // Element (i, j), no bounds checks. The non-const form makes the storage unique first.
  double operator()(std::int32_t i, std::int32_t j) const { return elements_[index(i, j)]; }
  double& operator()(std::int32_t i, std::int32_t j) {
    MakeUnique();
    return elements_[index(i, j)];
  }
  // Direct pointer to the first element; the writable form makes the storage unique first.
  const double* data() const { return elements_; }
  double* data() {
    MakeUnique();
    return elements_;
  }

  // Copy of the block rows r1 × columns r2 (BadRangeException naming r1 or r2).
  RealMatrix operator()(R r1, R r2) const;
  // Writable view of the block rows r1 × columns r2 (BadRangeException naming r1 or r2).
  MatrixView operator()(LR r1, LR r2);

  // Every element times x, in place.
  RealMatrix& operator*=(double x);
  // Every element divided by x, in place.
  RealMatrix& operator/=(double x);

  // Gives this matrix storage of its own (count 1). On allocation failure the matrix keeps its
  // old block and count and OutOfMemoryException "Out of memory" is thrown.
  void MakeUnique();

  // True when this matrix shares its storage with another (for tests of copy-on-write).
  bool isShared() const;

 private:
  struct Storage;

  std::int64_t index(std::int32_t i, std::int32_t j) const {
    return static_cast<std::int64_t>(i) * cols_ + j;
  }
  void release() noexcept;

  Storage* storage_;
  std::int32_t rows_;
  std::int32_t cols_;
  double* elements_;  // always storage_->array
};

// Element-wise and matrix arithmetic. Size checks come first (IllegalMatrixSizeException with
// the operation's own message); results live in fresh storage.
RealMatrix operator*(const RealMatrix& m1, const RealMatrix& m2);
RealMatrix operator-(const RealMatrix& m1, const RealMatrix& m2);
RealMatrix operator+(const RealMatrix& m1, const RealMatrix& m2);
RealMatrix operator/(const RealMatrix& m1, const RealMatrix& m2);
RealMatrix ArrayMult(const RealMatrix& m1, const RealMatrix& m2);
RealMatrix operator-(const RealMatrix& m, double x);
RealMatrix operator/(const RealMatrix& m, double x);

// Whole-matrix reductions; sums run row-major.
double Max(const RealMatrix& m);
double Min(const RealMatrix& m);
double Sum(const RealMatrix& m);   // 0.0 when empty
double Mean(const RealMatrix& m);  // Sum / count
double Std(const RealMatrix& m);   // divisor count − 1; 0.0 when count < 2

RealMatrix Transp(const RealMatrix& m);
// 1 × cols row of column means.
RealMatrix ColMean(const RealMatrix& m);
// 1 × cols row of column standard deviations, divisor rows − 1; zeros when rows < 2.
RealMatrix ColStd(const RealMatrix& m);
// cols × cols covariance Xcᵀ·Xc / (rows − 1) of the centred columns; zeros when rows < 2.
RealMatrix Cov(const RealMatrix& m);

RealMatrix Zeros(std::int32_t r, std::int32_t c);
RealMatrix Ones(std::int32_t r, std::int32_t c);
// [m1 | m2] (rows must match) and [m1 ; m2] (columns must match).
RealMatrix HorJoin(const RealMatrix& m1, const RealMatrix& m2);
RealMatrix VertJoin(const RealMatrix& m1, const RealMatrix& m2);

// X (A.cols × Y.cols) minimising ‖A·X − Y‖ column by column through one SVD of A; singular
// values not above thresh × wmax contribute nothing. A.rows < A.cols is reported as
// OutOfMemoryException "Out of memory", as every decomposition set-up failure.
RealMatrix SolveSVD(const RealMatrix& A, const RealMatrix& Y, double thresh);

// Principal components of the columns of X: values (n × 1, descending), vectors (n × n,
// column k belongs to values[k]) and, when project is set, projections = X · vectors (X is
// not centred). The outputs may not alias X.
void PrincipalComponents(RealMatrix& values, RealMatrix& vectors, RealMatrix& projections,
                         const RealMatrix& X, bool project);
