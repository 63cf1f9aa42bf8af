// The vectorised training against a plain transcription of the algorithm: cells as separate
// vectors, the Gaussian evaluated per cell, the winner by the root-mean-square distance. Both
// must produce the same bits, on either build of the vector kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "kohonen/engine/kohonen_net.h"
#include "kohonen_test_helpers.h"
#include "shared/portable_math.h"
#include "shared/simd.h"

namespace {

struct ReferenceMap {
  int rows, columns, dimension;
  std::vector<std::vector<double>> cells;  // row-major cells

  explicit ReferenceMap(const KohonenNet& net)
      : rows(net.rows()), columns(net.columns()), dimension(net.dimension()) {
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c) cells.push_back(net.cellWeights(r, c));
  }

  double distance(int cell, const double* x) const {
    double sum = 0.0;
    for (int k = 0; k < dimension; ++k) sum += (cells[cell][k] - x[k]) * (cells[cell][k] - x[k]);
    return std::sqrt(sum / dimension);
  }

  void trainEpoch(const RealMatrix& data, double stiffness, double delta) {
    const double sigma = stiffness > 0.0001 ? stiffness : 0.0001;
    for (int i = 0; i < data.Rows(); ++i) {
      const double* x = data.data() + static_cast<std::ptrdiff_t>(i) * dimension;
      int winner = 0;
      double best = distance(0, x);
      for (int cell = 0; cell < rows * columns; ++cell) {
        const double d = distance(cell, x);
        if (d < best) best = d, winner = cell;
      }
      for (int cell = 0; cell < rows * columns; ++cell) {
        const int di = std::abs(cell / columns - winner / columns),
                  dj = std::abs(cell % columns - winner % columns);
        const double q = static_cast<double>(di * di + dj * dj) / (2.0 * sigma * sigma);
        const double h = q <= 50 ? portable_math::exp(-q) : 0.0;
        if (h == 0.0) continue;
        for (int k = 0; k < dimension; ++k) cells[cell][k] += delta * (h * (x[k] - cells[cell][k]));
      }
    }
  }
};

struct Shape {
  int rows, columns, dimension;
};

TEST(ReferenceTraining, SameBitsForEveryShapeAndWidth) {
  // On the baseline and on the AVX2 build of the kernels.
  for (simd::Path path : {simd::Path::kBaseline, simd::Path::kAvx2}) {
    simd::ScopedPath forced(path);
    if (!forced.ok()) continue;
    std::mt19937 gen(11);
    std::normal_distribution<double> normal;
    // Cell counts below, at and between the vector block sizes; wide, medium and winner-only
    // neighbourhoods (the wide ones move whole map rows in one sweep, the narrow ones spans).
    // The last map is too large for the table of ready-made spans: its spans are gathered per row.
    const Shape shapes[] = {{1, 1, 3}, {1, 7, 2},  {3, 5, 4},    {4, 4, 1},
                            {5, 9, 3}, {9, 4, 10}, {20, 20, 10}, {40, 41, 2}};
    for (const Shape& shape : shapes) {
      const int n = 60;
      std::vector<double> values(static_cast<std::size_t>(n * shape.dimension));
      for (double& v : values) v = normal(gen);
      const RealMatrix data(n, shape.dimension, values.data());
      KohonenNet net(shape.rows, shape.columns, shape.dimension);
      ReferenceMap reference(net);
      for (double stiffness : {6.0, 1.3, 0.4, 0.0}) {
        net.setStiffness(stiffness);
        net.trainEpoch(data, 0.07);
        reference.trainEpoch(data, stiffness, 0.07);
        ReferenceMap trained(net);
        ASSERT_EQ(trained.cells, reference.cells)
            << shape.rows << "x" << shape.columns << "x" << shape.dimension << " stiffness " << stiffness;
      }
    }
  }
}

}  // namespace
