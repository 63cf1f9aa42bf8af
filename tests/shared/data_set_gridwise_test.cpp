#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#include "shared/binary_io.h"
#include "shared/exceptions.h"
#include "shared/gridwise_data_set.h"
#include "tests/shared/data_set_test_tables.h"

namespace {

using lumivane::test::firstColumns;
using lumivane::test::loadSampleTable;
using lumivane::test::makeTable;
using K = NormalisationKind;

constexpr const char* kFormatMessage = "data format doesn't match to expected one";
constexpr const char* kMismatchMessage = "Project and raw data don't match each other";

RawTable tinyTable() {
  return makeTable({{1.0, 2.0, 3.0, 4.0}, {10.0, 10.0, 10.0, 10.0}, {0.0, 5.0, -5.0, 10.0}});
}

std::string blockOf(const GridwiseDataSet& set) {
  std::ostringstream out;
  set.writeBlock(out);
  EXPECT_TRUE(out.good());
  return out.str();
}

void expectBitIdentical(const RealMatrix& a, const RealMatrix& b) {
  ASSERT_EQ(a.Rows(), b.Rows());
  ASSERT_EQ(a.Cols(), b.Cols());
  EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof(double) * static_cast<std::size_t>(a.Size())), 0);
}

template <class E>
void expectReadFails(GridwiseDataSet& set, const std::string& block, const char* message) {
  std::istringstream in(block);
  try {
    set.readBlock(in);
    ADD_FAILURE() << "block of " << block.size() << " bytes accepted";
  } catch (const E& e) {
    EXPECT_STREQ(e.what(), message);
  } catch (const MyException& e) {
    ADD_FAILURE() << "wrong exception: " << e.what();
  }
  EXPECT_EQ(set.chosenCount(), 0);
  EXPECT_FALSE(set.projected());
}

TEST(GridwiseDataSet, PrepareNormalisesTheChosenColumnsInChosenOrder) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  const std::vector<std::int32_t> chosen = {2, 0};
  const std::vector<K> kinds = {K::MeanVariance, K::Tanh, K::MinMax};  // by raw column
  set.prepare(chosen, kinds);

  ASSERT_EQ(set.chosenCount(), 2);
  EXPECT_EQ(set.rows(), 4);
  EXPECT_EQ(set.rawColumnCount(), 3);
  EXPECT_EQ(set.normalisers()[0].kind(), K::MinMax);
  EXPECT_EQ(set.normalisers()[1].kind(), K::MeanVariance);
  EXPECT_EQ(set.normalisers()[0].name(), "[-1, +1] normalization");
  const RealMatrix& w = set.workingMatrix();
  ASSERT_EQ(w.Rows(), 4);
  ASSERT_EQ(w.Cols(), 2);
  const double range[] = {-1.0 / 3.0, 1.0 / 3.0, -1.0, 1.0};  // 2(x + 5)/15 − 1
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(w(i, 0), range[i]);
    EXPECT_DOUBLE_EQ(w(i, 1), (table.columns[0][static_cast<std::size_t>(i)] - 2.5) / std::sqrt(5.0 / 3.0));
  }
  EXPECT_FALSE(set.projected());
  EXPECT_EQ(set.retainedFraction(), 1.0);
  EXPECT_EQ(set.columnNames(), table.columnNames);
  EXPECT_EQ(set.rowIds(), table.rowIds);
}

TEST(GridwiseDataSet, PrepareRefusesBadArgumentsAndKeepsTheSelection) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  const std::vector<K> kinds = {K::None, K::None, K::None};
  set.prepare(std::vector<std::int32_t>{1}, kinds);
  EXPECT_THROW(set.prepare(std::vector<std::int32_t>{}, kinds), BadRangeException);
  EXPECT_THROW(set.prepare(std::vector<std::int32_t>{3}, kinds), BadRangeException);
  EXPECT_THROW(set.prepare(std::vector<std::int32_t>{-1}, kinds), BadRangeException);
  EXPECT_THROW(set.prepare(std::vector<std::int32_t>{2}, std::vector<K>{K::None, K::None}),
               BadRangeException);
  EXPECT_EQ(set.chosenColumns(), std::vector<std::int32_t>{1});

  GridwiseDataSet unattached;
  EXPECT_THROW(unattached.prepare(std::vector<std::int32_t>{0}, kinds), BadRangeException);
}

