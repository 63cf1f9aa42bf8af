#include "shared/svd.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <random>

#include "shared/real_matrix.h"

namespace {

RealMatrix randomMatrix(std::int32_t rows, std::int32_t cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  RealMatrix m(rows, cols);
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < cols; ++j) m(i, j) = dist(gen);
  return m;
}

Eigen::MatrixXd toEigen(const RealMatrix& m) {
  Eigen::MatrixXd e(m.Rows(), m.Cols());
  for (int i = 0; i < m.Rows(); ++i)
    for (int j = 0; j < m.Cols(); ++j) e(i, j) = m(i, j);
  return e;
}

// Decomposes a and checks U·diag(w)·Vᵀ = A, UᵀU = I on the columns with w > 0, VᵀV = I.
void checkDecomposition(const RealMatrix& a, double tol) {
  const int m = a.Rows(), n = a.Cols();
  SvdDecomposition svd(m, n, true);
  ASSERT_TRUE(svd.ready());
  std::copy(a.data(), a.data() + a.Size(), svd.a());
  svd.decompose();
  Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>> U(svd.u(), m, n);
  Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>> V(svd.v(), n, n);
  Eigen::Map<const Eigen::VectorXd> w(svd.w(), n);
  const Eigen::MatrixXd A = toEigen(a);
  const double scale = std::max(1.0, A.norm());
  EXPECT_LE((U * w.asDiagonal() * V.transpose() - A).norm(), tol * scale);
  EXPECT_LE((V.transpose() * V - Eigen::MatrixXd::Identity(n, n)).norm(), tol * n);
  EXPECT_GE(w.minCoeff(), 0.0);
  const double wmax = w.maxCoeff();
  for (int i = 0; i < n; ++i) {
    if (w(i) <= 1e-12 * wmax) continue;  // U's column for a zero value is arbitrary
    for (int j = 0; j < n; ++j) {
      if (w(j) <= 1e-12 * wmax) continue;
      EXPECT_NEAR(U.col(i).dot(U.col(j)), i == j ? 1.0 : 0.0, tol * n) << i << "," << j;
    }
  }
  // Same values as an independent method.
  Eigen::VectorXd mine = w;
  std::sort(mine.data(), mine.data() + n, std::greater<double>());
  Eigen::VectorXd ref = Eigen::JacobiSVD<Eigen::MatrixXd>(A).singularValues();
  EXPECT_LE((mine - ref).norm(), tol * std::max(1.0, ref(0)) * n);
}

TEST(SvdDecomposition, ReproducesRandomRectangularMatrices) {
  checkDecomposition(randomMatrix(7, 4, 1), 1e-12);
  checkDecomposition(randomMatrix(30, 30, 2), 1e-12);
  checkDecomposition(randomMatrix(1, 1, 3), 1e-14);
  checkDecomposition(randomMatrix(5, 1, 4), 1e-14);
}

TEST(SvdDecomposition, ReproducesRankDeficientMatrices) {
  // Rank 2 in a 6 × 4 matrix; and a matrix with an exactly zero column.
  RealMatrix l = randomMatrix(6, 2, 5), r = randomMatrix(2, 4, 6);
  checkDecomposition(l * r, 1e-12);
  RealMatrix z = randomMatrix(5, 3, 7);
  z(LR(-1, -1), LR(1)) = 0.0;
  checkDecomposition(z, 1e-12);
  checkDecomposition(Zeros(3, 3), 1e-14);
}

TEST(SvdDecomposition, ReproducesALarge200By200Matrix) {
  checkDecomposition(randomMatrix(200, 200, 8), 1e-10);
}

TEST(SvdDecomposition, RefusesFewerRowsThanColumns) {
  SvdDecomposition svd(2, 3, false);
  EXPECT_FALSE(svd.ready());
  EXPECT_EQ(svd.m(), 0);
  EXPECT_EQ(svd.n(), 0);
}

TEST(Pythag, AvoidsOverflowAndHandlesZero) {
  EXPECT_DOUBLE_EQ(Pythag(3, 4), 5.0);
  EXPECT_DOUBLE_EQ(Pythag(-4, 3), 5.0);
  EXPECT_EQ(Pythag(0, 0), 0.0);
  EXPECT_DOUBLE_EQ(Pythag(1e300, 1e300), std::sqrt(2.0) * 1e300);
}

TEST(SolveSVD, MatchesNormalEquationsOnAWellConditionedSystem) {
  RealMatrix A = randomMatrix(40, 5, 9);
  RealMatrix Y = randomMatrix(40, 3, 10);
  RealMatrix X = SolveSVD(A, Y, 0.0);
  ASSERT_EQ(X.Rows(), 5);
  ASSERT_EQ(X.Cols(), 3);
  const Eigen::MatrixXd a = toEigen(A);
  const Eigen::MatrixXd ref = (a.transpose() * a).llt().solve(a.transpose() * toEigen(Y));
  EXPECT_LE((toEigen(X) - ref).norm(), 1e-10 * ref.norm());
}

