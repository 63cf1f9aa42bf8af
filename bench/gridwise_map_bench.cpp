// Gridwise's map windows: rendering the largest map (255 × 255 cells with names, legend and
// U-matrix bands) into a 1200 × 900 picture, and "Create New Map..." up to the shown window for
// a 20 × 20 map over 10,000 rows (winners, classes, distances, the window and its first picture).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/qt/maps/gridwise_maps.h"
#include "kohonen/workbench/qt/maps/map_renderer.h"
#include "kohonen/workbench/qt/maps/map_window.h"
#include "kohonen/workbench/selector_request.h"
#include "platform/scripted_prompter.h"

namespace {

constexpr std::int32_t kLargestSide = 255;
constexpr int kColours = 10;

// A full-size picture with every cell holding data, varied classes, hits and distances.
MapPicture largestPicture() {
  MapPicture p;
  p.title = "bench map";
  const std::int32_t n = kLargestSide;
  p.classes = MapGrid(n, n, 0);
  p.averages = MapGrid(n, n, 0);
  p.hits = MapGrid(n, n, 0);
  p.horizontal = MapGrid(n, n - 1, 0);
  p.vertical = MapGrid(n - 1, n, 0);
  std::uint32_t state = 12345;
  const auto next = [&] {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
  };
  for (double& v : p.classes.values) v = static_cast<double>(next() % kColours);
  for (double& v : p.hits.values) v = 1 + next() % 40;
  for (double& v : p.horizontal.values) v = next() / 32767.0;
  for (double& v : p.vertical.values) v = next() / 32767.0;
  for (int i = 0; i < kColours; ++i) {
    p.lower.push_back(i);
    p.upper.push_back(i + 1);
    p.colours.push_back({static_cast<std::uint8_t>(25 * i), static_cast<std::uint8_t>(255 - 20 * i), 128});
  }
  return p;
}

void BM_RenderLargestMap(benchmark::State& state) {
  const MapScene scene(largestPicture());
  MapViewOptions options;
  options.cellSize = false;
  options.uMatrix = true;
  options.showNames = true;
  options.extraInfo = true;
  // The names' layouts are made on the first rendering and kept by the window.
  QImage image = renderMapImage(scene, options, QSize(1200, 900));
  for (auto _ : state) {
    image = renderMapImage(scene, options, QSize(1200, 900));
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_RenderLargestMap)->Unit(benchmark::kMillisecond);

// A session over 10,000 rows of four measurements with IDs, patterns made and a 20 × 20 map
// trained for one pass (the picture's cost does not depend on how well the map is trained).
struct OpenMapFixture {
  OpenMapFixture() : scope(prompter) {
    constexpr std::int32_t kRows = 10000;
    table.allocate(4, kRows, true);
    for (std::int32_t c = 0; c < 4; ++c)
      table.columnNames[static_cast<std::size_t>(c)] = "x" + std::to_string(c);
    for (std::int32_t i = 0; i < kRows; ++i) {
      table.rowIds[static_cast<std::size_t>(i)] = "row" + std::to_string(i);
      for (std::int32_t c = 0; c < 4; ++c)
        table.columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
            std::sin(0.37 * i * (c + 1)) + 0.1 * c + (i % (7 + c));
    }
    table.loaded = true;
    session = std::make_unique<GridwiseSession>(table, ExcelConnection::instance(Tool::Gridwise));
    TrainingSettings settings = session->trainingSettings();
    settings.iterations = 1;
    session->applyPreferences(settings, session->palette());
    prompter.answerModal([](platform::ModalDialog& d) {
      auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
      const std::vector<std::int32_t> all{0, 1, 2, 3};
      r.deselectAll();
      r.select(all);
      r.setExtractComponents(false);
      return platform::IDOK;
    });
    if (!session->createPatterns()) std::abort();
    prompter.answerModal([](platform::ModalDialog& d) {
      auto& r = dynamic_cast<NetworkSizeRequest&>(d);
      r.rows = 20;
      r.columns = 20;
      return platform::IDOK;
    });
    if (!session->createNetwork()) std::abort();
    maps = std::make_unique<MapWindowSet>(*session, nullptr);
  }

  platform::ScriptedPrompter prompter;
  platform::PrompterScope scope;
  RawTable table;
  std::unique_ptr<GridwiseSession> session;
  std::unique_ptr<MapWindowSet> maps;
};

void BM_OpenNewMapWindow(benchmark::State& state) {
  OpenMapFixture f;
  for (auto _ : state) {
    f.prompter.answerModal([](platform::ModalDialog& d) {
      auto& r = dynamic_cast<NewMapRequest&>(d);
      r.featureColumn = 2;
      r.colourCount = 5;
      return platform::IDOK;
    });
    std::optional<MapPicture> picture = f.session->createNewMap();
    if (!picture) std::abort();
    f.maps->open(std::move(*picture));
    QApplication::processEvents();  // shown and painted from its first picture
    benchmark::DoNotOptimize(f.maps->window(0)->canvas()->picture().constBits());
    state.PauseTiming();
    f.maps->closeAll();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenNewMapWindow)->Unit(benchmark::kMillisecond);

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
