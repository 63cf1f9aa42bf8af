#include "shared/normaliser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "shared/binary_io.h"
#include "shared/exceptions.h"
#include "tests/shared/data_set_test_tables.h"
#include "tests/support/test_support.h"

namespace {

constexpr const char* kFormatMessage = "data format doesn't match to expected one";

std::vector<double> normalised(Normaliser& n, const std::vector<double>& x) {
  std::vector<double> y(x.size());
  n.normalise(x.data(), y.data(), static_cast<std::int32_t>(x.size()));
  return y;
}

std::string recordOf(const Normaliser& n) {
  std::ostringstream out;
  n.write(out);
  return out.str();
}

TEST(ColumnStatistics, HandComputedMomentsAndRange) {
  const double x[] = {4.0, 1.0, 3.0, 2.0};
  const ColumnStatistics s = columnStatistics(x, 4);
  EXPECT_DOUBLE_EQ(s.mean, 2.5);
  EXPECT_DOUBLE_EQ(s.variance, 5.0 / 3.0);  // (2.25 + 2.25 + 0.25 + 0.25) / 3
  EXPECT_EQ(s.min, 1.0);
  EXPECT_EQ(s.max, 4.0);
}

TEST(ColumnStatistics, OneValueHasZeroVarianceAndNoValuesGiveZeros) {
  const double x[] = {-7.5};
  const ColumnStatistics one = columnStatistics(x, 1);
  EXPECT_EQ(one.mean, -7.5);
  EXPECT_EQ(one.variance, 0.0);
  EXPECT_EQ(one.min, -7.5);
  EXPECT_EQ(one.max, -7.5);
  const ColumnStatistics none = columnStatistics(x, 0);
  EXPECT_EQ(none.mean, 0.0);
  EXPECT_EQ(none.variance, 0.0);
}

TEST(Normaliser, NewNormaliserHasKindNone) {
  VantorNormaliser n;
  EXPECT_EQ(n.kind(), NormalisationKind::None);
  EXPECT_EQ(n.denormalise(0.25), 0.25);
}

TEST(Normaliser, EachKindTransformsAsComputedByHand) {
  const std::vector<double> x = {1.0, 2.0, 3.0, 4.0};
  const double s = std::sqrt(5.0 / 3.0);

  VantorNormaliser none(NormalisationKind::None);
  EXPECT_EQ(normalised(none, x), x);

  VantorNormaliser meanVariance(NormalisationKind::MeanVariance);
  std::vector<double> y = normalised(meanVariance, x);
  EXPECT_DOUBLE_EQ(meanVariance.mean(), 2.5);
  EXPECT_DOUBLE_EQ(meanVariance.variance(), 5.0 / 3.0);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_DOUBLE_EQ(y[i], (x[i] - 2.5) / s);

  VantorNormaliser tanhKind(NormalisationKind::Tanh);
  y = normalised(tanhKind, x);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i], std::tanh((x[i] - 2.5) / s), 1e-15);

  VantorNormaliser range(NormalisationKind::MinMax);
  y = normalised(range, x);
  EXPECT_EQ(range.min(), 1.0);
  EXPECT_EQ(range.max(), 4.0);
  EXPECT_DOUBLE_EQ(y[0], -1.0);
  EXPECT_DOUBLE_EQ(y[1], -1.0 / 3.0);
  EXPECT_DOUBLE_EQ(y[2], 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(y[3], 1.0);
}

TEST(Normaliser, UniformAndUnknownKindsBecomeNoneAndPassValues) {
  const std::vector<double> x = {5.0, -3.0, 8.0};
  for (auto kind :
       {NormalisationKind::Uniform, static_cast<NormalisationKind>(7), static_cast<NormalisationKind>(-1)}) {
    GridwiseNormaliser n(kind);
    EXPECT_EQ(normalised(n, x), x);
    EXPECT_EQ(n.kind(), NormalisationKind::None);
  }
  // apply also turns Uniform into None.
  GridwiseNormaliser n(NormalisationKind::Uniform);
  std::vector<double> y(3);
  n.apply(x.data(), y.data(), 3);
  EXPECT_EQ(y, x);
  EXPECT_EQ(n.kind(), NormalisationKind::None);
}

