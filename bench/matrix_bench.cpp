// Matrix library against Eigen 3 in the same program: product, full SVD of the W4 covariance,
// and principal components.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <algorithm>
#include <random>

#include "bench/bench_data.h"
#include "shared/real_matrix.h"
#include "shared/svd.h"

namespace {

RealMatrix randomMatrix(int rows, int cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> dist;
  RealMatrix m(rows, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) m(i, j) = dist(gen);
  return m;
}

Eigen::MatrixXd toEigen(const RealMatrix& m) {
  Eigen::MatrixXd e(m.Rows(), m.Cols());
  for (int i = 0; i < m.Rows(); ++i)
    for (int j = 0; j < m.Cols(); ++j) e(i, j) = m(i, j);
  return e;
}

const RealMatrix& w4Covariance() {
  static const RealMatrix c = [] {
    auto rows = lumivane::bench::readCsv(lumivane::bench::dataDir() + "/w4_cov200.csv", false);
    RealMatrix m(static_cast<int>(rows.size()), static_cast<int>(rows.at(0).size()));
    for (int i = 0; i < m.Rows(); ++i)
      for (int j = 0; j < m.Cols(); ++j) m(i, j) = rows[i].at(j);
    return m;
  }();
  return c;
}

void BM_Product200_Ours(benchmark::State& state) {
  RealMatrix a = randomMatrix(200, 200, 1), b = randomMatrix(200, 200, 2);
  for (auto _ : state) benchmark::DoNotOptimize((a * b).data());
}
BENCHMARK(BM_Product200_Ours)->Unit(benchmark::kMillisecond);

void BM_Product200_Eigen(benchmark::State& state) {
  Eigen::MatrixXd a = toEigen(randomMatrix(200, 200, 1)), b = toEigen(randomMatrix(200, 200, 2));
  for (auto _ : state) {
    Eigen::MatrixXd c = a * b;
    benchmark::DoNotOptimize(c.data());
  }
}
BENCHMARK(BM_Product200_Eigen)->Unit(benchmark::kMillisecond);

void BM_SvdW4_Ours(benchmark::State& state) {
  const RealMatrix& c = w4Covariance();
  SvdDecomposition svd(c.Rows(), c.Cols(), true);
  // One call before the timing, so that a timed call never pays for the first touch of the
  // workspace's fresh pages (the comparison runs single timed calls).
  std::copy(c.data(), c.data() + c.Size(), svd.a());
  svd.decompose();
  for (auto _ : state) {
    std::copy(c.data(), c.data() + c.Size(), svd.a());
    svd.decompose();
    benchmark::DoNotOptimize(svd.w());
  }
}
BENCHMARK(BM_SvdW4_Ours)->Unit(benchmark::kMillisecond);

void BM_SvdW4_EigenBDCSVD(benchmark::State& state) {
  Eigen::MatrixXd c = toEigen(w4Covariance());
  for (auto _ : state) {
    Eigen::BDCSVD<Eigen::MatrixXd> svd(c, Eigen::ComputeThinU | Eigen::ComputeThinV);
    benchmark::DoNotOptimize(svd.singularValues().data());
  }
}
BENCHMARK(BM_SvdW4_EigenBDCSVD)->Unit(benchmark::kMillisecond);

void BM_EighW4_EigenSelfAdjoint(benchmark::State& state) {
  Eigen::MatrixXd c = toEigen(w4Covariance());
  for (auto _ : state) {
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(c);
    benchmark::DoNotOptimize(es.eigenvalues().data());
  }
}
BENCHMARK(BM_EighW4_EigenSelfAdjoint)->Unit(benchmark::kMillisecond);

// Principal components of a 2000 × 200 data matrix: covariance, decomposition, sorting.
void BM_PrincipalComponents2000x200_Ours(benchmark::State& state) {
  RealMatrix x = randomMatrix(2000, 200, 3);
  RealMatrix values, vectors, projections;
  PrincipalComponents(values, vectors, projections, x, false);  // warm, as in BM_SvdW4_Ours
  for (auto _ : state) {
    PrincipalComponents(values, vectors, projections, x, false);
    benchmark::DoNotOptimize(values.data());
  }
}
BENCHMARK(BM_PrincipalComponents2000x200_Ours)->Unit(benchmark::kMillisecond);

void BM_PrincipalComponents2000x200_Eigen(benchmark::State& state) {
  Eigen::MatrixXd x = toEigen(randomMatrix(2000, 200, 3));
  for (auto _ : state) {
    Eigen::MatrixXd centred = x.rowwise() - x.colwise().mean();
    Eigen::MatrixXd cov = (centred.transpose() * centred) / double(x.rows() - 1);
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> es(cov);
    benchmark::DoNotOptimize(es.eigenvalues().data());
  }
}
BENCHMARK(BM_PrincipalComponents2000x200_Eigen)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
