#include "shared/real_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

RealMatrix make(std::int32_t rows, std::int32_t cols, std::initializer_list<double> v) {
  return RealMatrix(rows, cols, v.begin());
}

template <typename E, typename F>
void expectThrowWith(F f, const std::string& message) {
  try {
    f();
    FAIL() << "no exception, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

TEST(RealMatrixStorage, DefaultIsOneByOneZero) {
  RealMatrix m;
  EXPECT_EQ(m.Rows(), 1);
  EXPECT_EQ(m.Cols(), 1);
  EXPECT_EQ(m(0, 0), 0.0);
}

TEST(RealMatrixStorage, CopiesShareUntilOneIsWritten) {
  RealMatrix a = make(2, 2, {1, 2, 3, 4});
  RealMatrix b = a;
  const RealMatrix& ca = a;
  EXPECT_EQ(ca.data(), static_cast<const RealMatrix&>(b).data());
  EXPECT_TRUE(a.isShared());
  b(0, 1) = 20;
  EXPECT_EQ(a(0, 1), 2.0);
  EXPECT_EQ(b(0, 1), 20.0);
  EXPECT_FALSE(a.isShared());
  EXPECT_FALSE(b.isShared());

  RealMatrix c = a;
  c *= 2.0;
  EXPECT_EQ(a(1, 1), 4.0);
  EXPECT_EQ(c(1, 1), 8.0);
  c /= 4.0;
  EXPECT_EQ(c(1, 0), 1.5);
}

TEST(RealMatrixStorage, SelfAssignmentKeepsTheElements) {
  RealMatrix a = make(1, 3, {1, 2, 3});
  RealMatrix& alias = a;
  a = alias;
  EXPECT_EQ(a(0, 2), 3.0);
  EXPECT_FALSE(a.isShared());
  RealMatrix b = a;
  b = b;
  EXPECT_TRUE(a.isShared());
  EXPECT_EQ(b(0, 0), 1.0);
}

TEST(RealMatrixStorage, ConstructorFromValuesRequiresPositiveSizes) {
  const double v[] = {1};
  expectThrowWith<IllegalMatrixSizeException>([&] { RealMatrix(0, 1, v); },
                                              "RealMatrix::RealMatrix: Matrix sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>([&] { RealMatrix(1, -2, v); },
                                              "RealMatrix::RealMatrix: Matrix sizes must be positive!");
}

TEST(RealMatrixStorage, ImpossibleAllocationReportsOutOfMemory) {
  expectThrowWith<OutOfMemoryException>([] { RealMatrix(std::numeric_limits<std::int32_t>::max(), 1 << 20); },
                                        "Out of memory");
}

TEST(RealMatrixRanges, BlockCopyResolvesWholeExtent) {
  RealMatrix m(5, 4);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) m(i, j) = 10 * i + j;
  RealMatrix b = m(R(-1, -1), R(0, 2));
  ASSERT_EQ(b.Rows(), 5);
  ASSERT_EQ(b.Cols(), 3);
  EXPECT_EQ(b(4, 2), 42.0);
  RealMatrix one = m(R(3), R(1));
  EXPECT_EQ(one.Rows(), 1);
  EXPECT_EQ(one(0, 0), 31.0);
}

TEST(RealMatrixRanges, BadRangesNameTheFirstBadOne) {
  RealMatrix m(5, 4);
  const std::string r1 = "RealMatrix RealMatrix::operator()(R r1, R r2): bad r1";
  const std::string r2 = "RealMatrix RealMatrix::operator()(R r1, R r2): bad r2";
  expectThrowWith<BadRangeException>([&] { (void)m(R(3, 2), R(0)); }, r1);
  expectThrowWith<BadRangeException>([&] { (void)m(R(5), R(9)); }, r1);  // both bad: r1 reported
  expectThrowWith<BadRangeException>([&] { (void)m(R(-1, 4), R(0)); }, r1);
  expectThrowWith<BadRangeException>([&] { (void)m(R(4), R(0, 4)); }, r2);
  EXPECT_NO_THROW((void)m(R(4), R(3)));  // last valid index on both sides
  expectThrowWith<BadRangeException>([&] { (void)m(LR(0, 5), LR(0)); },
                                     "MatrixView RealMatrix::operator()(LR r1, LR r2): bad r1");
  expectThrowWith<BadRangeException>([&] { (void)m(LR(0), LR(-2)); },
                                     "MatrixView RealMatrix::operator()(LR r1, LR r2): bad r2");
}

TEST(RealMatrixRanges, ViewFillWritesOnlyTheBlockAndUnshares) {
  RealMatrix m = Zeros(3, 3);
  RealMatrix copy = m;
  m(LR(1, 2), LR(-1, -1)) = 7.0;
  m(LR(0), LR(2)) = 5.0;
  EXPECT_EQ(m(0, 0), 0.0);
  EXPECT_EQ(m(0, 2), 5.0);
  EXPECT_EQ(m(1, 0), 7.0);
  EXPECT_EQ(m(2, 2), 7.0);
  EXPECT_EQ(Sum(copy), 0.0);
}

TEST(RealMatrixArithmetic, HandComputedResults) {
  RealMatrix a = make(2, 3, {1, 2, 3, 4, 5, 6});
  RealMatrix b = make(3, 2, {7, 8, 9, 10, 11, 12});
  RealMatrix p = a * b;
  EXPECT_EQ(p(0, 0), 58.0);
  EXPECT_EQ(p(0, 1), 64.0);
  EXPECT_EQ(p(1, 0), 139.0);
  EXPECT_EQ(p(1, 1), 154.0);
  RealMatrix t = Transp(a);
  EXPECT_EQ(t.Rows(), 3);
  EXPECT_EQ(t(2, 1), 6.0);
  EXPECT_EQ((a + a)(1, 2), 12.0);
  EXPECT_EQ((a - a)(1, 2), 0.0);
  EXPECT_EQ((a / a)(0, 1), 1.0);
  EXPECT_EQ(ArrayMult(a, a)(1, 1), 25.0);
  EXPECT_EQ((a - 1.0)(0, 0), 0.0);
  EXPECT_EQ((a / 2.0)(1, 0), 2.0);
  EXPECT_EQ(Max(a), 6.0);
  EXPECT_EQ(Min(a), 1.0);
  EXPECT_EQ(Sum(a), 21.0);
  EXPECT_EQ(Mean(a), 3.5);
  EXPECT_NEAR(Std(a), std::sqrt(17.5 / 5.0), 1e-15);
  EXPECT_EQ(Ones(2, 2)(1, 1), 1.0);
  RealMatrix h = HorJoin(a, make(2, 1, {9, 10}));
  EXPECT_EQ(h.Cols(), 4);
  EXPECT_EQ(h(1, 3), 10.0);
  EXPECT_EQ(h(1, 0), 4.0);
  RealMatrix v = VertJoin(a, make(1, 3, {7, 8, 9}));
  EXPECT_EQ(v.Rows(), 3);
  EXPECT_EQ(v(2, 0), 7.0);
  EXPECT_EQ(v(1, 2), 6.0);
}

TEST(RealMatrixArithmetic, SizeChecksCarryTheirMessages) {
  RealMatrix a(2, 3), b(2, 2), empty(0, 3);
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)(a * a); },
      "RealMatrix operator*(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each other!");
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)(a - b); },
      "RealMatrix operator-(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each other!");
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)(a + b); },
      "RealMatrix operator+(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each other!");
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)(a / b); },
      "RealMatrix operator/(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each other!");
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)ArrayMult(a, b); },
      "RealMatrix ArrayMult(const RealMatrix& m1, const RealMatrix& m2): m1 and m2 don't match each other!");
  expectThrowWith<IllegalMatrixSizeException>([&] { (void)Max(empty); },
                                              "double Max(RealMatrix& m): m sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>([&] { (void)Min(empty); },
                                              "double Min(RealMatrix& m): m sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>([&] { (void)Transp(empty); },
                                              "RealMatrix Transp(RealMatrix& m): m sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>([&] { (void)ColMean(empty); },
                                              "RealMatrix ColMean(RealMatrix& m): m sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>([&] { (void)ColStd(empty); },
                                              "RealMatrix ColStd(RealMatrix& m): m sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>([&] { (void)Cov(empty); },
                                              "RealMatrix Cov(RealMatrix& m): m sizes must be positive!");
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)HorJoin(a, RealMatrix(3, 1)); },
      "RealMatrix HorJoin(RealMatrix& m1, RealMatrix &m2): m1.Rows() is not equal to m2.Rows()");
  expectThrowWith<IllegalMatrixSizeException>(
      [&] { (void)VertJoin(a, b); },
      "RealMatrix VertJoin(RealMatrix& m1, RealMatrix &m2): m1.Cols() is not equal to m2.Cols()");
  EXPECT_EQ(Sum(empty), 0.0);
}

