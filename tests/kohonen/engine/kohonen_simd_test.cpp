// Map initialisation and training give the same bits on the baseline and the AVX2 path of the
// vector kernels.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <vector>

#include "kohonen/engine/kohonen_net.h"
#include "kohonen_test_helpers.h"
#include "platform/random.h"
#include "shared/simd.h"
#include "tests/support/test_support.h"

using kohonen_test::allWeights;

namespace {

using simd::Path;
using simd::ScopedPath;

// Five clusters in d dimensions with a few outliers, as a map sees in practice.
RealMatrix clusteredData(std::int32_t rows, std::int32_t d, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::uniform_int_distribution<int> cluster(0, 4);
  RealMatrix m(rows, d);
  for (std::int32_t i = 0; i < rows; ++i) {
    const int c = cluster(gen);
    for (std::int32_t k = 0; k < d; ++k) m(i, k) = 3.0 * ((c + k) % 5) - 6.0 + 0.4 * (k + 1) * normal(gen);
  }
  m(rows / 2, 0) = 40.0;
  return m;
}

// PC initialisation, then a few passes with a shrinking neighbourhood: all weights, in order.
std::vector<double> trainedWeights(std::int32_t mapRows, std::int32_t mapColumns, const RealMatrix& data) {
  platform::crtSrand(7);
  KohonenNet net(mapRows, mapColumns, data.Cols());
  net.initFromPrincipalComponents(data);
  std::vector<double> out = allWeights(net);
  for (double stiffness : {4.0, 2.5, 1.0, 0.0}) {
    net.setStiffness(stiffness);
    net.trainEpoch(data, 0.05);
  }
  const std::vector<double> trained = allWeights(net);
  out.insert(out.end(), trained.begin(), trained.end());
  // The winners as the map views compute them.
  for (std::int32_t i = 0; i < data.Rows(); ++i) {
    const CellPos w = net.findWinner(data.data() + static_cast<std::int64_t>(i) * data.Cols());
    out.push_back(w.row);
    out.push_back(w.column);
  }
  return out;
}

struct MapShape {
  std::int32_t rows, columns, dimension;
};

TEST(KohonenSimdTest, InitialisationAndTrainingAreIdenticalOnBothPaths) {
  if (!simd::avx2Available()) GTEST_SKIP() << "this processor has no AVX2";
  // Cell counts below one vector block, with short tails, and several blocks.
  for (MapShape shape : {MapShape{3, 3, 2}, MapShape{7, 5, 10}, MapShape{12, 9, 3}, MapShape{20, 20, 13}}) {
    const RealMatrix data = clusteredData(300, shape.dimension, 3u + static_cast<unsigned>(shape.dimension));
    std::vector<double> baseline, avx2;
    {
      ScopedPath p(Path::kBaseline);
      baseline = trainedWeights(shape.rows, shape.columns, data);
    }
    {
      ScopedPath p(Path::kAvx2);
      ASSERT_TRUE(p.ok());
      avx2 = trainedWeights(shape.rows, shape.columns, data);
    }
    ASSERT_EQ(baseline.size(), avx2.size());
    EXPECT_EQ(std::memcmp(baseline.data(), avx2.data(), baseline.size() * sizeof(double)), 0)
        << shape.rows << "x" << shape.columns << " map of dimension " << shape.dimension;
  }
}

// Name of the file a child run of the test below writes its map to (set only in the child).
constexpr char kMapOutVariable[] = "LUMIVANE_TEST_MAP_OUT";

// Emulates a processor without AVX2 and FMA as far as this machine can: a child process whose C
// library picks its plain (non-FMA) routines and whose kernels run the baseline path must train
// the very same map. (Catches any library function in the pipeline whose bits depend on the
// processor, such as the C library's exp.)
TEST(KohonenSimdTest, SameMapInAProcessSetUpForAnotherProcessor) {
  const RealMatrix data = clusteredData(300, 7, 21);
  std::vector<double> weights = trainedWeights(9, 11, data);
  // And the neighbourhood kernels of a whole falling stiffness schedule on a 20 × 20 map: about
  // one library exp in a thousand differs between processors, these are 200,000 of them.
  KohonenNet schedule(20, 20, 1);
  for (int step = 0; step < 500; ++step) {
    schedule.setStiffness(11.0 * (500 - step) / 500);
    const RealMatrix& kernel = schedule.kernel();
    weights.insert(weights.end(), kernel.data(), kernel.data() + kernel.Size());
  }
  if (const char* out = std::getenv(kMapOutVariable)) {
    std::ofstream file(out, std::ios::binary);
    file.write(reinterpret_cast<const char*>(weights.data()),
               static_cast<std::streamsize>(weights.size() * sizeof(double)));
    return;
  }
  lumivane::test::TempDir dir;
  const std::string mapFile = dir.file("map.bin");
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command =
      "GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-AVX2_Usable,-FMA_Usable LUMIVANE_SIMD=baseline " +
      std::string(kMapOutVariable) + "='" + mapFile + "' '" + self +
      "' --gtest_filter=KohonenSimdTest.SameMapInAProcessSetUpForAnotherProcessor > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(mapFile, std::ios::binary);
  std::vector<double> child(weights.size());
  in.read(reinterpret_cast<char*>(child.data()), static_cast<std::streamsize>(child.size() * sizeof(double)));
  ASSERT_EQ(in.gcount(), static_cast<std::streamsize>(child.size() * sizeof(double)));
  EXPECT_EQ(std::memcmp(child.data(), weights.data(), weights.size() * sizeof(double)), 0);
}

// A component that is not a number must not move cells whose kernel value is 0, on either path,
// and the winner search must still return a cell.
TEST(KohonenSimdTest, NotANumberStaysInTheNeighbourhoodOnBothPaths) {
  RealMatrix data = clusteredData(4, 3, 13);
  data(1, 2) = std::numeric_limits<double>::quiet_NaN();
  for (Path path : {Path::kBaseline, Path::kAvx2}) {
    ScopedPath p(path);
    if (!p.ok()) continue;
    platform::crtSrand(9);
    KohonenNet net(5, 8, 3);
    net.setStiffness(0.0);  // only the winner moves
    const std::vector<double> before = allWeights(net);
    net.trainEpoch(data, 0.2);
    const std::vector<double> after = allWeights(net);
    int changedCells = 0, nanCells = 0;
    for (std::size_t i = 0; i < before.size(); i += 3) {
      bool changed = false, nan = false;
      for (std::size_t k = i; k < i + 3; ++k) {
        changed |= std::memcmp(&before[k], &after[k], sizeof(double)) != 0;
        nan |= std::isnan(after[k]);
      }
      changedCells += changed;
      nanCells += nan;
    }
    EXPECT_LE(changedCells, 4) << "path " << static_cast<int>(path);
    EXPECT_LE(nanCells, 1) << "path " << static_cast<int>(path);
  }
}

}  // namespace
