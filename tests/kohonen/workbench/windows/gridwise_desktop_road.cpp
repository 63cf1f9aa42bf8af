// The whole Gridwise road in the real lumivane window on a real (virtual) display: the host
// opens samples/iris.csv, Gridwise is started from its Add-ins menu (the tool library loaded
// from the build's library folder), and every dialog on the way is answered through its own
// controls, as a person would: "Select data source:" with the first column as IDs, "Create
// patterns..." with the four measurements, "Mean / Variance" and principal components, the
// "PC Analyzer", "Create Network..." 5 × 5, a map window, the output with IDs at J2, a cell's
// description and the preferences sheet; then the sheet saved as .xlsx and opened again.
// A screenshot of the screen is kept at every stop. Exits 0 when the sheet holds the 150 rows
// written, 1 on a failure or a stop that never came.
//
// usage: gridwise_desktop_road IRIS_CSV LIBRARY_FOLDER SCREENSHOT_FOLDER
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
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
#include "platform/qt/qt_message_loop.h"
#include "platform/qt/qt_prompter.h"

namespace {

// How long a stop may take to appear, and how long the screen settles before its screenshot.
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

// Clicks from the event loop, so the dialog a click opens runs its own loop outside this stop.
void clickLater(QAbstractButton* button) {
  if (button) QTimer::singleShot(0, button, [button] { button->click(); });
}

void okLater(QWidget* dialog) {
  if (auto* box = dialog ? dialog->findChild<QDialogButtonBox*>() : nullptr)
    clickLater(box->button(QDialogButtonBox::Ok));
}

// The Gridwise main sheet: the visible top-level "Gridwise" window with pages.
QWidget* gridwiseSheet() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == "Gridwise" && w->findChild<QTabWidget*>()) return w;
  return nullptr;
}

bool sheetShows(const QString& text) {
  QWidget* sheet = gridwiseSheet();
  return sheet && !QApplication::activeModalWidget() && childWithText<QLabel>(sheet, text);
}