TEST(RealMatrixStatistics, ColumnMeansDeviationsAndCovariance) {
  // Columns x = 1,2,3,4 and y = 2,4,6,9.
  RealMatrix m = make(4, 2, {1, 2, 2, 4, 3, 6, 4, 9});
  RealMatrix mu = ColMean(m);
  EXPECT_DOUBLE_EQ(mu(0, 0), 2.5);
  EXPECT_DOUBLE_EQ(mu(0, 1), 5.25);
  RealMatrix sd = ColStd(m);
  EXPECT_NEAR(sd(0, 0), std::sqrt(5.0 / 3.0), 1e-15);
  EXPECT_NEAR(sd(0, 1), std::sqrt(26.75 / 3.0), 1e-14);
  RealMatrix c = Cov(m);
  EXPECT_NEAR(c(0, 0), 5.0 / 3.0, 1e-15);
  EXPECT_NEAR(c(0, 1), 11.5 / 3.0, 1e-14);
  EXPECT_EQ(c(0, 1), c(1, 0));
  EXPECT_NEAR(c(1, 1), 26.75 / 3.0, 1e-14);
}

TEST(RealMatrixStatistics, OneRowGivesZeroSpread) {
  RealMatrix row = make(1, 3, {1, 5, 9});
  EXPECT_EQ(Sum(ColStd(row)), 0.0);
  RealMatrix c = Cov(row);
  EXPECT_EQ(c.Rows(), 3);
  EXPECT_EQ(Max(c), 0.0);
  EXPECT_EQ(Min(c), 0.0);
  EXPECT_EQ(Std(make(1, 1, {3})), 0.0);
}

}  // namespace