TEST(GridwiseDataSet, BlockLayoutFieldByField) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  set.prepare(std::vector<std::int32_t>{2, 0}, std::vector<K>{K::MeanVariance, K::None, K::MinMax});

  std::ostringstream expected;
  BinaryWriter w(expected);
  w.writeTag("GWDATA");
  w.writeInt32(2);  // C
  w.writeInt32(3);  // N
  w.writeInt32(2);
  w.writeInt32(0);
  w.writeInt32(4);  // [-1, +1] record: min, max
  w.writeDouble(-5.0);
  w.writeDouble(10.0);
  w.writeInt32(3);  // mean/variance record
  w.writeDouble(2.5);
  w.writeDouble(5.0 / 3.0);
  w.writeInt32(0);  // not projected
  EXPECT_EQ(blockOf(set), expected.str());
}

TEST(GridwiseDataSet, UniformKindIsStoredAsNone) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  set.prepare(std::vector<std::int32_t>{0}, std::vector<K>{K::Uniform, K::None, K::None});
  const std::string block = blockOf(set);
  std::int32_t kind = -1;
  std::memcpy(&kind, block.data() + 6 + 4 + 4 + 4, 4);
  EXPECT_EQ(kind, 0);
}

TEST(GridwiseDataSet, WrittenAndReadBlockRebuildsTheWorkingMatrixBitForBit) {
  const RawTable wine = loadSampleTable("wine.csv");
  const std::vector<K> kinds = {K::Tanh,   K::MeanVariance, K::MinMax,       K::None,   K::Uniform,
                                K::Tanh,   K::MeanVariance, K::MinMax,       K::Tanh,   K::MeanVariance,
                                K::MinMax, K::Tanh,         K::MeanVariance, K::MinMax, K::Tanh,
                                K::None,   K::MinMax};
  ASSERT_EQ(static_cast<std::size_t>(wine.columnCount()), kinds.size());
  GridwiseDataSet original(wine);
  original.prepare(std::vector<std::int32_t>{12, 0, 1, 2, 4, 9, 3, 7, 8, 5}, kinds);
  const std::string block = blockOf(original);

  GridwiseDataSet reread(wine);
  std::istringstream in(block);
  reread.readBlock(in);
  EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
  EXPECT_EQ(reread.chosenColumns(), original.chosenColumns());
  for (std::size_t j = 0; j < original.normalisers().size(); ++j)
    EXPECT_EQ(reread.normalisers()[j].kind(), original.normalisers()[j].kind());
  expectBitIdentical(reread.workingMatrix(), original.workingMatrix());
  EXPECT_FALSE(reread.projected());
  EXPECT_EQ(reread.retainedFraction(), 1.0);
  EXPECT_EQ(blockOf(reread), block);
}

TEST(GridwiseDataSet, ProjectedBlockRecomputesTheRetainedFraction) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  set.prepare(std::vector<std::int32_t>{2, 0}, std::vector<K>{K::MeanVariance, K::None, K::MinMax});
  const double keepFirst[] = {1.0, 0.0};
  set.applyProjection(RealMatrix(2, 1, keepFirst), 0.25);
  EXPECT_TRUE(set.projected());
  EXPECT_EQ(set.retainedFraction(), 0.25);  // as the principal-component step says
  ASSERT_EQ(set.workingMatrix().Cols(), 1);

  GridwiseDataSet reread(table);
  std::istringstream in(blockOf(set));
  reread.readBlock(in);
  // Column variances of the normalised matrix: 20/27 for the [-1, +1] column, 1 for the
  // standardised one; the projection keeps the first.
  EXPECT_NEAR(reread.retainedFraction(), (20.0 / 27.0) / (20.0 / 27.0 + 1.0), 1e-15);
  expectBitIdentical(reread.workingMatrix(), set.workingMatrix());
  expectBitIdentical(reread.projectionMatrix(), set.projectionMatrix());
}