// The rest of the round trip: the sheet with the map's output saved as .xlsx through the
// window's command, a copy of that file opened again in the window, and every cell of the
// output's rows and columns compared between the two.
bool savedAndReopenedAlike(host::MainWindow& window, host::Host& host, const QString& folder) {
  const QString saved = folder + "/iris-with-map.xlsx", copy = folder + "/iris-with-map-reopened.xlsx";
  QFile::remove(saved);
  QFile::remove(copy);
  if (!window.saveTo(saved) || !QFile::copy(saved, copy) || !window.openFile(copy)) {
    std::fprintf(stderr, "FAIL: the sheet could not be saved as .xlsx and opened again\n");
    return false;
  }
  const std::shared_ptr<host::Workbook> first = host.model().findWorkbook("iris-with-map.xlsx");
  const std::shared_ptr<host::Workbook> again = host.model().findWorkbook("iris-with-map-reopened.xlsx");
  if (!first || !again || again.get() != host.model().activeWorkbook()) {
    std::fprintf(stderr, "FAIL: the saved and the reopened workbook are not both in the window\n");
    return false;
  }
  int differing = 0;
  for (int row = 1; row <= 151; ++row)
    for (int col = 1; col <= 12; ++col)
      differing += !(first->sheet(0).value(row, col) == again->sheet(0).value(row, col));
  std::printf("saved as .xlsx and reopened: %d of %d cells differ\n", differing, 151 * 12);
  for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
  QApplication::primaryScreen()->grabWindow(0).save(folder + "/17-reopened-xlsx.png");
  return differing == 0 && again->sheet(0).value(151, 12).vt() == platform::VT_R8;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gridwise_desktop_road IRIS_CSV LIBRARY_FOLDER SCREENSHOT_FOLDER\n");
    return 2;
  }
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

  const std::vector<Stop> stops = {
      {"the lumivane window with iris", "01-lumivane-iris.png", [&] { return window.isVisible(); },
       [&] {
         for (QAction* menu : window.menuBar()->actions())
           if (menu->menu())
             for (QAction* item : menu->menu()->actions())
               if (item->text().startsWith("Gridwise")) QTimer::singleShot(0, item, &QAction::trigger);
       }},
      {"Select data source:", "", [] { return modal("Select data source:") != nullptr; },
       [] {
         if (auto* ids = modal("Select data source:")->findChild<QCheckBox*>("rowIdsInFirstColumn"))
           ids->setChecked(true);
       }},
      {"Select data source: filled", "02-data-source.png",
       [] { return modal("Select data source:") != nullptr; }, [] { okLater(modal("Select data source:")); }},
      {"the Gridwise sheet", "03-project-page.png", [] { return sheetShows("Net doesn't exist"); },
       [] {
         gridwiseSheet()->move(520, 60);
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
      {"Inputs normalization", "04-normalization.png",
       [] { return modal("Inputs normalization") != nullptr; },
       [] {
         QWidget* d = modal("Inputs normalization");
         if (auto* mean = childWithText<QRadioButton>(d, "Mean / Variance")) mean->setChecked(true);
         okLater(d);
       }},
      {"back in the selector", "", [] { return modal("Select relevant columns") != nullptr; },
       [] {
         if (auto* pcs =
                 childWithText<QCheckBox>(modal("Select relevant columns"), "Extract principal components"))
           pcs->setChecked(true);
       }},
      {"the selector filled", "05-selector.png", [] { return modal("Select relevant columns") != nullptr; },
       [] { okLater(modal("Select relevant columns")); }},
      {"PC Analyzer", "06-pc-analyzer.png", [] { return modal("PC Analyzer") != nullptr; },
       [] { okLater(modal("PC Analyzer")); }},
      {"patterns on the Project page", "07-project-patterns.png",
       [] { return sheetShows("Number of PC's: 2"); },
       [] { clickLater(childWithText<QPushButton>(gridwiseSheet(), "Create Network...")); }},
      {"Create Network", "", [] { return modal("Create Network") != nullptr; },
       [] {
         for (QLineEdit* field : modal("Create Network")->findChildren<QLineEdit*>()) field->setText("5");
       }},
      {"Create Network filled", "08-create-network.png", [] { return modal("Create Network") != nullptr; },
       [] { okLater(modal("Create Network")); }},
      {"the trained map on the Project page", "09-project-network.png",
       [] { return sheetShows("Number of rows: 5"); },
       [] { gridwiseSheet()->findChild<QTabWidget*>()->setCurrentIndex(1); }},
      {"the Results page", "10-results-page.png",
       [] {
         return gridwiseSheet() &&
                childWithText<QPushButton>(gridwiseSheet(), "Create New Map...")->isVisible();
       },
       [] { clickLater(childWithText<QPushButton>(gridwiseSheet(), "Create New Map...")); }},
      {"Create New Map", "11-new-map.png", [] { return modal("Create New Map") != nullptr; },
       [] { okLater(modal("Create New Map")); }},
      {"a map window", "12-map-window.png",
       [] {
         for (QWidget* w : QApplication::topLevelWidgets())
           if (w->isVisible() && w->windowTitle().endsWith(" map")) {
             w->move(20, 330);
             return !QApplication::activeModalWidget();
           }
         return false;
       },
       [] {
         QWidget* sheet = gridwiseSheet();
         sheet->raise();
         sheet->activateWindow();
         childWithText<QCheckBox>(sheet, "Output IDs")->setChecked(true);
         for (QLineEdit* field : sheet->findChildren<QLineEdit*>())
           if (field->maxLength() == 10) field->setText("J2");
         clickLater(childWithText<QPushButton>(sheet, "Output"));
       }},
      {"Output data to Excel?", "13-output-question.png",
       [] {
         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
         return box && box->text() == "Output data to Excel?";
       },
       [] {
         clickLater(qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->button(QMessageBox::Yes));
       }},
      {"the output in the sheet", "14-sheet-with-output.png",
       [&] {
         const host::Sheet& sheet = host.model().activeWorkbook()->sheet(0);
         return !QApplication::activeModalWidget() && !sheet.value(151, 12).isEmpty();
       },
       [] { clickLater(childWithText<QPushButton>(gridwiseSheet(), "Cell Description...")); }},
      {"Cell description", "15-cell-description.png", [] { return modal("Cell description") != nullptr; },
       [] { okLater(modal("Cell description")); }},
      {"back from the cell", "", [] { return gridwiseSheet() && !QApplication::activeModalWidget(); },
       [] {
         for (QAction* menu : gridwiseSheet()->findChild<QMenuBar*>()->actions())
           if (menu->menu())
             for (QAction* item : menu->menu()->actions())
               if (item->menu())
                 for (QAction* entry : item->menu()->actions())
                   if (entry->text() == "&Set Custom...") QTimer::singleShot(0, entry, &QAction::trigger);
       }},
      {"Program preferences", "16-preferences.png", [] { return modal("Program preferences") != nullptr; },
       [] {
         if (auto* box = modal("Program preferences")->findChild<QDialogButtonBox*>())
           clickLater(box->button(QDialogButtonBox::Cancel));
       }},
      {"the sheet after the preferences", "",
       [] { return gridwiseSheet() && !QApplication::activeModalWidget(); }, [] {}},
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
        QApplication::primaryScreen()->grabWindow(0).save(shots + "/stuck.png");
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

  if (status == 0) {
    // Every row: its ID, the row letters and the column number of its cell on the 5 × 5 map.
    const host::Sheet& sheet = host.model().activeWorkbook()->sheet(0);
    int good = 0;
    for (int i = 0; i < 150; ++i) {
      const platform::Variant id = sheet.value(2 + i, 10), letters = sheet.value(2 + i, 11),
                              column = sheet.value(2 + i, 12);
      const bool ok = id == sheet.value(2 + i, 1) && letters.vt() == platform::VT_BSTR &&
                      letters.bstrVal().size() == 1 && letters.bstrVal()[0] >= 'A' &&
                      letters.bstrVal()[0] <= 'E' && column.vt() == platform::VT_R8 && column.dblVal() >= 1 &&
                      column.dblVal() <= 5;
      good += ok;
    }
    std::printf("rows written with ID, row letters A-E and column 1-5: %d of 150\n", good);
    if (good != 150) status = 1;
  }
  if (status == 0 && !savedAndReopenedAlike(window, host, shots)) status = 1;
  // Closing the lumivane window first closes the Gridwise window, then the host's.
  window.close();
  for (int i = 0; i < 50 && gridwiseSheet(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
  if (gridwiseSheet()) {
    std::fprintf(stderr, "FAIL: the Gridwise window stayed open when lumivane was closed\n");
    status = 1;
  }
  return status;
}
