#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#include "platform/random.h"
#include "shared/binary_io.h"
#include "shared/exceptions.h"
#include "shared/vantor_data_set.h"
#include "tests/shared/data_set_test_tables.h"

namespace {

using lumivane::test::firstColumns;
using lumivane::test::loadSampleTable;
using lumivane::test::makeTable;
using K = NormalisationKind;
using Indices = std::vector<std::int32_t>;
using Kinds = std::vector<K>;

constexpr const char* kFormatMessage = "data format doesn't match to expected one";
constexpr const char* kMismatchMessage = "Project and raw data don't match each other";

RawTable tinyTable() {
  return makeTable({{1.0, 2.0, 3.0, 4.0}, {10.0, 10.0, 10.0, 10.0}, {0.0, 5.0, -5.0, 10.0}});
}

std::string blockOf(const VantorDataSet& set) {
  std::ostringstream out;
  set.writeBlock(out);
  EXPECT_TRUE(out.good());
  return out.str();
}

// Position p holds example order[p] on both sides, and every example knows its position.
void expectConsistentOrder(const VantorDataSet& set) {
  const auto rows = static_cast<std::size_t>(set.rows());
  ASSERT_EQ(set.order().size(), rows);
  ASSERT_EQ(set.rowPositions().size(), rows);
  std::vector<std::int32_t> sorted = set.order();
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < rows; ++i) ASSERT_EQ(sorted[i], static_cast<std::int32_t>(i));
  for (std::size_t p = 0; p < rows; ++p) {
    const std::int32_t example = set.order()[p];
    EXPECT_EQ(set.rowPositions()[static_cast<std::size_t>(example)], static_cast<std::int32_t>(p));
    if (set.inputCount() > 0) {
      EXPECT_EQ(set.questions()[p], set.inputRow(example));
    }
    if (set.outputCount() > 0) {
      EXPECT_EQ(set.answers()[p], set.outputRow(example));
    }
  }
}

template <class E>
void expectReadFails(VantorDataSet& set, const std::string& block, const char* message) {
  std::istringstream in(block);
  try {
    set.readBlock(in);
    ADD_FAILURE() << "block of " << block.size() << " bytes accepted";
  } catch (const E& e) {
    EXPECT_STREQ(e.what(), message);
  } catch (const MyException& e) {
    ADD_FAILURE() << "wrong exception: " << e.what();
  }
  EXPECT_EQ(set.inputCount(), 0);
  EXPECT_EQ(set.outputCount(), 0);
  EXPECT_EQ(set.questions(), nullptr);
  EXPECT_EQ(set.answers(), nullptr);
}

TEST(VantorDataSet, NewDataSetHasNaturalOrderAndZeroTestSetParameters) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  EXPECT_EQ(set.testSetMode(), TestSetMode::RandomTestSet);
  EXPECT_EQ(set.blockStart(), 0);
  EXPECT_EQ(set.lastCount(), 0);
  EXPECT_EQ(set.order(), (Indices{0, 1, 2, 3}));
  EXPECT_EQ(set.rowPositions(), (Indices{0, 1, 2, 3}));
  EXPECT_EQ(set.questions(), nullptr);
}

TEST(VantorDataSet, SetInputsAndOutputsNormaliseIntoRowMajorBlocks) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  set.setInputs(Indices{2, 0}, Kinds{K::MinMax, K::MeanVariance});
  set.setOutputs(Indices{0}, Kinds{K::Tanh});
  ASSERT_EQ(set.inputCount(), 2);
  ASSERT_EQ(set.outputCount(), 1);
  const double range[] = {-1.0 / 3.0, 1.0 / 3.0, -1.0, 1.0};
  const double s = std::sqrt(5.0 / 3.0);
  for (std::int32_t r = 0; r < 4; ++r) {
    const double x = table.columns[0][static_cast<std::size_t>(r)];
    EXPECT_DOUBLE_EQ(set.inputs()[r * 2], range[r]);
    EXPECT_DOUBLE_EQ(set.inputs()[r * 2 + 1], (x - 2.5) / s);
    EXPECT_DOUBLE_EQ(set.outputs()[r], std::tanh((x - 2.5) / s));
  }
  EXPECT_EQ(set.inputName(0), "c2");
  EXPECT_EQ(set.outputName(0), "c0");
  EXPECT_EQ(set.outputNormalisers()[0].name(), "Tanh - normalization");
  EXPECT_NEAR(set.outputNormalisers()[0].denormalise(set.outputRow(3)[0]), 4.0, 1e-12);
  expectConsistentOrder(set);
}

