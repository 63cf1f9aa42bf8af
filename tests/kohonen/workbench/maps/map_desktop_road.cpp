// Gridwise's map windows in the real lumivane window on a real (virtual) display: the host
// opens samples/iris.csv, Gridwise starts from the Add-ins menu with a coloured palette in its
// preferences, patterns of the four measurements ("Mean / Variance", principal components) and
// a 10 × 10 map are made through the dialogs' own controls, and then the map windows: species
// in average mode with cell sizes, with names and legend, with U-matrix bands; is_setosa in
// existence mode; a double click that opens "Cell description" and a second one that moves it;
// the "Cell finder". A screenshot of the screen is kept at every stop. Exits 0 when every stop
// was reached and the map windows closed with the sheet, 1 otherwise.
//
// usage: gridwise_map_desktop_road IRIS_CSV LIBRARY_FOLDER SCREENSHOT_FOLDER
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/window/main_window.h"
#include "kohonen/workbench/palette_table.h"
#include "kohonen/workbench/preferences.h"
#include "platform/qt/qt_message_loop.h"
#include "platform/qt/qt_prompter.h"

namespace {

constexpr int kStopTimeoutMs = 30000;
constexpr int kSettleMs = 600;
constexpr int kTickMs = 100;

struct Stop {
  std::string name;
  std::string screenshot;  // file name, or empty
  std::function<bool()> reached;
  std::function<void()> act;
};

QWidget* modal(const QString& title) {
  QWidget* w = QApplication::activeModalWidget();
  return w && w->isVisible() && w->windowTitle() == title ? w : nullptr;
}

template <class T>
T* childWithText(QWidget* root, const QString& text) {
  if (!root) return nullptr;
  for (T* child : root->findChildren<T*>())
    if (child->text() == text) return child;
  return nullptr;
}

void clickLater(QAbstractButton* button) {
  if (button) QTimer::singleShot(0, button, [button] { button->click(); });
}

void okLater(QWidget* dialog) {
  if (auto* box = dialog ? dialog->findChild<QDialogButtonBox*>() : nullptr)
    clickLater(box->button(QDialogButtonBox::Ok));
}

QWidget* gridwiseSheet() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == "Gridwise" && w->findChild<QTabWidget*>()) return w;
  return nullptr;
}

bool sheetShows(const QString& text) {
  QWidget* sheet = gridwiseSheet();
  return sheet && !QApplication::activeModalWidget() && childWithText<QLabel>(sheet, text);
}

// The visible map window with that title.
QMainWindow* mapWindow(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible() && m->windowTitle() == title) return m;
  return nullptr;
}

int mapWindowCount() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    n += w->isVisible() && w->windowTitle().endsWith(QStringLiteral(" map"));
  return n;
}

// Triggers the menu command of a map window.
void command(QMainWindow* w, const QString& text) {
  if (!w) return;
  for (QAction* a : w->findChildren<QAction*>())
    if (a->text() == text) {
      a->trigger();
      return;
    }
  std::fprintf(stderr, "no command \"%s\"\n", text.toLocal8Bit().constData());
}

// The middle of cell (r, c) of a rows × columns map drawn in the window's client area.
QPoint cellMiddle(QMainWindow* w, int r, int c, int rows, int columns, int legendLines) {
  QWidget* canvas = w->centralWidget();
  const int gw = canvas->width() - 20;
  const int gh = canvas->height() - 20 - (legendLines > 0 ? 10 + 18 * legendLines : 0);
  return {10 + (c * gw / columns + (c + 1) * gw / columns) / 2,
          10 + (r * gh / rows + (r + 1) * gh / rows) / 2};
}

void doubleClickLater(QMainWindow* w, QPoint at) {
  QTimer::singleShot(0, w, [w, at] {
    QWidget* canvas = w->centralWidget();
    QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(at), canvas->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
  });
}

