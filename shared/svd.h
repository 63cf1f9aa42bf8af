#pragma once

#include <cstdint>
#include <vector>

// Workspace for the singular value decomposition A = U·diag(w)·Vᵀ of an m × n matrix, m ≥ n,
// by Householder bidiagonalisation and implicit-shift QR (Golub–Kahan–Reinsch). Local to one
// operation: set up once, fill a() (and b()), decompose once, back-substitute any number of
// right-hand sides without further allocation.
class SvdDecomposition {
 public:
  // Obtains every array; on m < n or an allocation failure, ready() is false and m = n = 0
  // (callers then throw OutOfMemoryException "Out of memory"). keepCopy keeps a intact and
  // writes U into a separate array.
  SvdDecomposition(std::int32_t m, std::int32_t n, bool keepCopy);

  bool ready() const { return ready_; }
  std::int32_t m() const { return m_; }
  std::int32_t n() const { return n_; }

  // The matrix to decompose, m × n row-major, filled by the caller.
  double* a() { return a_.data(); }
  // The right-hand side for backSubstitute, m doubles, filled by the caller.
  double* b() { return b_.data(); }

  // Decomposes a. Afterwards u() is U (m × n row-major, column k belongs to w[k]), w() the
  // unsorted non-negative singular values and v() is V (n × n row-major). A value whose QR
  // iteration does not converge in 100 sweeps keeps its last estimate; no error is raised.
  void decompose();

  const double* u() const { return keepCopy_ ? u_.data() : a_.data(); }
  const double* w() const { return w_.data(); }
  const double* v() const { return v_.data(); }

  // x (n doubles) := V · diag(1/w) · Uᵀ · b, where singular values not above thresh × wmax
  // (or 1e-30 when that is not positive) contribute nothing.
  void backSubstitute(double thresh, double* x);

 private:
  void bidiagonalise(double* ut, double& anorm);
  void accumulateRight(const double* ut);
  void accumulateLeft(double* ut);
  void diagonalise(double* ut, double anorm);

  bool ready_ = false;
  bool keepCopy_ = false;
  std::int32_t m_ = 0;
  std::int32_t n_ = 0;
  std::vector<double> a_, u_, w_, v_, b_, rv1_;
  // Uᵀ and Vᵀ while decomposing: the rotations and Householder updates then run along
  // contiguous rows instead of strided columns.
  std::vector<double> ut_, vt_, scratch_;
};

// sqrt(a² + b²) without destructive overflow or underflow.
double Pythag(double a, double b);