TEST(VantorDataSet, InputsMustBeOverZeroAndTheOldInputsAreGone) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  set.setInputs(Indices{0}, Kinds{K::None});
  try {
    set.setInputs(Indices{}, Kinds{});
    FAIL();
  } catch (const MyException& e) {
    EXPECT_STREQ(e.what(), "Dimension of inputs must be over zero");
  }
  EXPECT_EQ(set.inputCount(), 0);
  EXPECT_EQ(set.questions(), nullptr);
}

TEST(VantorDataSet, RefusesColumnsOutsideTheTable) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  EXPECT_THROW(set.setInputs(Indices{3}, Kinds{K::None}), BadRangeException);
  EXPECT_THROW(set.setOutputs(Indices{-1}, Kinds{K::None}), BadRangeException);
  EXPECT_THROW(set.setInputs(Indices{0, 1}, Kinds{K::None}), BadRangeException);
  VantorDataSet unattached;
  EXPECT_THROW(unattached.setInputs(Indices{0}, Kinds{K::None}), BadRangeException);
}

TEST(VantorDataSet, NoOutputsIsAllowed) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  set.setInputs(Indices{0}, Kinds{K::None});
  set.setOutputs(Indices{}, Kinds{});
  EXPECT_EQ(set.outputCount(), 0);
  EXPECT_EQ(set.answers(), nullptr);
  EXPECT_EQ(set.outputRow(0), nullptr);
  // A block without outputs reads back without outputs.
  VantorDataSet reread(table);
  std::istringstream in(blockOf(set));
  reread.readBlock(in);
  EXPECT_EQ(reread.inputCount(), 1);
  EXPECT_EQ(reread.outputCount(), 0);
}

TEST(VantorDataSet, OrderRowsLaysOutBothSidesAndRebuildingASideKeepsTheOrder) {
  const RawTable wine = loadSampleTable("wine.csv");
  VantorDataSet set(wine);
  set.setInputs(Indices{0, 1, 2}, Kinds(3, K::MeanVariance));
  set.setOutputs(Indices{14, 15}, Kinds(2, K::None));

  set.setTestSetParameters({TestSetMode::BlockOfExamples, 170, 0});
  EXPECT_EQ(set.orderRows(20), 8);  // N 178, block from 170: only 8 examples follow
  expectConsistentOrder(set);

  platform::crtSrand(1);
  set.setTestSetParameters({TestSetMode::RandomTestSet, 0, 0});
  EXPECT_EQ(set.orderRows(30), 30);
  expectConsistentOrder(set);
  const Indices shuffled = set.order();
  EXPECT_NE(shuffled, set.rowPositions());  // a real shuffle, not the identity

  set.setOutputs(Indices{13}, Kinds{K::MinMax});
  EXPECT_EQ(set.order(), shuffled);
  expectConsistentOrder(set);

  set.resetOrder();
  expectConsistentOrder(set);
  EXPECT_EQ(set.order()[5], 5);
}

TEST(VantorDataSet, BlockLayoutFieldByField) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  set.setInputs(Indices{2, 1}, Kinds{K::MinMax, K::Uniform});
  set.setOutputs(Indices{0}, Kinds{K::MeanVariance});

  std::ostringstream expected;
  BinaryWriter w(expected);
  w.writeChar('*');
  w.writeInt32(2);  // I
  w.writeInt32(1);  // O
  w.writeInt32(3);  // N
  w.writeInt32(2);
  w.writeInt32(1);
  w.writeInt32(0);
  w.writeInt32(4);
  w.writeDouble(-5.0);
  w.writeDouble(10.0);
  w.writeInt32(0);  // uniform never survives normalisation
  w.writeInt32(3);
  w.writeDouble(2.5);
  w.writeDouble(5.0 / 3.0);
  w.writeChar('*');
  EXPECT_EQ(blockOf(set), expected.str());
}

