// Kohonen map training on workload W2: 10,000 rows × 10 dimensions, a 20 × 20 map started from
// the shared initial codebook. Times one online pass at a wide, the default and a zero
// neighbourhood, and a whole 100-pass run whose stiffness falls linearly from 11 to 0 (the
// radius schedule of the peer run); reports the quantisation error of the result and, when
// W2_CODES_OUT names a file, writes the codebook there for the common quality check. The same
// schedule is also timed pass by pass, for an estimate that holds on a busy machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <vector>

#include "bench/bench_data.h"
#include "kohonen/engine/kohonen_net.h"
#include "kohonen/engine/training_run.h"

namespace {

constexpr int kMapSide = 20;
// The peer's radius starts at 11 (two thirds of the largest unit distance) and reaches 0 at the
// last of its 100 passes; its learning rate falls from 0.05 to 0.01, ours is constant at the mean.
constexpr int kPasses = 100;
constexpr double kStartStiffness = 11.0;
constexpr double kDelta = 0.03;

RealMatrix readMatrix(const std::string& name) {
  const auto rows = lumivane::bench::readCsv(lumivane::bench::dataDir() + "/" + name, true);
  RealMatrix m(static_cast<int>(rows.size()), static_cast<int>(rows.at(0).size()));
  for (int i = 0; i < m.Rows(); ++i)
    for (int j = 0; j < m.Cols(); ++j)
      m(i, j) = rows[static_cast<std::size_t>(i)].at(static_cast<std::size_t>(j));
  return m;
}

const RealMatrix& w2Data() {
  static const RealMatrix data = readMatrix("w2_som_data.csv");
  return data;
}

// The shared initial codebook: codebook row k is cell (k / 20, k % 20).
KohonenNet initialNet() {
  static const RealMatrix codes = readMatrix("w2_som_init_codes.csv");
  KohonenNet net(kMapSide, kMapSide, codes.Cols(), KohonenNet::Uninitialised{});
  for (int k = 0; k < codes.Rows(); ++k)
    for (int j = 0; j < codes.Cols(); ++j) net.setWeight(k / kMapSide, k % kMapSide, j, codes(k, j));
  return net;
}

// Mean Euclidean distance of the rows to their winner.
double quantisationError(const KohonenNet& net, const RealMatrix& data) {
  double sum = 0.0;
  for (int i = 0; i < data.Rows(); ++i) {
    const double* x = data.data() + static_cast<std::ptrdiff_t>(i) * data.Cols();
    const CellPos w = net.findWinner(x);
    sum += net.cellDistance(w.row, w.column, x) * std::sqrt(static_cast<double>(net.dimension()));
  }
  return sum / data.Rows();
}

void writeCodebook(const KohonenNet& net, const char* path) {
  std::ofstream out(path);
  out << std::setprecision(17);
  for (int j = 0; j < net.dimension(); ++j) out << (j ? ",v" : "v") << j + 1;
  out << '\n';
  for (int r = 0; r < net.rows(); ++r)
    for (int c = 0; c < net.columns(); ++c)
      for (int j = 0; j < net.dimension(); ++j)
        out << net.weight(r, c, j) << (j + 1 < net.dimension() ? ',' : '\n');
}

// One online pass at the stiffness given as the argument.
void BM_W2_TrainEpoch(benchmark::State& state) {
  const RealMatrix& data = w2Data();
  KohonenNet net = initialNet();
  net.setStiffness(static_cast<double>(state.range(0)));
  for (auto _ : state) {
    net.trainEpoch(data, kDelta);
    benchmark::ClobberMemory();
  }
  state.counters["rows_per_s"] =
      benchmark::Counter(static_cast<double>(data.Rows()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_W2_TrainEpoch)->Arg(11)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

// The whole 100-pass run; ms_per_pass compares with the peer's per-pass figure.
void BM_W2_Run100(benchmark::State& state) {
  const RealMatrix& data = w2Data();
  TrainingSettings settings{kPasses, kStartStiffness, kDelta, kStartStiffness / kPasses};
  double qe = 0.0;
  double trainingSeconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    KohonenNet net = initialNet();
    state.ResumeTiming();
    NullProgress quiet;
    CellIndex index;
    const auto start = std::chrono::steady_clock::now();
    trainNetwork(net, data, settings, quiet, index);
    trainingSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    qe = quantisationError(net, data);
    if (const char* out = std::getenv("W2_CODES_OUT")) writeCodebook(net, out);
    state.ResumeTiming();
  }
  state.counters["ms_per_pass"] =
      1000.0 * trainingSeconds / (kPasses * static_cast<double>(state.iterations()));
  state.counters["qe"] = qe;
}
BENCHMARK(BM_W2_Run100)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same 100-pass schedule pass by pass, each pass's processor time taken on its own and the
// run repeated: the sum of every pass's fastest time over the repetitions, per pass, estimates
// the undisturbed time on a machine busy with other work (a disturbed pass only ever takes
// longer; time spent waiting for the processor is not counted).
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void BM_W2_FastestPasses(benchmark::State& state) {
  const RealMatrix& data = w2Data();
  std::vector<double> fastest(kPasses, 1e300);
  for (auto _ : state) {
    state.PauseTiming();
    KohonenNet net = initialNet();
    state.ResumeTiming();
    double stiffness = kStartStiffness;
    for (int pass = 0; pass < kPasses; ++pass) {
      const double start = threadSeconds();
      net.setStiffness(stiffness);
      net.trainEpoch(data, kDelta);
      const double seconds = threadSeconds() - start;
      fastest[static_cast<std::size_t>(pass)] = std::min(fastest[static_cast<std::size_t>(pass)], seconds);
      stiffness -= kStartStiffness / kPasses;
      if (!(stiffness > 0.0)) stiffness = 0.0;
    }
  }
  double sum = 0.0;
  for (double s : fastest) sum += s;
  state.counters["ms_per_pass_fastest"] = 1000.0 * sum / kPasses;
}
BENCHMARK(BM_W2_FastestPasses)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
