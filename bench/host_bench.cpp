// The host window's grid on a full 65,536 x 256 sheet of numbers: one screen painted, whole
// columns A:IV selected and read back as the tools read Selection, the status bar's sums over
// them, and the sheet's memory beside the doubles it holds.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "host/host.h"
#include "host/window/cell_format.h"
#include "host/window/main_window.h"
#include "host/window/sheet_view.h"
#include "host/workbook_io.h"
#include "platform/qt/qt_message_loop.h"

namespace {

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
// Columns A:DX hold values with two decimals, as measurements read from a file have; the rest
// hold results of a computation with every digit (shown rounded to ten digits).
constexpr int kMeasuredColumns = 128;

double measured(std::int32_t row, std::int32_t col) {
  return std::round((row * 0.37 + col) * 100.0) / 100.0;
}
double computed(std::int32_t row, std::int32_t col) {
  return row / 7.0 + col;
}

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096L;
}

// One host with one full sheet, shared by every benchmark (filling it takes a while).
struct FullSheet {
  platform::QtMessageLoop loop;
  host::Host host{9, &loop};
  std::unique_ptr<host::MainWindow> window;
  double memoryRatio = 0;

  FullSheet() {
    const long before = residentBytes();
    host::Workbook& book = host.model().newWorkbook();
    host::Sheet& sheet = book.sheet(0);
    const host::SheetLimits limits = sheet.limits();
    for (std::int32_t col = 1; col <= limits.cols; ++col)
      for (std::int32_t row = 1; row <= limits.rows; ++row)
        sheet.setNumber(row, col, col <= kMeasuredColumns ? measured(row, col) : computed(row, col));
    const double doubles = static_cast<double>(limits.rows) * limits.cols * sizeof(double);
    memoryRatio = static_cast<double>(residentBytes() - before) / doubles;
    window = std::make_unique<host::MainWindow>(host);
    window->resize(kScreenWidth, kScreenHeight);
    window->show();
    QApplication::processEvents();
  }
};

// Made on first use and destroyed before the QApplication.
std::unique_ptr<FullSheet> theSheet;
FullSheet& fullSheet() {
  if (!theSheet) theSheet = std::make_unique<FullSheet>();
  return *theSheet;
}

void BM_PaintOneScreen(benchmark::State& state) {
  FullSheet& f = fullSheet();
  host::SheetView* view = f.window->activeSheetView();
  // Arg 0: a screen of measured values; arg 1: a screen of computed ones.
  const int firstColumn = state.range(0) == 0 ? 0 : kMeasuredColumns;
  view->scrollTo(view->model()->index(30000, firstColumn + 40), QAbstractItemView::PositionAtTop);
  view->horizontalScrollBar()->setValue(view->columnViewportPosition(firstColumn) +
                                        view->horizontalScrollBar()->value());
  QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    view->viewport()->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["cells_shown"] =
      static_cast<double>(view->rowAt(view->viewport()->height()) - view->rowAt(0) + 1) *
      (view->columnAt(view->viewport()->width()) - view->columnAt(0) + 1);
  state.counters["sheet_memory_per_double_byte"] = f.memoryRatio;
}
BENCHMARK(BM_PaintOneScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The full sheet as an .xlsx file (our writer's form), made once in the benchmark data folder.
std::string fullSheetFile() {
  const char* env = std::getenv("LUMIVANE_BENCH_DATA");
  const std::filesystem::path folder = env && *env ? env : LUMIVANE_BENCH_DATA_DEFAULT;
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / "workbook_65536x256.xlsx";
  if (!std::filesystem::exists(file)) {
    host::Workbook book("wide.xlsx", host::kSheetLimits);
    host::Sheet& sheet = book.addSheet("Data");
    for (std::int32_t col = 1; col <= 256; ++col)
      for (std::int32_t row = 1; row <= 65536; ++row) sheet.setNumber(row, col, computed(row, col));
    host::exportWorkbook(book, file.string());
  }
  return file.string();
}

// What File/Open does with the full sheet: read in the reading process, handed back over the
// pipe, shown in a new tab and painted once.
void BM_OpenAndShowFullSheet(benchmark::State& state) {
  const std::string file = fullSheetFile();
  double memoryRatio = 0;
  for (auto _ : state) {
    const long before = residentBytes();
    platform::QtMessageLoop loop;
    host::Host host{9, &loop};
    host.model().setImporter([](const std::string& path, host::SheetLimits limits) {
      host::ImportLimits isolation;
      isolation.sheet = limits;
      isolation.helper = LUMIVANE_IMPORT_HELPER;
      return host::importWorkbookIsolated(path, isolation);
    });
    host::MainWindow window(host);
    window.resize(kScreenWidth, kScreenHeight);
    window.show();
    if (!window.openFile(QString::fromStdString(file))) state.SkipWithError("the file did not open");
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    window.render(&image);
    benchmark::DoNotOptimize(image.constBits());
    // What the opened sheet holds in this process (with the window's own), beside its doubles;
    // from the first open only, as later ones reuse the memory freed by the one before.
    if (memoryRatio == 0)
      memoryRatio = static_cast<double>(residentBytes() - before) / (65536.0 * 256 * sizeof(double));
  }
  state.counters["sheet_memory_per_double_byte"] = memoryRatio;
}
BENCHMARK(BM_OpenAndShowFullSheet)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_SelectColumnsAToIVAndReadSelection(benchmark::State& state) {
  FullSheet& f = fullSheet();
  host::SheetView* view = f.window->activeSheetView();
  QAbstractItemModel* model = view->model();
  std::int32_t columns = 0, rows = 0;
  for (auto _ : state) {
    view->clearSelection();
    // What clicking header A and Shift+clicking header IV does.
    view->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(65535, 255)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Columns);
    platform::RefPtr<platform::Dispatch> range, part;
    platform::Variant value;
    platform::getObjectProperty(f.host.application(), "Selection", range);
    platform::getObjectProperty(range.get(), "Columns", part);
    platform::getProperty(part.get(), "Count", value);
    columns = value.lVal();
    platform::getObjectProperty(range.get(), "Rows", part);
    platform::getProperty(part.get(), "Count", value);
    rows = value.lVal();
  }
  if (columns != 256 || rows != 65536) state.SkipWithError("Selection is not A:IV");
}
BENCHMARK(BM_SelectColumnsAToIVAndReadSelection)->Unit(benchmark::kMicrosecond);

// The status bar's count, sum and average over every cell of the full sheet.
void BM_StatusSumsOverTheWholeSheet(benchmark::State& state) {
  FullSheet& f = fullSheet();
  const host::Sheet& sheet = *f.window->activeSheetView()->sheet();
  for (auto _ : state) {
    const auto stats = host::selectionStatistics(sheet, {host::CellArea{1, 1, 65536, 256}});
    benchmark::DoNotOptimize(stats.sum);
  }
}
BENCHMARK(BM_StatusSumsOverTheWholeSheet)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  theSheet.reset();
  benchmark::Shutdown();
  return 0;
}