TEST(VantorDataSet, WrittenAndReadBlockRebuildsBothSidesBitForBitInNaturalOrder) {
  const RawTable wine = loadSampleTable("wine.csv");
  VantorDataSet original(wine);
  original.setInputs(Indices{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                     Kinds{K::Tanh, K::MeanVariance, K::MinMax, K::None, K::Tanh, K::MeanVariance, K::MinMax,
                           K::Tanh, K::MeanVariance, K::MinMax, K::Tanh, K::MeanVariance, K::MinMax});
  original.setOutputs(Indices{14, 15, 16}, Kinds(3, K::Tanh));
  original.setTestSetParameters({TestSetMode::RandomTestSet, 0, 0});
  original.orderRows(40);
  const std::string block = blockOf(original);

  VantorDataSet reread(wine);
  reread.setTestSetParameters({TestSetMode::RandomTestSet, 0, 0});
  reread.orderRows(10);
  std::istringstream in(block);
  reread.readBlock(in);
  EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
  EXPECT_EQ(reread.inputColumns(), original.inputColumns());
  EXPECT_EQ(reread.outputColumns(), original.outputColumns());
  const auto inputBytes = sizeof(double) * 178 * 13;
  const auto outputBytes = sizeof(double) * 178 * 3;
  EXPECT_EQ(std::memcmp(reread.inputs(), original.inputs(), inputBytes), 0);
  EXPECT_EQ(std::memcmp(reread.outputs(), original.outputs(), outputBytes), 0);
  for (std::int32_t p = 0; p < reread.rows(); ++p) EXPECT_EQ(reread.order()[static_cast<std::size_t>(p)], p);
  expectConsistentOrder(reread);
  EXPECT_EQ(blockOf(reread), block);
}

TEST(VantorDataSet, ProjectOpensOnlyOnATableWithExactlyItsColumnCount) {
  const RawTable wine = loadSampleTable("wine.csv");
  const RawTable five = firstColumns(wine, 5);
  VantorDataSet set(five);
  set.setInputs(Indices{0, 2}, Kinds(2, K::MinMax));
  set.setOutputs(Indices{4}, Kinds{K::None});
  const std::string block = blockOf(set);

  VantorDataSet same(five);
  std::istringstream in(block);
  same.readBlock(in);
  EXPECT_EQ(same.inputCount(), 2);

  for (std::int32_t columns : {4, 7}) {
    const RawTable other = firstColumns(wine, columns);
    VantorDataSet mismatched(other);
    expectReadFails<BadProjectException>(mismatched, block, kMismatchMessage);
  }
}

// Builds a block field by field so that single fields can be corrupted.
struct BlockFields {
  char open = '*';
  std::int32_t inputs = 1;
  std::int32_t outputs = 1;
  std::int32_t n = 3;
  Indices inputColumns = {0};
  Indices outputColumns = {2};
  std::int32_t inputKind = 0;
  std::int32_t outputKind = 0;
  char close = '*';

  std::string bytes() const {
    std::ostringstream out;
    BinaryWriter w(out);
    w.writeChar(open);
    w.writeInt32(inputs);
    w.writeInt32(outputs);
    w.writeInt32(n);
    for (auto i : inputColumns) w.writeInt32(i);
    for (auto i : outputColumns) w.writeInt32(i);
    w.writeInt32(inputKind);
    w.writeInt32(outputKind);
    w.writeChar(close);
    return out.str();
  }
};

TEST(VantorDataSet, RefusesEveryTruncationOfABlock) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  set.setInputs(Indices{2, 0}, Kinds{K::Tanh, K::MinMax});
  set.setOutputs(Indices{1}, Kinds{K::MeanVariance});
  const std::string block = blockOf(set);
  for (std::size_t length = 0; length < block.size(); ++length) {
    VantorDataSet reader(table);
    reader.setInputs(Indices{0}, Kinds{K::None});
    expectReadFails<IllegalDataFormatException>(reader, block.substr(0, length), kFormatMessage);
  }
}

TEST(VantorDataSet, RefusesCorruptedFields) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  {
    std::istringstream in(BlockFields{}.bytes());
    set.readBlock(in);  // the unchanged fields form a good block
    EXPECT_EQ(set.outputColumns(), Indices{2});
  }
  auto formatError = [&](const BlockFields& f) {
    SCOPED_TRACE(::testing::Message() << "I " << f.inputs << " O " << f.outputs << " N " << f.n);
    expectReadFails<IllegalDataFormatException>(set, f.bytes(), kFormatMessage);
  };
  auto mismatch = [&](const BlockFields& f) {
    expectReadFails<BadProjectException>(set, f.bytes(), kMismatchMessage);
  };
  BlockFields f;
  f.open = '+';
  formatError(f);
  f = {};
  f.close = 'x';
  formatError(f);
  f = {};
  f.inputs = 0;
  f.inputColumns.clear();
  formatError(f);
  f = {};
  f.outputs = -1;
  formatError(f);
  f = {};
  f.inputs = 0x7FFFFFFF;  // more inputs than the table has columns: refused before allocating
  formatError(f);
  f = {};
  f.inputKind = 2;
  formatError(f);
  f = {};
  f.n = 2;
  mismatch(f);
  f = {};
  f.n = -3;
  mismatch(f);
  f = {};
  f.inputColumns = {3};
  mismatch(f);
  f = {};
  f.outputColumns = {-1};
  mismatch(f);
}

TEST(VantorDataSet, WritingWithoutInputsIsRefused) {
  const RawTable table = tinyTable();
  VantorDataSet set(table);
  std::ostringstream out;
  try {
    set.writeBlock(out);
    FAIL();
  } catch (const MyException& e) {
    EXPECT_STREQ(e.what(), "Dimension of inputs must be over zero");
  }
}

}  // namespace
