// Map training on the three builds of its kernels — baseline, AVX2 at four lanes, AVX-512 at
// eight — gives the same bits: the lanes are cells, so the width may change how many cells one
// instruction moves but never a value. Shapes put cells in whole blocks, single vectors and the
// scalar tail, and neighbourhoods whose moved span starts and ends anywhere in a block.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kohonen/engine/kohonen_net.h"
#include "kohonen_test_helpers.h"
#include "platform/random.h"
#include "shared/simd.h"
#include "shared/simd_wide.h"

using kohonen_test::allWeights;

namespace {

RealMatrix normalData(std::int32_t rows, std::int32_t d, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.5);
  RealMatrix m(rows, d);
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t k = 0; k < d; ++k) m(i, k) = normal(gen);
  return m;
}

// Each build that this processor has, by name, with the kernels forced onto it.
std::vector<std::vector<double>> onEveryBuild(const std::function<std::vector<double>()>& f,
                                              std::vector<std::string>& names) {
  std::vector<std::vector<double>> out;
  {
    simd::ScopedPath baseline(simd::Path::kBaseline);
    out.push_back(f());
    names.push_back("baseline");
  }
  simd::ScopedPath avx2(simd::Path::kAvx2);
  if (!avx2.ok()) return out;
  {
    simd_wide::ScopedNarrow narrow;
    out.push_back(f());
    names.push_back("AVX2");
  }
  if (simd_wide::available()) {
    out.push_back(f());
    names.push_back("AVX-512");
  }
  return out;
}

void expectAllSame(const std::vector<std::vector<double>>& results, const std::vector<std::string>& names,
                   const std::string& what) {
  for (std::size_t b = 1; b < results.size(); ++b) {
    ASSERT_EQ(results[b].size(), results[0].size());
    EXPECT_EQ(std::memcmp(results[b].data(), results[0].data(), results[0].size() * sizeof(double)), 0)
        << what << ": " << names[b] << " differs from " << names[0];
  }
}

struct MapShape {
  std::int32_t rows, columns, dimension;
};

TEST(MapWidths, TrainingAndWinnersAreIdenticalOnEveryBuild) {
  // 7, 8, 9, 15, 16, 17, 31, 32, 33 and 400 cells; one component and many.
  const MapShape shapes[] = {{1, 7, 3},  {2, 4, 2},  {3, 3, 5}, {3, 5, 1},  {4, 4, 4},
                             {1, 17, 2}, {31, 1, 3}, {4, 8, 6}, {3, 11, 2}, {20, 20, 10}};
  for (const MapShape& shape : shapes) {
    const RealMatrix data = normalData(120, shape.dimension, 5u + static_cast<unsigned>(shape.columns));
    std::vector<std::string> names;
    const auto results = onEveryBuild(
        [&] {
          platform::crtSrand(3);
          KohonenNet net(shape.rows, shape.columns, shape.dimension);
          std::vector<double> out;
          // Wide, medium, narrow (spans of a few map rows, cut kernel values inside them) and
          // winner-only neighbourhoods.
          for (double stiffness : {9.0, 1.7, 0.6, 0.3, 0.0}) {
            net.setStiffness(stiffness);
            net.trainEpoch(data, 0.04);
            const std::vector<double> w = allWeights(net);
            out.insert(out.end(), w.begin(), w.end());
          }
          for (std::int32_t i = 0; i < data.Rows(); ++i) {
            const CellPos p = net.findWinner(data.data() + static_cast<std::int64_t>(i) * data.Cols());
            out.push_back(p.row);
            out.push_back(p.column);
          }
          return out;
        },
        names);
    expectAllSame(results, names,
                  std::to_string(shape.rows) + "x" + std::to_string(shape.columns) + "x" +
                      std::to_string(shape.dimension));
  }
}

// Cells whose kernel value is 0 keep their weights to the bit, −0 included (w + 0 would make it
// +0), while their neighbours in the same vector move.
TEST(MapWidths, CellsOutsideTheNeighbourhoodKeepNegativeZero) {
  std::vector<std::string> names;
  const auto results = onEveryBuild(
      [] {
        KohonenNet net(5, 9, 2, KohonenNet::Uninitialised{});
        for (std::int32_t r = 0; r < 5; ++r)
          for (std::int32_t c = 0; c < 9; ++c) {
            net.setWeight(r, c, 0, -0.0);
            net.setWeight(r, c, 1, r == 2 && c == 4 ? 1.0 : -0.0);
          }
        net.setStiffness(0.3);  // kernel(i, j) is 0 for i² + j² > 9: a disc around the winner
        const double row[] = {0.5, 1.0};
        net.trainEpoch(RealMatrix(1, 2, row), 0.5);
        return allWeights(net);
      },
      names);
  expectAllSame(results, names, "negative zeros");
  const std::vector<double>& w = results[0];
  int keptNegativeZero = 0, moved = 0;
  for (double v : w) {
    keptNegativeZero += v == 0.0 && std::signbit(v);
    moved += v > 0.0;
  }
  EXPECT_GT(moved, 0);
  EXPECT_GT(keptNegativeZero, 0);
  // The winner (2, 4) moved; the corner (0, 0), outside the disc, kept both −0.
  EXPECT_GT(w[(2 * 9 + 4) * 2], 0.0);
  EXPECT_TRUE(std::signbit(w[0]) && w[0] == 0.0 && std::signbit(w[1]) && w[1] == 0.0);
}

// Of cells at the same smallest distance the first in row-major order wins, wherever the two sit
// in the vectors of the search.
TEST(MapWidths, FirstOfEqualCellsWinsAcrossVectorBoundaries) {
  const std::int32_t pairs[][2] = {{3, 5}, {7, 8}, {15, 16}, {31, 33}, {100, 399}, {0, 399}};
  for (const auto& pair : pairs) {
    std::vector<std::string> names;
    const auto results = onEveryBuild(
        [&] {
          KohonenNet net(20, 20, 1, KohonenNet::Uninitialised{});
          for (std::int32_t i = 0; i < 400; ++i) net.setWeight(i / 20, i % 20, 0, 5.0 + i);
          net.setWeight(pair[1] / 20, pair[1] % 20, 0, 0.25);
          net.setWeight(pair[0] / 20, pair[0] % 20, 0, -0.25);
          const double x[] = {0.0};
          const CellPos p = net.findWinner(x);
          return std::vector<double>{static_cast<double>(p.row), static_cast<double>(p.column)};
        },
        names);
    for (std::size_t b = 0; b < results.size(); ++b) {
      EXPECT_EQ(results[b][0] * 20 + results[b][1], pair[0])
          << names[b] << " cells " << pair[0] << ", " << pair[1];
    }
  }
}

}  // namespace