TEST(SolveSVD, DropsSingularValuesAtOrBelowTheThreshold) {
  // A = diag(4, 1) padded with a zero row; y = (4, 1, 0). With thresh 0.25 the value 1 equals
  // thresh·wmax and is dropped: x = (1, 0). Just below, it is kept: x = (1, 1).
  const double a[] = {4, 0, 0, 1, 0, 0};
  const double y[] = {4, 1, 0};
  RealMatrix A(3, 2, a), Y(3, 1, y);
  RealMatrix dropped = SolveSVD(A, Y, 0.25);
  EXPECT_NEAR(dropped(0, 0), 1.0, 1e-15);
  EXPECT_EQ(dropped(1, 0), 0.0);
  RealMatrix kept = SolveSVD(A, Y, 0.2499);
  EXPECT_NEAR(kept(1, 0), 1.0, 1e-15);
}

TEST(SolveSVD, ReportsMismatchAndUnderdeterminedSystems) {
  RealMatrix A(3, 2), Y(4, 1);
  try {
    (void)SolveSVD(A, Y, 0.0);
    FAIL();
  } catch (const IllegalMatrixSizeException& e) {
    EXPECT_STREQ(e.what(),
                 "RealMatrix SolveSVD(RealMatrix& A, RealMatrix& Y, double thresh): A.Rows() != Y.Rows()");
  }
  try {
    (void)SolveSVD(RealMatrix(2, 3), RealMatrix(2, 1), 0.0);
    FAIL();
  } catch (const OutOfMemoryException& e) {
    EXPECT_STREQ(e.what(), "Out of memory");
  }
}

TEST(PrincipalComponents, EigenpairsOfTheCovarianceSortedDescending) {
  // Correlated data: columns mixed from independent sources of different scale.
  RealMatrix src = randomMatrix(300, 6, 11);
  for (int i = 0; i < 300; ++i)
    for (int j = 0; j < 6; ++j) src(i, j) *= (j + 1);
  RealMatrix X = src * randomMatrix(6, 6, 12);
  RealMatrix values, vectors, projections;
  PrincipalComponents(values, vectors, projections, X, true);
  const Eigen::MatrixXd C = toEigen(Cov(X));
  ASSERT_EQ(values.Rows(), 6);
  ASSERT_EQ(values.Cols(), 1);
  for (int k = 0; k < 6; ++k) {
    if (k > 0) {
      EXPECT_GE(values(k - 1, 0), values(k, 0));
    }
    Eigen::VectorXd v(6);
    for (int r = 0; r < 6; ++r) v(r) = vectors(r, k);
    EXPECT_NEAR(v.norm(), 1.0, 1e-12);
    EXPECT_LE((C * v - values(k, 0) * v).norm(), 1e-10 * values(0, 0)) << "component " << k;
  }
  const Eigen::MatrixXd P = toEigen(X) * toEigen(vectors);
  EXPECT_LE((toEigen(projections) - P).norm(), 1e-12 * P.norm());
  // The same values as a symmetric eigen-solver.
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(C);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(values(k, 0), es.eigenvalues()(5 - k), 1e-10 * values(0, 0));
}

TEST(PrincipalComponents, IdenticalColumnsGiveOneValueThenZeros) {
  RealMatrix X(50, 4);
  RealMatrix base = randomMatrix(50, 1, 13);
  for (int i = 0; i < 50; ++i)
    for (int j = 0; j < 4; ++j) X(i, j) = base(i, 0);
  RealMatrix values, vectors, projections;
  PrincipalComponents(values, vectors, projections, X, false);
  EXPECT_NEAR(values(0, 0), 4.0 * Cov(base)(0, 0), 1e-12);
  for (int k = 1; k < 4; ++k) EXPECT_NEAR(values(k, 0), 0.0, 1e-12);
  for (int r = 0; r < 4; ++r) EXPECT_NEAR(std::fabs(vectors(r, 0)), 0.5, 1e-12);
}

TEST(PrincipalComponents, EqualValuesStillSortAndTerminate) {
  // Uncorrelated columns of equal variance: every value is the same, in any order.
  const double v[] = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
  RealMatrix X(6, 3, v);
  RealMatrix values, vectors, projections;
  PrincipalComponents(values, vectors, projections, X, false);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(values(k, 0), 0.4, 1e-15);
}

}  // namespace
