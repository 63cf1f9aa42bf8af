#include "host/window/self_check.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>
#include <cstdio>
#include <fstream>
#include <vector>

#include "host/window/main_window.h"
#include "host/window/sheet_view.h"

namespace host {

namespace {

// Rows and columns of the file compared with the grid.
constexpr int kCheckedRows = 4;
constexpr int kCheckedColumns = 5;
// Mean difference per colour channel (0-255) allowed between the screen and the grid's own
// drawing of a cell: the two come from one renderer, only the screen's colour depth differs.
constexpr double kMaximumMeanDifference = 6.0;

std::vector<std::vector<std::string>> firstFields(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(path);
  std::string line;
  while (static_cast<int>(rows.size()) < kCheckedRows && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (static_cast<int>(fields.size()) < kCheckedColumns) {
      const std::size_t comma = line.find(',', start);
      fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    rows.push_back(std::move(fields));
  }
  return rows;
}

void pause(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

bool takeScreenshot(QScreen* screen, const QString& png) {
  const QString import = QStandardPaths::findExecutable(QStringLiteral("import"));
  if (!import.isEmpty()) {
    QProcess process;
    process.start(import, {QStringLiteral("-window"), QStringLiteral("root"), png});
    // The window keeps painting while the screenshot is taken.
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      process.waitForFinished(20);
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && QImage(png).width() > 0) {
      std::printf("screenshot: import -window root %s\n", png.toLocal8Bit().constData());
      return true;
    }
    std::fprintf(stderr, "import failed (%s); grabbing the screen instead\n",
                 process.readAllStandardError().trimmed().constData());
  }
  const QPixmap shot = screen->grabWindow(0);
  std::printf("screenshot: the display's own grab %s\n", png.toLocal8Bit().constData());
  return !shot.isNull() && shot.save(png, "PNG");
}

double meanDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 1e9;
  double total = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return total / (3.0 * a.width() * a.height());
}

// Pixels clearly darker than the cell's background: the text drawn in it.
int inkPixels(const QImage& cell) {
  int ink = 0;
  for (int y = 0; y < cell.height(); ++y)
    for (int x = 0; x < cell.width(); ++x)
      if (qGray(cell.pixel(x, y)) < 128) ++ink;
  return ink;
}

}  // namespace

int screenshotSelfCheck(MainWindow& window, const QString& png, const std::string& csvPath) {
  QElapsedTimer timer;
  timer.start();
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) && timer.elapsed() < 15000) pause(50);
  if (!window.windowHandle() || !window.windowHandle()->isExposed()) {
    std::fprintf(stderr, "self-check: the window never appeared on the screen\n");
    return 1;
  }
  window.raise();
  window.activateWindow();
  pause(700);

  SheetView* view = window.activeSheetView();
  if (!view) {
    std::fprintf(stderr, "self-check: no sheet is shown\n");
    return 1;
  }
  if (!takeScreenshot(window.screen(), png)) {
    std::fprintf(stderr, "self-check: the screenshot could not be taken\n");
    return 1;
  }
  const QImage screen = QImage(png).convertToFormat(QImage::Format_RGB32);
  const QImage drawn = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QPoint viewportOnScreen =
      view->viewport()->mapToGlobal(QPoint(0, 0)) - window.screen()->geometry().topLeft();

  int failures = 0;
  const auto rows = firstFields(csvPath);
  if (rows.empty()) {
    std::fprintf(stderr, "self-check: cannot read %s\n", csvPath.c_str());
    return 1;
  }
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    for (int c = 0; c < static_cast<int>(rows[r].size()); ++c) {
      const QModelIndex index = view->model()->index(r, c);
      const QString shown = index.data(Qt::DisplayRole).toString();
      const QString expected = QString::fromStdString(rows[r][c]);
      const QRect rect = view->visualRect(index).adjusted(1, 1, -1, -1);
      const QImage onScreen = screen.copy(rect.translated(viewportOnScreen));
      const QImage own = drawn.copy(rect);
      const double difference = meanDifference(onScreen, own);
      const int ink = inkPixels(onScreen);
      const bool ok =
          shown == expected && difference <= kMaximumMeanDifference && (expected.isEmpty() || ink > 0);
      std::printf("%s %s: grid \"%s\", file \"%s\", screen vs grid %.2f, ink %d\n", ok ? "ok  " : "FAIL",
                  cellName(r + 1, c + 1).c_str(), shown.toUtf8().constData(), rows[r][c].c_str(), difference,
                  ink);
      if (!ok) ++failures;
    }
  }
  if (failures) std::fprintf(stderr, "self-check: %d cell(s) not shown as the file holds them\n", failures);
  return failures ? 1 : 0;
}

}  // namespace host