TEST(Normaliser, ApplyUsesTheStoredParametersWithoutRefitting) {
  VantorNormaliser n(NormalisationKind::MinMax);
  normalised(n, {0.0, 10.0});
  const double fresh[] = {5.0, 20.0};
  double y[2];
  n.apply(fresh, y, 2);
  EXPECT_DOUBLE_EQ(y[0], 0.0);
  EXPECT_DOUBLE_EQ(y[1], 3.0);
  EXPECT_EQ(n.max(), 10.0);
}

TEST(Normaliser, SourceAndDestinationMayBeTheSameArray) {
  std::vector<double> x = {1.0, 2.0, 3.0, 4.0};
  VantorNormaliser n(NormalisationKind::MeanVariance);
  n.normalise(x.data(), x.data(), 4);
  EXPECT_DOUBLE_EQ(n.mean(), 2.5);
  EXPECT_DOUBLE_EQ(x[3], 1.5 / std::sqrt(5.0 / 3.0));
}

TEST(Normaliser, ConstantColumnMapsToZeroAndBackToItsValue) {
  const std::vector<double> x = {3.5, 3.5, 3.5};
  for (auto kind : {NormalisationKind::Tanh, NormalisationKind::MeanVariance, NormalisationKind::MinMax}) {
    VantorNormaliser n(kind);
    for (double y : normalised(n, x)) EXPECT_EQ(y, 0.0) << static_cast<int>(kind);
    EXPECT_DOUBLE_EQ(n.denormalise(0.0), 3.5) << static_cast<int>(kind);
  }
  // Below the variance threshold values are only centred: y = x − mean, tanh(x − mean).
  VantorNormaliser meanVariance(NormalisationKind::MeanVariance);
  const std::vector<double> y = normalised(meanVariance, {1.0, 1.0 + 1e-9});  // variance 5e-19 < 1e-17
  EXPECT_NEAR(y[1] - y[0], 1e-9, 1e-15);  // scaling by s would have spread them to ±0.707
  EXPECT_DOUBLE_EQ(meanVariance.denormalise(0.25), 0.25 + meanVariance.mean());
  VantorNormaliser range(NormalisationKind::MinMax);
  normalised(range, {2.0, 2.0});
  EXPECT_EQ(range.denormalise(0.7), 2.0);
}

TEST(Normaliser, TanhDenormalisesSaturatedAnswersToSixPointOneStandardDeviations) {
  VantorNormaliser n(NormalisationKind::Tanh);
  normalised(n, {1.0, 2.0, 3.0, 4.0});
  const double s = std::sqrt(5.0 / 3.0);
  EXPECT_DOUBLE_EQ(n.denormalise(1.0), 6.103 * s + 2.5);
  EXPECT_DOUBLE_EQ(n.denormalise(-1.0), -6.103 * s + 2.5);
  EXPECT_DOUBLE_EQ(n.denormalise(2.0), 6.103 * s + 2.5);
  // At the threshold itself the exact inverse still applies.
  EXPECT_NEAR(n.denormalise(0.99999), std::atanh(0.99999) * s + 2.5, 1e-9);
  EXPECT_DOUBLE_EQ(n.denormalise(0.999991), 6.103 * s + 2.5);
  EXPECT_NEAR(n.denormalise(std::tanh(0.5)), 0.5 * s + 2.5, 1e-12);
}

TEST(Normaliser, DenormaliseInvertsEveryKindOnWine) {
  const RawTable wine = lumivane::test::loadSampleTable("wine.csv");
  ASSERT_GT(wine.columnCount(), 10);
  for (auto kind : {NormalisationKind::Tanh, NormalisationKind::MeanVariance, NormalisationKind::MinMax}) {
    for (std::int32_t c = 0; c < wine.columnCount(); ++c) {
      VantorNormaliser n(kind);
      std::vector<double> y(static_cast<std::size_t>(wine.rowCount));
      n.normalise(wine.column(c), y.data(), wine.rowCount);
      for (std::int32_t r = 0; r < wine.rowCount; ++r) {
        const double x = wine.column(c)[r];
        EXPECT_NEAR(n.denormalise(y[static_cast<std::size_t>(r)]), x, x == 0.0 ? 1e-12 : 1e-9 * std::abs(x))
            << wine.columnNames[static_cast<std::size_t>(c)] << " row " << r << " kind "
            << static_cast<int>(kind);
      }
    }
  }
}