TEST(GridwiseDataSet, ProjectionOfConstantColumnsKeepsEverything) {
  const RawTable table = makeTable({{3.0, 3.0, 3.0}, {7.0, 7.0, 7.0}});
  GridwiseDataSet set(table);
  set.prepare(std::vector<std::int32_t>{0, 1}, std::vector<K>{K::MinMax, K::MinMax});
  const double direction[] = {0.6, 0.8};
  set.applyProjection(RealMatrix(2, 1, direction), 1.0);
  GridwiseDataSet reread(table);
  std::istringstream in(blockOf(set));
  reread.readBlock(in);
  EXPECT_EQ(reread.retainedFraction(), 1.0);  // 0 / 0 would be no number
}

TEST(GridwiseDataSet, PrincipalComponentsOfWineSurviveTheBlock) {
  const RawTable wine = loadSampleTable("wine.csv");
  const std::vector<K> kinds(static_cast<std::size_t>(wine.columnCount()), K::MeanVariance);
  GridwiseDataSet set(wine);
  set.prepare(std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, kinds);
  RealMatrix values, vectors, projections;
  PrincipalComponents(values, vectors, projections, set.workingMatrix(), false);
  const std::int32_t k = 4;
  double kept = 0.0;
  for (std::int32_t i = 0; i < k; ++i) kept += values(i, 0);
  const double fraction = kept / Sum(values);
  set.applyProjection(vectors(R(-1, -1), R(0, k - 1)), fraction);

  GridwiseDataSet reread(wine);
  std::istringstream in(blockOf(set));
  reread.readBlock(in);
  // The variance along the leading eigenvectors is their eigenvalues: the block reader's measure
  // on the projected matrix agrees with the eigenvalue share.
  EXPECT_NEAR(reread.retainedFraction(), fraction, 1e-9);
  expectBitIdentical(reread.workingMatrix(), set.workingMatrix());
  EXPECT_EQ(reread.workingMatrix().Cols(), k);
}

TEST(GridwiseDataSet, ApplyProjectionRefusesSizesThatDoNotFit) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  set.prepare(std::vector<std::int32_t>{0, 2}, std::vector<K>{K::None, K::None, K::None});
  EXPECT_THROW(set.applyProjection(Zeros(3, 1), 1.0), IllegalMatrixSizeException);
  EXPECT_THROW(set.applyProjection(Zeros(2, 3), 1.0), IllegalMatrixSizeException);
  EXPECT_EQ(set.workingMatrix().Cols(), 2);
  set.applyProjection(Ones(2, 1), 1.0);
  EXPECT_THROW(set.applyProjection(Ones(2, 1), 1.0), IllegalMatrixSizeException);  // already projected
}

TEST(GridwiseDataSet, ProjectOpensOnWiderTablesAndNotOnNarrowerOnes) {
  const RawTable wine = loadSampleTable("wine.csv");
  const RawTable five = firstColumns(wine, 5);
  const RawTable seven = firstColumns(wine, 7);
  const RawTable four = firstColumns(wine, 4);
  GridwiseDataSet set(five);
  set.prepare(std::vector<std::int32_t>{0, 3, 1}, std::vector<K>(5, K::Tanh));
  const std::string block = blockOf(set);

  GridwiseDataSet wider(seven);
  std::istringstream in(block);
  wider.readBlock(in);
  expectBitIdentical(wider.workingMatrix(), set.workingMatrix());
  EXPECT_EQ(wider.rawColumnCount(), 7);

  GridwiseDataSet narrower(four);
  expectReadFails<BadProjectException>(narrower, block, kMismatchMessage);
}

