// Vantor's error viewer and scattering diagram: the full paint of the error viewer over 100,000
// epochs (the window showing 2,000 of them, all of them, or a logarithmic axis up to them), one
// incremental update (the range rules for one epoch and its two segments drawn into the cached
// image), and the W1 training run (8-16-1 on the 10,000 shared rows, kestrel) with the error
// viewer and the scattering diagram open against the same run with no window open.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. The W1 rows come from the shared
// workload folder (see bench_data.h); kestrel is the plug-in built beside this program.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "bench/bench_data.h"
#include "mlp/workbench/graphs/error_viewer_model.h"
#include "mlp/workbench/graphs/network_snapshot.h"
#include "mlp/workbench/graphs/scatter_model.h"
#include "mlp/workbench/qt/graphs/graph_renderers.h"
#include "mlp/workbench/qt/graphs/vantor_graphs.h"
#include "mlp/workbench/qt/training_notifier.h"
#include "mlp/workbench/vantor_dialogs.h"
#include "mlp/workbench/vantor_session.h"
#include "platform/scripted_prompter.h"

namespace {

constexpr int kEpochs = 100000;
// A viewer of 1100 × 500 on a 1280 × 800 screen.
const ErrorViewerLayout kLayout = ErrorViewerLayout::compute(1280, 800, 1100, 500);

// Training and test errors falling from about 1 with noise, as a long run records them.
struct Histories {
  std::vector<float> training, test;
  Histories() : training(kEpochs + 1), test(kEpochs + 1) {
    for (int i = 0; i <= kEpochs; ++i) {
      const double base = 0.05 + 0.9 / (1.0 + i * 0.001);
      training[static_cast<std::size_t>(i)] = static_cast<float>(base * (1.0 + 0.05 * std::sin(i * 0.7)));
      test[static_cast<std::size_t>(i)] = static_cast<float>(base * (1.2 + 0.08 * std::sin(i * 1.3)));
    }
  }
};
const Histories& histories() {
  static const Histories h;
  return h;
}

// state.range(0): the window W (500 shows 2,000 epochs, 25,000 all of them); range(1): 1 for a
// logarithmic x axis.
void BM_ErrorViewerFullPaint(benchmark::State& state) {
  ErrorViewerModel model;
  model.setScales(state.range(1) != 0, false, static_cast<int>(state.range(0)));
  QImage image(kLayout.width, kLayout.height, QImage::Format_RGB32);
  for (auto _ : state) {
    model.beginFullPaint(kEpochs);
    QPainter painter(&image);
    renderErrorViewer(painter, model, kLayout, histories().training.data(), histories().test.data(),
                      kEpochs + 1);
  }
  benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_ErrorViewerFullPaint)
    ->Args({500, 0})
    ->Args({25000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

// One delivered epoch: the range rules and the two new segments drawn into the cache.
void BM_ErrorViewerIncrementalUpdate(benchmark::State& state) {
  ErrorViewerModel model;
  model.setScales(false, false, 25000);
  model.beginFullPaint(50000);
  QImage image(kLayout.width, kLayout.height, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    renderErrorViewer(painter, model, kLayout, histories().training.data(), histories().test.data(), 50001);
  }
  int epoch = 50000;
  for (auto _ : state) {
    if (++epoch > kEpochs) epoch = 50001;
    const ErrorViewerUpdate update =
        model.advance(histories().training.data(), histories().test.data(), epoch - 1, epoch, kLayout.graph);
    QPainter painter(&image);
    drawErrorSegments(painter, update, kLayout.graph);
  }
  benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_ErrorViewerIncrementalUpdate)->Unit(benchmark::kMicrosecond);

// A session over the W1 rows: 8 inputs, one output, the 8-16-1 network, kestrel selected.
class W1Session {
 public:
  W1Session() {
    const std::vector<std::vector<double>> rows =
        lumivane::bench::readCsv(lumivane::bench::dataDir() + "/w1_mlp_train.csv", true);
    table_.allocate(9, static_cast<std::int32_t>(rows.size()), false);
    for (std::size_t c = 0; c < 9; ++c) {
      table_.columnNames[c] = c < 8 ? "x" + std::to_string(c + 1) : "y";
      std::vector<double> column;
      for (const auto& row : rows) column.push_back(row[c]);
      table_.columns[c] = std::move(column);
    }
    table_.loaded = true;
    folder_ = std::filesystem::temp_directory_path() / "lumivane-graphs-bench";
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "methinfo") << KESTREL_PLUGIN_DEFAULT << "\n";

    platform::PrompterScope scope(prompter_);
    session_ = std::make_unique<VantorSession>(table_, folder_.string());
    if (!session_->Initialise()) std::abort();
    choose({"x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8"});
    if (!session_->SelectInputs()) std::abort();
    choose({"y"});
    if (!session_->SelectOutputs()) std::abort();
    prompter_.answerModal([](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<NetworkConstructorDialog&>(d);
      dialog.rows[0].neurons = 16;
      return dialog.accept() ? platform::IDOK : platform::IDCANCEL;
    });
    if (!session_->CreateNetwork()) std::abort();
    notifier_ = std::make_unique<TrainingNotifier>(*session_);
  }
  ~W1Session() {
    session_->StopTraining();
    session_->run().WaitForTrainingThread();
    notifier_.reset();
    session_.reset();
    std::filesystem::remove_all(folder_);
  }

  // Trains for `seconds` with the event loop running (the deliveries reach the windows) and
  // returns the epochs per second.
  double train(double seconds) {
    session_->ClearHistory();
    const int before = session_->run().Snapshot().epochCounter;
    QElapsedTimer clock;
    clock.start();
    if (!session_->StartTraining()) std::abort();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    session_->StopTraining();
    session_->run().WaitForTrainingThread();
    const double elapsed = clock.nsecsElapsed() * 1e-9;
    const int epochs = session_->run().Snapshot().epochCounter - before;
    // Let the end's delivery reach the windows before the next run.
    QCoreApplication::processEvents();
    return epochs / elapsed;
  }
  VantorSession& session() { return *session_; }

 private:
  void choose(std::vector<std::string> names) {
    prompter_.answerModal([names](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
      dialog.choose(names);
      return dialog.canAccept() ? platform::IDOK : platform::IDCANCEL;
    });
  }

  RawTable table_;
  std::filesystem::path folder_;
  platform::ScriptedPrompter prompter_;
  std::unique_ptr<VantorSession> session_;
  std::unique_ptr<TrainingNotifier> notifier_;
};

W1Session& w1() {
  static W1Session s;
  return s;
}

constexpr double kRunSeconds = 3.0;

// One refresh of the scattering diagram on W1 while stopped: the network copied, 10,000 examples
// evaluated, the 360 × 360 picture drawn.
void BM_ScatterRefreshW1(benchmark::State& state) {
  ScatterModel model;
  QImage image(360, 360, QImage::Format_RGB32);
  for (auto _ : state) {
    const ScatterData data = collectScatterData(NetworkSnapshot::take(w1().session().run()), 0);
    QPainter painter(&image);
    renderScatter(painter, model.layout(data, 360, 360));
  }
}
BENCHMARK(BM_ScatterRefreshW1)->Unit(benchmark::kMillisecond);

// The drawing alone, for the same 10,000 crosses.
void BM_ScatterRenderW1(benchmark::State& state) {
  ScatterModel model;
  const ScatterData data = collectScatterData(NetworkSnapshot::take(w1().session().run()), 0);
  const ScatterGeometry geometry = model.layout(data, 360, 360);
  QImage image(360, 360, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    renderScatter(painter, geometry);
  }
}
BENCHMARK(BM_ScatterRenderW1)->Unit(benchmark::kMillisecond);

// Pairs of runs, one with no window open and one with the error viewer and the scattering
// diagram open, alternating so that a change in the machine's load falls on both alike.
void BM_W1TrainingWithAndWithoutWindows(benchmark::State& state) {
  constexpr int kPairs = 3;
  double none = 0.0, windows = 0.0;
  for (auto _ : state) {
    for (int pair = 0; pair < kPairs; ++pair) {
      none += w1().train(kRunSeconds);
      VantorGraphs graphs(w1().session(), nullptr);
      graphs.showErrorViewer();
      graphs.showScatteringDiagram();
      windows += w1().train(kRunSeconds);
    }
  }
  state.counters["no_window_epochs_per_s"] = none / kPairs;
  state.counters["windows_epochs_per_s"] = windows / kPairs;
  state.counters["loss_percent"] = 100.0 * (1.0 - windows / none);
}
BENCHMARK(BM_W1TrainingWithAndWithoutWindows)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