TEST(NormaliserRecord, LayoutPerKind) {
  VantorNormaliser none;
  EXPECT_EQ(recordOf(none), std::string("\0\0\0\0", 4));

  VantorNormaliser meanVariance(NormalisationKind::MeanVariance);
  normalised(meanVariance, {1.0, 3.0});  // mean 2, variance 2
  std::ostringstream expected;
  BinaryWriter w(expected);
  w.writeInt32(3);
  w.writeDouble(2.0);
  w.writeDouble(2.0);
  EXPECT_EQ(recordOf(meanVariance), expected.str());

  VantorNormaliser range(NormalisationKind::MinMax);
  normalised(range, {-1.5, 3.0});
  std::ostringstream expectedRange;
  BinaryWriter wr(expectedRange);
  wr.writeInt32(4);
  wr.writeDouble(-1.5);
  wr.writeDouble(3.0);
  EXPECT_EQ(recordOf(range), expectedRange.str());
}

TEST(NormaliserRecord, UniformIsWrittenAsNone) {
  GridwiseNormaliser untouched(NormalisationKind::Uniform);
  EXPECT_EQ(recordOf(untouched), std::string("\0\0\0\0", 4));
  GridwiseNormaliser normalisedOnce(NormalisationKind::Uniform);
  normalised(normalisedOnce, {1.0, 2.0});
  EXPECT_EQ(recordOf(normalisedOnce), std::string("\0\0\0\0", 4));
}

TEST(NormaliserRecord, ReadRestoresEveryParameterBitForBit) {
  const RawTable wine = lumivane::test::loadSampleTable("wine.csv");
  for (auto kind : {NormalisationKind::None, NormalisationKind::Tanh, NormalisationKind::MeanVariance,
                    NormalisationKind::MinMax}) {
    VantorNormaliser original(kind);
    std::vector<double> y(static_cast<std::size_t>(wine.rowCount));
    original.normalise(wine.column(4), y.data(), wine.rowCount);
    std::stringstream io(recordOf(original));
    VantorNormaliser back(NormalisationKind::MinMax);
    back.read(io);
    EXPECT_EQ(back.kind(), kind);
    // Only the parameters the kind stores travel; compare those and the inverse.
    if (kind == NormalisationKind::Tanh || kind == NormalisationKind::MeanVariance) {
      EXPECT_EQ(back.mean(), original.mean());
      EXPECT_EQ(back.variance(), original.variance());
    }
    if (kind == NormalisationKind::MinMax) {
      EXPECT_EQ(back.min(), original.min());
      EXPECT_EQ(back.max(), original.max());
    }
    EXPECT_EQ(back.denormalise(0.3), original.denormalise(0.3));
    EXPECT_EQ(io.peek(), std::char_traits<char>::eof());
  }
}

void expectRefused(const std::string& record) {
  VantorNormaliser n(NormalisationKind::MinMax);
  normalised(n, {1.0, 5.0});
  std::stringstream io(record);
  try {
    n.read(io);
    ADD_FAILURE() << "record of " << record.size() << " bytes accepted";
  } catch (const IllegalDataFormatException& e) {
    EXPECT_STREQ(e.what(), kFormatMessage);
  }
  // A refused record leaves the normaliser as it was.
  EXPECT_EQ(n.kind(), NormalisationKind::MinMax);
  EXPECT_EQ(n.min(), 1.0);
  EXPECT_EQ(n.max(), 5.0);
}

TEST(NormaliserRecord, RefusesKindsThatAreNeverStored) {
  for (std::int32_t kind : {2, 5, -1, 0x7FFFFFFF}) {
    std::ostringstream out;
    BinaryWriter w(out);
    w.writeInt32(kind);
    w.writeDouble(0.0);
    w.writeDouble(1.0);
    expectRefused(out.str());
  }
}