// Builds a block field by field so that single fields can be corrupted.
struct BlockFields {
  std::string tag = "GWDATA";
  std::int32_t c = 2;
  std::int32_t n = 3;
  std::vector<std::int32_t> indices = {0, 2};
  std::vector<std::int32_t> kinds = {0, 0};
  std::int32_t projected = 1;
  std::int32_t p = 1;
  std::vector<double> projection = {1.0, 0.0};

  std::string bytes() const {
    std::ostringstream out;
    BinaryWriter w(out);
    w.writeTag(tag);
    w.writeInt32(c);
    w.writeInt32(n);
    for (auto i : indices) w.writeInt32(i);
    for (auto k : kinds) w.writeInt32(k);
    w.writeInt32(projected);
    if (projected != 0) {
      w.writeInt32(p);
      for (double v : projection) w.writeDouble(v);
    }
    return out.str();
  }
};

TEST(GridwiseDataSet, AcceptsTheHandBuiltBlock) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  std::istringstream in(BlockFields{}.bytes());
  set.readBlock(in);
  EXPECT_EQ(set.chosenColumns(), (std::vector<std::int32_t>{0, 2}));
  EXPECT_TRUE(set.projected());
  EXPECT_EQ(set.workingMatrix()(2, 0), 3.0);
}

TEST(GridwiseDataSet, RefusesEveryTruncationOfABlock) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  set.prepare(std::vector<std::int32_t>{2, 0, 1}, std::vector<K>{K::Tanh, K::MinMax, K::MeanVariance});
  const double rotation[] = {1.0, 0.0, 0.0, 1.0, 0.0, 0.0};
  set.applyProjection(RealMatrix(3, 2, rotation), 1.0);
  const std::string block = blockOf(set);
  for (std::size_t length = 0; length < block.size(); ++length) {
    GridwiseDataSet reader(table);
    reader.prepare(std::vector<std::int32_t>{0}, std::vector<K>(3, K::None));
    expectReadFails<IllegalDataFormatException>(reader, block.substr(0, length), kFormatMessage);
  }
}

TEST(GridwiseDataSet, RefusesCorruptedFields) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  auto formatError = [&](const BlockFields& f) {
    SCOPED_TRACE(::testing::Message() << "c " << f.c << " n " << f.n << " p " << f.p);
    expectReadFails<IllegalDataFormatException>(set, f.bytes(), kFormatMessage);
  };
  auto mismatch = [&](const BlockFields& f) {
    SCOPED_TRACE(::testing::Message() << "n " << f.n << " index " << f.indices[0]);
    expectReadFails<BadProjectException>(set, f.bytes(), kMismatchMessage);
  };
  BlockFields f;
  f.tag = "GWDATB";
  formatError(f);
  f = {};
  f.c = 0;
  formatError(f);
  f = {};
  f.c = -1;
  formatError(f);
  f = {};
  f.n = -1;
  formatError(f);
  f = {};
  f.c = 0x7FFFFFFF;  // more chosen columns than the table had: refused before allocating
  formatError(f);
  f = {};
  f.n = 4;  // the table has 3
  mismatch(f);
  f = {};
  f.indices = {-1, 2};
  mismatch(f);
  f = {};
  f.indices = {0, 3};
  mismatch(f);
  f = {};
  f.kinds = {0, 2};
  formatError(f);
  f = {};
  f.p = 0;
  formatError(f);
  f = {};
  f.p = 3;
  f.projection.assign(6, 0.0);
  formatError(f);
}

TEST(GridwiseDataSet, WritingWithoutSelectionIsRefused) {
  const RawTable table = tinyTable();
  GridwiseDataSet set(table);
  std::ostringstream out;
  EXPECT_THROW(set.writeBlock(out), BadRangeException);
  EXPECT_TRUE(out.str().empty());
}

}  // namespace
