// Boxcounting on workload W3 (10,000 rows, 10 inputs, y = 2·x2 + sin(3·x5) + x8² + noise):
// the whole run (predictability and significance) as the boxcounting command does it, its two
// halves, and the box statistics of one matrix. The peer figure (scikit-learn's
// mutual_info_regression on the same CSV) comes from bench/workloads/w3/sklearn_w3.py.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "mlp/significance/box_counter.h"
#include "mlp/significance/box_statistics.h"
#include "mlp/significance/input_significance.h"
#include "mlp/significance/output_predictability.h"

namespace {

constexpr int kW3Inputs = 10;

struct W3 {
  RealMatrix inputs;
  RealMatrix output;
  std::vector<std::string> names;
};

const W3& w3() {
  static const W3 data = [] {
    const auto rows = lumivane::bench::readCsv(lumivane::bench::dataDir() + "/w3_relevance.csv", true);
    W3 d{RealMatrix(static_cast<int>(rows.size()), kW3Inputs),
         RealMatrix(static_cast<int>(rows.size()), 1),
         {}};
    for (int i = 0; i < d.inputs.Rows(); ++i) {
      for (int c = 0; c < kW3Inputs; ++c) d.inputs(i, c) = rows[i].at(c);
      d.output(i, 0) = rows[i].at(kW3Inputs);
    }
    for (int c = 0; c < kW3Inputs; ++c) d.names.push_back(std::string("x").append(std::to_string(c + 1)));
    return d;
  }();
  return data;
}

significance::BoxCountOptions options(benchmark::State& state) {
  significance::BoxCountOptions o;
  o.threads = static_cast<unsigned>(state.range(0));
  o.finishPause = std::chrono::milliseconds(0);  // the user-facing pause is not work
  return o;
}

// "x2 x8 x5 …": the inputs by decreasing significance.
std::string ranking(const RealMatrix& s) {
  std::vector<int> order(static_cast<std::size_t>(s.Cols()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return s(0, a) > s(0, b); });
  std::string text;
  for (int i : order) text += w3().names[i] + (i == order.back() ? "" : " ");
  return text;
}

void BM_W3_WholeRun(benchmark::State& state) {
  const W3& d = w3();
  NullProgress progress;
  std::string label;
  for (auto _ : state) {
    significance::BoxCounter counter(d.inputs, d.output, d.names, {"y"});
    counter.setOptions(options(state));
    benchmark::DoNotOptimize(counter.run(progress));
    label = ranking(counter.significance());
    state.counters["upper_bits"] = counter.predictability()(0, 0);
    state.counters["lower_bits"] = counter.predictability()(1, 0);
  }
  state.SetLabel(label);
}
BENCHMARK(BM_W3_WholeRun)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_W3_Predictability(benchmark::State& state) {
  const W3& d = w3();
  NullProgress progress;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        significance::OutputPredictability(d.inputs, d.output, 0, progress, options(state)));
  }
}
BENCHMARK(BM_W3_Predictability)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_W3_Significance(benchmark::State& state) {
  const W3& d = w3();
  NullProgress progress;
  for (auto _ : state) {
    benchmark::DoNotOptimize(significance::InputSignificance(d.inputs, d.output, progress, options(state)));
  }
}
BENCHMARK(BM_W3_Significance)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Box statistics of the first D inputs (D = 1, 2, 11 with the output joined for 11).
void BM_W3_BoxStatistics(benchmark::State& state) {
  const W3& d = w3();
  const int dims = static_cast<int>(state.range(0));
  const RealMatrix all = HorJoin(d.inputs, d.output);
  const RealMatrix m = all(R(-1, -1), R(0, dims - 1));
  for (auto _ : state) benchmark::DoNotOptimize(significance::BoxStatistics(m));
}
BENCHMARK(BM_W3_BoxStatistics)->Arg(1)->Arg(2)->Arg(11)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