TEST(NormaliserRecord, RefusesEveryTruncation) {
  VantorNormaliser tanhKind(NormalisationKind::Tanh);
  normalised(tanhKind, {1.0, 2.0, 4.0});
  VantorNormaliser range(NormalisationKind::MinMax);
  normalised(range, {1.0, 2.0, 4.0});
  for (const std::string& full : {recordOf(tanhKind), recordOf(range)}) {
    ASSERT_EQ(full.size(), 20u);
    for (std::size_t length = 0; length < full.size(); ++length) expectRefused(full.substr(0, length));
  }
}

TEST(NormaliserRecord, RefusesImpossibleParameters) {
  std::ostringstream negativeVariance;
  BinaryWriter w(negativeVariance);
  w.writeInt32(3);
  w.writeDouble(1.0);
  w.writeDouble(-4.0);
  expectRefused(negativeVariance.str());

  std::ostringstream minAboveMax;
  BinaryWriter w2(minAboveMax);
  w2.writeInt32(4);
  w2.writeDouble(2.0);
  w2.writeDouble(1.0);
  expectRefused(minAboveMax.str());
}

TEST(NormaliserNames, EachToolKeepsItsOwnWording) {
  using K = NormalisationKind;
  EXPECT_EQ(gridwiseKindName(K::None), "No normalization");
  EXPECT_EQ(gridwiseKindName(K::Tanh), "Hyperbolic tangent noralization");
  EXPECT_EQ(gridwiseKindName(K::Uniform), "Uniform normalization");
  EXPECT_EQ(gridwiseKindName(K::MeanVariance), "Mean/Variance normalization");
  EXPECT_EQ(gridwiseKindName(K::MinMax), "[-1, +1] normalization");
  EXPECT_EQ(vantorKindName(K::None), "No normalization");
  EXPECT_EQ(vantorKindName(K::Tanh), "Tanh - normalization");
  EXPECT_EQ(vantorKindName(K::Uniform), "Uniform normalization");
  EXPECT_EQ(vantorKindName(K::MeanVariance), "Mean/Variance normalization");
  EXPECT_EQ(vantorKindName(K::MinMax), "[-1, +1] - normalization");

  // name() is virtual: a base reference shows the tool's own text.
  std::unique_ptr<Normaliser> gridwise = std::make_unique<GridwiseNormaliser>(K::Tanh);
  std::unique_ptr<Normaliser> vantor = std::make_unique<VantorNormaliser>(K::MinMax);
  EXPECT_EQ(gridwise->name(), "Hyperbolic tangent noralization");
  EXPECT_EQ(vantor->name(), "[-1, +1] - normalization");
}

}  // namespace

// The tanh normalisation and its inverse give the same bits in a child process whose C library
// runs its routines for a processor without AVX2 and FMA: nothing stored or shown may depend on
// which routines the machine's library picks.
TEST(Normaliser, TanhKindGivesTheSameBitsOnAProcessorWithoutFma) {
  constexpr const char* kOutVariable = "LUMIVANE_NORMALISER_OUT";
  std::vector<double> x(200000);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = -40.0 + 80.0 * static_cast<double>(i) / x.size();
  VantorNormaliser tanhKind(NormalisationKind::Tanh);
  std::vector<double> values = normalised(tanhKind, x);
  for (std::size_t i = 0; i < x.size(); i += 7) values.push_back(tanhKind.denormalise(values[i] * 0.999));
  if (const char* out = std::getenv(kOutVariable)) {
    std::ofstream file(out, std::ios::binary);
    file.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * 8));
    return;
  }
  lumivane::test::TempDir dir;
  const std::string file = dir.file("values.bin");
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command = "GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-AVX2_Usable,-FMA_Usable " +
                              std::string(kOutVariable) + "='" + file + "' '" + self +
                              "' --gtest_filter=Normaliser.TanhKindGivesTheSameBitsOnAProcessorWithoutFma"
                              " > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(file, std::ios::binary);
  std::vector<double> child(values.size());
  in.read(reinterpret_cast<char*>(child.data()), static_cast<std::streamsize>(child.size() * 8));
  ASSERT_EQ(in.gcount(), static_cast<std::streamsize>(child.size() * 8));
  EXPECT_EQ(std::memcmp(child.data(), values.data(), values.size() * 8), 0);
}