void chooseNewMap(const QString& feature, bool existence, int colours) {
  QWidget* d = modal("Create New Map");
  if (existence) childWithText<QRadioButton>(d, "existence of some feature in the cell")->click();
  auto* column = d->findChild<QComboBox*>("featureColumn");
  column->setCurrentIndex(column->findText(feature));
  if (!existence) {
    auto* count = d->findChild<QComboBox*>("colourCount");
    count->setCurrentIndex(count->findText(QString::number(colours)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gridwise_map_desktop_road IRIS_CSV LIBRARY_FOLDER SCREENSHOT_FOLDER\n");
    return 2;
  }
  // Three species colours and two for existence, as a user would have set them.
  PaletteTable palette;
  palette.setColour(2, 0, {70, 110, 200});
  palette.setColour(2, 1, {240, 190, 40});
  palette.setColour(3, 0, {214, 60, 50});
  palette.setColour(3, 1, {80, 175, 75});
  palette.setColour(3, 2, {70, 110, 215});
  storePreferences(TrainingSettings{}, palette);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const QString iris = QString::fromLocal8Bit(argv[1]);
  const QString shots = QString::fromLocal8Bit(argv[3]);
  platform::QtPrompter prompter;
  platform::PrompterScope prompterScope(prompter);
  platform::QtMessageLoop loop;
  host::Host host(9, &loop);
  host::MainWindow window(host);
  window.setToolLibraryFolder(QString::fromLocal8Bit(argv[2]));
  if (!window.openFile(iris)) return 1;
  window.setGeometry(0, 0, 1280, 800);
  window.show();
  window.selectUsedArea();

  const QString speciesTitle = QStringLiteral("species map");
  const QString setosaTitle = QStringLiteral("is_setosaexistence  map");
  const auto placed = [](QMainWindow* w, int x, int y) {
    w->move(x, y);
    w->resize(QSize(480, 420) + (w->size() - w->centralWidget()->size()));
  };
  const auto openNewMap = [] {
    QWidget* sheet = gridwiseSheet();
    sheet->raise();
    sheet->activateWindow();
    clickLater(childWithText<QPushButton>(sheet, "Create New Map..."));
  };

  const std::vector<Stop> stops = {
      {"the lumivane window with iris", "", [&] { return window.isVisible(); },
       [&] {
         for (QAction* menu : window.menuBar()->actions())
           if (menu->menu())
             for (QAction* item : menu->menu()->actions())
               if (item->text().startsWith("Gridwise")) QTimer::singleShot(0, item, &QAction::trigger);
       }},
      {"Select data source:", "", [] { return modal("Select data source:") != nullptr; },
       [] {
         QWidget* d = modal("Select data source:");
         if (auto* ids = d->findChild<QCheckBox*>("rowIdsInFirstColumn")) ids->setChecked(true);
         okLater(d);
       }},
      {"the Gridwise sheet", "", [] { return sheetShows("Net doesn't exist"); },
       [] {
         gridwiseSheet()->move(760, 40);
         clickLater(childWithText<QPushButton>(gridwiseSheet(), "Create patterns..."));
       }},
      {"Select relevant columns", "", [] { return modal("Select relevant columns") != nullptr; },
       [] {
         QWidget* d = modal("Select relevant columns");
         QListWidget* all = d->findChildren<QListWidget*>().value(0);
         for (int i = 0; all && i < 4 && i < all->count(); ++i) all->item(i)->setSelected(true);
         clickLater(childWithText<QPushButton>(d, ">"));
       }},
      {"four columns chosen", "", [] { return modal("Select relevant columns") != nullptr; },
       [] { clickLater(childWithText<QPushButton>(modal("Select relevant columns"), "Normalize...")); }},
      {"Inputs normalization", "", [] { return modal("Inputs normalization") != nullptr; },
       [] {
         QWidget* d = modal("Inputs normalization");
         if (auto* mean = childWithText<QRadioButton>(d, "Mean / Variance")) mean->setChecked(true);
         okLater(d);
       }},
      {"back in the selector", "", [] { return modal("Select relevant columns") != nullptr; },
       [] {
         QWidget* d = modal("Select relevant columns");
         if (auto* pcs = childWithText<QCheckBox>(d, "Extract principal components")) pcs->setChecked(true);
         okLater(d);
       }},
      {"PC Analyzer", "", [] { return modal("PC Analyzer") != nullptr; },
       [] { okLater(modal("PC Analyzer")); }},
      {"patterns on the Project page", "", [] { return sheetShows("Number of PC's: 2"); },
       [] { clickLater(childWithText<QPushButton>(gridwiseSheet(), "Create Network...")); }},
      {"Create Network", "", [] { return modal("Create Network") != nullptr; },
       [] {
         for (QLineEdit* field : modal("Create Network")->findChildren<QLineEdit*>()) field->setText("10");
         okLater(modal("Create Network"));
       }},
      {"the trained map", "", [] { return sheetShows("Number of rows: 10"); },
       [] { gridwiseSheet()->findChild<QTabWidget*>()->setCurrentIndex(1); }},
      {"the Results page", "",
       [] {
         QWidget* sheet = gridwiseSheet();
         QPushButton* b = childWithText<QPushButton>(sheet, "Create New Map...");
         return b && b->isVisible();
       },
       openNewMap},
      {"Create New Map for species", "map-01-new-map-dialog.png",
       [] { return modal("Create New Map") != nullptr; },
       [] {
         chooseNewMap("species", false, 3);
         okLater(modal("Create New Map"));
       }},
      {"the species map with cell sizes", "map-02-species-cell-size.png",
       [&] {
         QMainWindow* w = mapWindow(speciesTitle);
         if (!w || QApplication::activeModalWidget()) return false;
         placed(w, 20, 40);
         return true;
       },
       [&] {
         QMainWindow* w = mapWindow(speciesTitle);
         command(w, "&Cell size");
         command(w, "Cell &Names");
         command(w, "Extra &Info");
       }},
      {"the species map with names and legend", "map-03-species-names-legend.png",
       [&] { return mapWindow(speciesTitle) != nullptr; },
       [&] { command(mapWindow(speciesTitle), "&U-matrix"); }},
      {"the species map with U-matrix bands", "map-04-species-umatrix.png",
       [&] { return mapWindow(speciesTitle) != nullptr; }, openNewMap},
      {"Create New Map for is_setosa", "", [] { return modal("Create New Map") != nullptr; },
       [] {
         chooseNewMap("is_setosa", true, 2);
         okLater(modal("Create New Map"));
       }},
      {"the is_setosa existence map", "map-05-setosa-existence.png",
       [&] {
         QMainWindow* w = mapWindow(setosaTitle);
         if (!w || QApplication::activeModalWidget()) return false;
         placed(w, 520, 330);
         command(w, "Extra &Info");
         return true;
       },
       [&] {
         QMainWindow* w = mapWindow(speciesTitle);
         w->raise();
         w->activateWindow();
         doubleClickLater(w, cellMiddle(w, 0, 0, 10, 10, 3));
       }},
      {"Cell description from a double click", "map-06-cell-description-a1.png",
       [] {
         QWidget* d = modal("Cell description");
         if (!d) return false;
         d->move(520, 40);
         return d->findChild<QComboBox*>("activeCell")->currentText() == "A1";
       },
       [&] {
         // A second double click while the dialog is open moves it to that cell.
         QMainWindow* w = mapWindow(speciesTitle);
         doubleClickLater(w, cellMiddle(w, 9, 9, 10, 10, 3));
       }},
      {"Cell description moved by a second double click", "map-07-cell-description-j10.png",
       [] {
         QWidget* d = modal("Cell description");
         return d && d->findChild<QComboBox*>("activeCell")->currentText() == "J10";
       },
       [] { okLater(modal("Cell description")); }},
      {"Find Cell", "", [] { return !QApplication::activeModalWidget() && gridwiseSheet(); },
       [] {
         QWidget* sheet = gridwiseSheet();
         sheet->raise();
         sheet->activateWindow();
         clickLater(childWithText<QPushButton>(sheet, "Find Cell..."));
       }},
      {"Cell finder", "", [] { return modal("Cell finder") != nullptr; },
       [] {
         QWidget* d = modal("Cell finder");
         d->findChild<QLineEdit*>("substring")->setText("iris13");
         childWithText<QPushButton>(d, "Find")->click();
         d->findChild<QListWidget*>("foundIds")->setCurrentRow(0);
       }},
      {"Cell finder with iris130", "map-08-cell-finder.png",
       [] {
         QWidget* d = modal("Cell finder");
         return d && d->findChild<QListWidget*>("foundIds")->count() == 10;
       },
       [] { clickLater(childWithText<QPushButton>(modal("Cell finder"), "Close")); }},
      {"the finder closed", "", [] { return !QApplication::activeModalWidget(); }, [] {}},
  };

  std::size_t next = 0;
  QElapsedTimer sinceStop, sinceReached;
  sinceStop.start();
  bool reached = false;
  int status = -1;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (status >= 0) return;
    if (next == stops.size()) {
      status = 0;
      return;
    }
    const Stop& stop = stops[next];
    if (!reached) {
      if (stop.reached()) {
        reached = true;
        sinceReached.start();
      } else if (sinceStop.elapsed() > kStopTimeoutMs) {
        std::fprintf(stderr, "FAIL: never reached \"%s\"\n", stop.name.c_str());
        QApplication::primaryScreen()->grabWindow(0).save(shots + "/map-stuck.png");
        status = 1;
      }
      return;
    }
    if (sinceReached.elapsed() < kSettleMs) return;
    if (!stop.screenshot.empty()) {
      const QString path = shots + "/" + QString::fromStdString(stop.screenshot);
      QApplication::primaryScreen()->grabWindow(0).save(path);
      std::printf("%s: %s\n", stop.name.c_str(), path.toLocal8Bit().constData());
    } else {
      std::printf("%s\n", stop.name.c_str());
    }
    std::fflush(stdout);
    ++next;
    reached = false;
    sinceStop.start();
    stop.act();
  });
  ticker.start(kTickMs);
  while (status < 0) QApplication::processEvents(QEventLoop::AllEvents, kTickMs);
  ticker.stop();

  const int open = mapWindowCount();
  std::printf("map windows open: %d\n", open);
  if (status == 0 && open != 2) status = 1;
  // Closing lumivane closes the Gridwise sheet, and with it every map window.
  window.close();
  for (int i = 0; i < 50 && (gridwiseSheet() || mapWindowCount() > 0); ++i)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  if (mapWindowCount() > 0) {
    std::fprintf(stderr, "FAIL: %d map windows stayed open when the sheet closed\n", mapWindowCount());
    status = 1;
  }
  return status;
}
