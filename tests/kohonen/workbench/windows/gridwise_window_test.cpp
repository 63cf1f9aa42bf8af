// The Gridwise windows driven as a person drives them: the entry export on a host holding
// samples/iris.csv, the main sheet's buttons, fields and menu, the output landing in the sheet
// through the add-in's macros and the reader exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <cstring>
#include <filesystem>
#include <memory>

#include "host/host.h"
#include "host/window/tool_launcher.h"
#include "kohonen/engine/cell_index.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences.h"
#include "kohonen/workbench/qt/main_sheet.h"
#include "kohonen/workbench/qt/maps/gridwise_maps.h"
#include "kohonen/workbench/qt/project_page.h"
#include "kohonen/workbench/qt/results_page.h"
#include "kohonen/workbench/registry_store.h"
#include "kohonen/workbench/selector_request.h"
#include "platform/qt/qt_message_loop.h"
#include "shared/qt/progress_indicator.h"
#include "shared/range_reader.h"
#include "tests/support/test_support.h"

// The library's exports, compiled into this suite.
extern "C" {
void Gridwise(platform::Dispatch* application);
void Gridwise_97(platform::Dispatch* application);
void GridwiseReader(platform::Dispatch* application);
void GridwiseReader97(platform::Dispatch* worksheet);
std::intptr_t GetBookAndSheetGW(platform::Variant* book, platform::Variant* sheet);
int UnregisterRiruzive();
}

namespace {

using platform::IDCANCEL;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;
using platform::MB_ICONINFORMATION;
using platform::MB_ICONQUESTION;
using platform::MB_YESNO;
using platform::ModalDialog;
using platform::Variant;

constexpr std::int32_t kIrisRows = 150;

void* exportOfThisSuite(const char* name) {
  const std::string n(name);
  if (n == "GridwiseReader97") return reinterpret_cast<void*>(&GridwiseReader97);
  if (n == "GridwiseReader") return reinterpret_cast<void*>(&GridwiseReader);
  if (n == "GetBookAndSheetGW") return reinterpret_cast<void*>(&GetBookAndSheetGW);
  return nullptr;
}

class GridwiseWindowTest : public lumivane::test::PromptedTest {
 protected:
  void SetUp() override { startHost(9); }
  void TearDown() override {
    closeAllSheets();
    host.reset();
    ExcelConnection::instance(Tool::Gridwise).reset();
    PromptedTest::TearDown();
  }

  // A host of the version with iris open and active; the add-in reaches this suite's exports.
  void startHost(int version) {
    closeAllSheets();
    host.reset();
    ExcelConnection::instance(Tool::Gridwise).reset();
    host = std::make_unique<host::Host>(version, &loop);
    host->addIn().addLibrary([](const char* name) { return exportOfThisSuite(name); });
    host->model().open(lumivane::test::samplePath("iris.csv"));
  }
  host::Sheet& irisSheet() { return host->model().activeWorkbook()->sheet(0); }
  ExcelConnection& connection() { return ExcelConnection::instance(Tool::Gridwise); }

  // Gridwise_97 with iris's first `rows` data rows, the first column as IDs; returns the sheet
  // that opened (null when none did).
  CMainSheet* startGridwise(std::int32_t rows = kIrisRows, const std::string& columns = "A-I") {
    prompter.answerModal([=](ModalDialog& d) {
      auto& r = dynamic_cast<DataSourceRequest&>(d);
      r.choice.columns = columns;
      r.choice.firstRow = 1;
      r.choice.lastRow = rows + 1;
      r.choice.namesInFirstRow = true;
      r.choice.rowIdsInFirstColumn = true;
      return IDOK;
    });
    const std::vector<CMainSheet*> before = openSheets();
    Gridwise_97(host->application());
    // The task starts from the host window's loop, after the export has returned.
    for (int i = 0; i < 20 && openSheets().size() == before.size(); ++i) QApplication::processEvents();
    for (CMainSheet* s : openSheets())
      if (std::find(before.begin(), before.end(), s) == before.end()) {
        // As a person's click would, the new window becomes the active one.
        EXPECT_TRUE(QTest::qWaitForWindowActive(s));
        return s;
      }
    return nullptr;
  }

  static std::vector<CMainSheet*> openSheets() {
    std::vector<CMainSheet*> sheets;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* s = qobject_cast<CMainSheet*>(w); s && s->isVisible()) sheets.push_back(s);
    return sheets;
  }
  // Runs the event loop until every Gridwise task has ended (the sheets delete themselves).
  void waitForTasksToEnd() {
    for (int i = 0; i < 200 && connection().runningTasks() > 0; ++i) QApplication::processEvents();
  }
  void closeAllSheets() {
    for (CMainSheet* s : openSheets()) s->close();
    waitForTasksToEnd();
  }

  void scriptIrisPatterns() {
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
      r.deselectAll();
      r.select(std::vector<std::int32_t>{0, 1, 2, 3});
      r.normaliseCommand();
      r.setExtractComponents(true);
      return IDOK;
    });
    prompter.answerModal([](ModalDialog& d) {
      dynamic_cast<NormalisationRequest&>(d).button = 1;  // "Mean / Variance"
      return IDOK;
    });
    // The preselection of the "PC Analyzer" stands.
    prompter.answerModal([](ModalDialog&) { return IDOK; });
  }
  void scriptNetworkSize(std::int32_t rows, std::int32_t columns) {
    prompter.answerModal([=](ModalDialog& d) {
      auto& r = dynamic_cast<NetworkSizeRequest&>(d);
      r.rows = rows;
      r.columns = columns;
      return IDOK;
    });
  }
  // Output with the page's controls: the first cell typed, "Output data to Excel?" answered
  // Yes, and OK for each refusal expected.
  void outputAt(CMainSheet& s, const QString& firstCell, int refusals = 0) {
    ResultsPage* page = s.resultsPage();
    page->firstCellField()->clear();
    QTest::keyClicks(page->firstCellField(), firstCell);
    prompter.answerMessage(IDYES);
    for (int i = 0; i < refusals; ++i) prompter.answerMessage(IDOK);
    page->outputButton()->click();
  }
  platform::ScriptedPrompter::Call lastMessage() {
    const auto all = prompter.messages();
    return all.empty() ? platform::ScriptedPrompter::Call{} : all.back();
  }

  // Row i of the working matrix's winner, asked of the engine directly.
  static CellPos winnerOf(GridwiseSession& s, std::int32_t i) {
    const RealMatrix& w = s.dataSet().workingMatrix();
    std::vector<double> x(static_cast<std::size_t>(w.Cols()));
    for (std::int32_t k = 0; k < w.Cols(); ++k) x[static_cast<std::size_t>(k)] = w(i, k);
    return s.net()->findWinner(x.data());
  }
  // The output block at (top, left): ID (when asked), row letters, column number of each row.
  void expectOutputAt(GridwiseSession& s, std::int32_t top, std::int32_t left, bool ids) {
    const std::int32_t n = s.dataSet().rows();
    for (std::int32_t i = 0; i < n; ++i) {
      std::int32_t c = left;
      if (ids) {
        EXPECT_EQ(irisSheet().value(top + i, c++), Variant(s.table().rowIds[std::size_t(i)])) << i;
      }
      const CellPos cell = winnerOf(s, i);
      EXPECT_EQ(irisSheet().value(top + i, c++), Variant(kohonen::rowLetters(cell.row))) << i;
      EXPECT_EQ(irisSheet().value(top + i, c), Variant(static_cast<double>(cell.column + 1))) << i;
    }
    EXPECT_TRUE(irisSheet().value(top + n, left).isEmpty());
  }

  lumivane::test::ConfigHomeScope configHome;
  platform::QtMessageLoop loop;
  std::unique_ptr<host::Host> host;
};

TEST_F(GridwiseWindowTest, IrisRoadThroughTheButtonsIntoTheSheetAndThroughAProject) {
  CMainSheet* sheet = startGridwise();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->windowTitle(), "Gridwise");
  EXPECT_FALSE(sheet->windowIcon().isNull());
  ASSERT_EQ(sheet->pages()->count(), 2);
  EXPECT_EQ(sheet->pages()->tabText(0), "Project");
  EXPECT_EQ(sheet->pages()->tabText(1), "Results");
  EXPECT_EQ(connection().runningTasks(), 1);

  ProjectPage* project = sheet->projectPage();
  ResultsPage* results = sheet->resultsPage();
  // Before patterns: only "Create patterns..." and "Load Project..." do anything.
  EXPECT_EQ(project->patternsList()->count(), 0);
  EXPECT_EQ(project->componentLine(0), "");
  EXPECT_EQ(project->networkLine(0), "Net doesn't exist");
  EXPECT_EQ(project->networkLine(1), "");
  EXPECT_EQ(project->qualityLine(), "");
  EXPECT_TRUE(project->createPatternsButton()->isEnabled());
  EXPECT_TRUE(project->loadProjectButton()->isEnabled());
  EXPECT_FALSE(project->createNetworkButton()->isEnabled());
  EXPECT_FALSE(project->saveProjectButton()->isEnabled());
  EXPECT_FALSE(results->outputButton()->isEnabled());
  EXPECT_FALSE(results->newMapButton()->isEnabled());

  scriptIrisPatterns();
  project->createPatternsButton()->click();
  ASSERT_EQ(project->patternsList()->count(), 4);
  EXPECT_EQ(project->patternsList()->item(0)->text(), "sepal_length_cm (Mean/Variance normalization)");
  EXPECT_EQ(project->patternsList()->item(3)->text(), "petal_width_cm (Mean/Variance normalization)");
  EXPECT_EQ(project->componentLine(0), "Number of PC's: 2");
  EXPECT_EQ(project->componentLine(1), "Info percent: 95");
  EXPECT_TRUE(project->createNetworkButton()->isEnabled());
  EXPECT_FALSE(project->saveProjectButton()->isEnabled());
  EXPECT_FALSE(results->outputButton()->isEnabled());

  scriptNetworkSize(5, 5);
  project->createNetworkButton()->click();
  EXPECT_EQ(project->networkLine(0), "Number of rows: 5");
  EXPECT_EQ(project->networkLine(1), "Number of columns: 5");
  EXPECT_TRUE(project->qualityLine().startsWith("Quantisation error: "))
      << project->qualityLine().toStdString();
  EXPECT_EQ(project->qualityLine().toStdString(), sheet->session().qualityLine());
  EXPECT_EQ(sheet->session().lastTraining().passes, 2000);
  EXPECT_TRUE(project->saveProjectButton()->isEnabled());
  for (QPushButton* b : {results->newMapButton(), results->cellDescriptionButton(), results->findCellButton(),
                         results->outputButton()})
    EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();

  // The first look at the Results page fills the target with the active workbook and sheet.
  sheet->pages()->setCurrentIndex(1);
  EXPECT_TRUE(results->useActiveBox()->isChecked());
  EXPECT_FALSE(results->workbookList()->isEnabled());
  EXPECT_EQ(results->workbookList()->currentText(), "iris.csv");
  EXPECT_EQ(results->worksheetList()->currentText(), "iris");
  EXPECT_EQ(results->firstCellField()->text(), "A1");
  EXPECT_FALSE(results->outputIdsBox()->isChecked());
  EXPECT_EQ(results->firstCellField()->maxLength(), 10);

  lumivane::test::TempDir dir;
  const std::string path = dir.file("iris.gwp");
  prompter.answerFile(path);
  project->saveProjectButton()->click();
  ASSERT_TRUE(std::filesystem::exists(path));

  // The same table in a second window, the project loaded there.
  CMainSheet* second = startGridwise();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(connection().runningTasks(), 2);
  prompter.answerFile(path);
  second->projectPage()->loadProjectButton()->click();
  EXPECT_EQ(second->projectPage()->patternsList()->count(), 4);
  EXPECT_EQ(second->projectPage()->componentLine(0), "Number of PC's: 2");
  EXPECT_EQ(second->projectPage()->networkLine(0), "Number of rows: 5");
  EXPECT_TRUE(second->resultsPage()->outputButton()->isEnabled());
  // Both windows have read the table: the first writes over the measurements at B2.
  results->outputIdsBox()->click();
  EXPECT_TRUE(sheet->session().outputIds());
  // IU1 is column 255: ID, letters and number would need 255 to 257.
  outputAt(*sheet, "IU1", 1);
  EXPECT_EQ(lastMessage().text, "The number of columns is greater than maximum value!");
  EXPECT_EQ(lastMessage().caption, "Gridwise");
  EXPECT_EQ(lastMessage().icon(), MB_ICONINFORMATION);
  EXPECT_TRUE(irisSheet().value(1, 255).isEmpty());

  outputAt(*sheet, "b2");
  EXPECT_EQ(prompter.messages().back().text, "Output data to Excel?");
  EXPECT_EQ(prompter.messages().back().flags, MB_YESNO | MB_ICONQUESTION);
  expectOutputAt(sheet->session(), 2, 2, true);
  EXPECT_FALSE(connection().busy());

  second->pages()->setCurrentIndex(1);
  second->resultsPage()->outputIdsBox()->click();
  outputAt(*second, "G2");
  for (std::int32_t i = 0; i < kIrisRows; ++i)
    for (std::int32_t j = 0; j < 3; ++j)
      EXPECT_EQ(irisSheet().value(2 + i, 7 + j), irisSheet().value(2 + i, 2 + j)) << i << "," << j;

  // Each window ends its own task.
  sheet->close();
  QPointer<CMainSheet> gone(sheet);
  for (int i = 0; i < 20 && gone; ++i) QApplication::processEvents();
  EXPECT_TRUE(gone.isNull());
  EXPECT_EQ(connection().runningTasks(), 1);
  EXPECT_TRUE(prompter.unexpected().empty());
}

TEST_F(GridwiseWindowTest, VersionSevenRowLimitAndTheCellByCellWriteFromThePage) {
  startHost(7);
  CMainSheet* sheet = startGridwise(100);
  ASSERT_NE(sheet, nullptr);
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
    r.deselectAll();
    r.select(std::vector<std::int32_t>{0, 1, 2, 3});
    return IDOK;
  });
  sheet->projectPage()->createPatternsButton()->click();
  EXPECT_EQ(sheet->projectPage()->componentLine(0), "PCs are not supported");
  EXPECT_EQ(sheet->projectPage()->componentLine(1), "Info percent: 100");
  scriptNetworkSize(3, 4);
  sheet->projectPage()->createNetworkButton()->click();
  sheet->pages()->setCurrentIndex(1);

  // 100 rows from 16286 would end at 16385, one beyond version 7's last row.
  outputAt(*sheet, "A16286", 1);
  EXPECT_EQ(lastMessage().text, "The number of rows is greater than maximum value!");
  EXPECT_TRUE(irisSheet().value(16286, 1).isEmpty());
  // Without IDs the last column is the limit: IV1 would write into column 257.
  outputAt(*sheet, "IV1", 1);
  EXPECT_EQ(lastMessage().text, "The number of columns is greater than maximum value!");

  outputAt(*sheet, "A16285");
  expectOutputAt(sheet->session(), 16285, 1, false);
  EXPECT_EQ(irisSheet().value(16384, 1), Variant(kohonen::rowLetters(winnerOf(sheet->session(), 99).row)));
  EXPECT_FALSE(connection().busy());
  EXPECT_TRUE(prompter.unexpected().empty());
}

TEST_F(GridwiseWindowTest, WithoutTheActiveSheetTheListsChooseAnotherWorkbookAndSheet) {
  CMainSheet* sheet = startGridwise();
  ASSERT_NE(sheet, nullptr);
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
    r.deselectAll();
    r.select(std::vector<std::int32_t>{0, 1});
    return IDOK;
  });
  sheet->projectPage()->createPatternsButton()->click();
  scriptNetworkSize(2, 3);
  sheet->projectPage()->createNetworkButton()->click();
  // A second workbook with two sheets; iris stays the active one.
  host::Workbook& other = host->model().newWorkbook();
  other.setName("Results.xlsx");
  other.addSheet("Cells");
  host->model().activate(0);

  ResultsPage* page = sheet->resultsPage();
  sheet->pages()->setCurrentIndex(1);
  page->useActiveBox()->click();
  EXPECT_FALSE(sheet->session().outputPlace().useActive);
  EXPECT_TRUE(page->workbookList()->isEnabled());
  EXPECT_TRUE(page->worksheetList()->isEnabled());
  ASSERT_EQ(page->workbookList()->count(), 2);
  EXPECT_EQ(page->workbookList()->itemText(1), "Results.xlsx");
  EXPECT_EQ(page->worksheetList()->currentText(), "iris");
  // Choosing the workbook refills the sheet list when the list closes.
  page->workbookList()->setCurrentIndex(1);
  emit page->workbookList()->activated(1);
  ASSERT_EQ(page->worksheetList()->count(), 2);
  EXPECT_EQ(page->worksheetList()->itemText(0), "Sheet1");
  page->worksheetList()->setCurrentIndex(1);
  emit page->worksheetList()->activated(1);
  EXPECT_EQ(sheet->session().outputPlace().selectedWorksheet, 1);

  outputAt(*sheet, "C3");
  const host::Sheet& cells = other.sheet(1);
  for (std::int32_t i = 0; i < kIrisRows; ++i) {
    const CellPos cell = winnerOf(sheet->session(), i);
    EXPECT_EQ(cells.value(3 + i, 3), Variant(kohonen::rowLetters(cell.row))) << i;
    EXPECT_EQ(cells.value(3 + i, 4), Variant(static_cast<double>(cell.column + 1))) << i;
  }
  EXPECT_EQ(irisSheet().value(3, 3), Variant(3.0));  // iris itself untouched (iris002)
  // Back to the active sheet: one entry each, disabled.
  page->useActiveBox()->click();
  EXPECT_EQ(page->workbookList()->count(), 1);
  EXPECT_EQ(page->workbookList()->currentText(), "iris.csv");
  EXPECT_FALSE(page->worksheetList()->isEnabled());
  EXPECT_TRUE(prompter.unexpected().empty());
}

TEST_F(GridwiseWindowTest, CancelInTheTrainingWindowKeepsThePartlyTrainedMap) {
  CMainSheet* sheet = startGridwise();
  ASSERT_NE(sheet, nullptr);
  scriptIrisPatterns();
  sheet->projectPage()->createPatternsButton()->click();
  // Enough passes that the training is still running when Cancel is pressed.
  TrainingSettings longer = sheet->session().trainingSettings();
  longer.iterations = 1000000;
  sheet->session().applyPreferences(longer, sheet->session().palette());

  // Presses Cancel in the "Training process..." window as soon as it is up.
  bool pressed = false;
  QTimer presser;
  QObject::connect(&presser, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* indicator = qobject_cast<ProgressIndicator*>(w);
      if (!pressed && indicator && indicator->isVisible() &&
          indicator->variant() == ProgressIndicator::Variant::GridwiseCancellable) {
        EXPECT_FALSE(sheet->isEnabled());  // the sheet is disabled while the map trains
        indicator->cancelButton()->click();
        pressed = true;
      }
    }
  });
  presser.start(20);
  scriptNetworkSize(5, 5);
  sheet->projectPage()->createNetworkButton()->click();
  presser.stop();

  ASSERT_TRUE(pressed);
  EXPECT_TRUE(sheet->session().lastTraining().cancelled);
  EXPECT_LT(sheet->session().lastTraining().passes, 1000000);
  EXPECT_TRUE(sheet->isEnabled());
  EXPECT_EQ(sheet->projectPage()->networkLine(0), "Number of rows: 5");
  EXPECT_TRUE(sheet->projectPage()->saveProjectButton()->isEnabled());
  EXPECT_TRUE(sheet->resultsPage()->outputButton()->isEnabled());
  // The partly trained map answers for every row.
  EXPECT_EQ(sheet->session().cellIndex().dataRowCount(), kIrisRows);
}

TEST_F(GridwiseWindowTest, TablesOfOneRowOrOneColumnAreRefusedByCreatePatterns) {
  CMainSheet* oneRow = startGridwise(1);
  ASSERT_NE(oneRow, nullptr);
  prompter.answerMessage(IDOK);
  oneRow->projectPage()->createPatternsButton()->click();
  EXPECT_EQ(lastMessage().text, "Data must contain more than one row!");
  EXPECT_EQ(lastMessage().icon(), MB_ICONINFORMATION);
  EXPECT_EQ(oneRow->projectPage()->patternsList()->count(), 0);
  EXPECT_FALSE(oneRow->projectPage()->createNetworkButton()->isEnabled());

  // IDs from A and one measurement from B.
  CMainSheet* oneColumn = startGridwise(kIrisRows, "A-B");
  ASSERT_NE(oneColumn, nullptr);
  prompter.answerMessage(IDOK);
  oneColumn->projectPage()->createPatternsButton()->click();
  EXPECT_EQ(lastMessage().text, "Data must contain more than one column!");
  EXPECT_EQ(oneColumn->projectPage()->componentLine(0), "");
  EXPECT_TRUE(prompter.unexpected().empty());
}

TEST_F(GridwiseWindowTest, PreferencesAreReadWhenTheSheetOpensWrittenWhenItClosesAndResetFromTheMenu) {
  CMainSheet* sheet = startGridwise();
  ASSERT_NE(sheet, nullptr);
  // Nothing stored yet: the defaults.
  EXPECT_EQ(sheet->session().trainingSettings().iterations, 2000);
  TrainingSettings custom;
  custom.iterations = 321;
  custom.initialStiffness = 3.5;
  custom.delta = 0.25;
  custom.decayFactor = 0.5;
  PaletteTable palette = sheet->session().palette();
  palette.setColour(3, 1, platform::Rgb{10, 20, 30});
  sheet->session().applyPreferences(custom, palette);
  sheet->close();
  waitForTasksToEnd();

  CMainSheet* next = startGridwise();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->session().trainingSettings().iterations, 321);
  EXPECT_EQ(next->session().trainingSettings().initialStiffness, 3.5);
  EXPECT_EQ(next->session().trainingSettings().delta, 0.25);
  EXPECT_EQ(next->session().trainingSettings().decayFactor, 0.5);
  EXPECT_EQ(next->session().palette(), palette);

  // "Set Defaults": No keeps them, Yes resets both.
  prompter.answerMessage(IDNO);
  next->setDefaultsAction()->trigger();
  EXPECT_EQ(lastMessage().text,
            "Your personal settings will be set to default values.\nDo you wish to continue?");
  EXPECT_EQ(lastMessage().flags, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(lastMessage().caption, "Gridwise");
  EXPECT_EQ(next->session().trainingSettings().iterations, 321);
  prompter.answerMessage(IDYES);
  next->setDefaultsAction()->trigger();
  EXPECT_EQ(next->session().trainingSettings().iterations, 2000);
  EXPECT_EQ(next->session().palette(), PaletteTable());

  // "About" is a box of the tool; F1 finds the help pages.
  prompter.answerMessage(IDOK);
  next->aboutAction()->trigger();
  EXPECT_EQ(lastMessage().caption, "Gridwise");
  EXPECT_EQ(next->helpAction()->shortcut(), QKeySequence(QKeySequence::HelpContents));
  const std::string help = CMainSheet::helpIndexPath();
  EXPECT_TRUE(std::filesystem::is_regular_file(help)) << help;
  EXPECT_TRUE(prompter.unexpected().empty());
}

TEST_F(GridwiseWindowTest, ACloseWhileADialogIsUpWaitsForTheCommand) {
  CMainSheet* sheet = startGridwise();
  ASSERT_NE(sheet, nullptr);
  QPointer<CMainSheet> alive(sheet);
  // The host asks every tool window to close while the selector is open.
  prompter.answerModal([&](ModalDialog&) {
    connection().closeAllTasks();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_FALSE(alive.isNull());
    return IDCANCEL;
  });
  sheet->projectPage()->createPatternsButton()->click();
  ASSERT_FALSE(alive.isNull());
  waitForTasksToEnd();
  EXPECT_TRUE(alive.isNull());
  EXPECT_EQ(connection().runningTasks(), 0);
}

TEST_F(GridwiseWindowTest, ACloseWhileAMapWindowsDialogIsUpWaitsForTheDialog) {
  CMainSheet* sheet = startGridwise();
  ASSERT_NE(sheet, nullptr);
  QPointer<CMainSheet> alive(sheet);
  // A modal dialog of the sheet that no page command opened, as a map window's double click does.
  auto* dialog = new QDialog(sheet);  // owned by the sheet, as the map windows' dialogs are
  bool aliveDuring = false;
  QTimer::singleShot(0, dialog, [&] {
    connection().closeAllTasks();
    for (int i = 0; i < 20; ++i) QTest::qWait(20);
    aliveDuring = !alive.isNull();
    dialog->reject();
  });
  dialog->exec();
  EXPECT_TRUE(aliveDuring);
  for (int i = 0; i < 50 && alive; ++i) QTest::qWait(20);
  EXPECT_TRUE(alive.isNull());
  EXPECT_EQ(connection().runningTasks(), 0);
}

TEST_F(GridwiseWindowTest, TheHostClosesOnlyAfterTheGridwiseWindowsHaveGone) {
  ASSERT_NE(startGridwise(), nullptr);
  ASSERT_NE(startGridwise(), nullptr);
  EXPECT_EQ(openSheets().size(), 2u);
  EXPECT_TRUE(connection().hostWindowSubclassed());
  // The first close only closes the tool windows.
  host->window().send(platform::WM_CLOSE);
  EXPECT_FALSE(host->closeRequested());
  waitForTasksToEnd();
  EXPECT_TRUE(openSheets().empty());
  // The next one takes the hook away and reaches the host.
  host->window().send(platform::WM_CLOSE);
  for (int i = 0; i < 5 && !host->closeRequested(); ++i) QApplication::processEvents();
  EXPECT_FALSE(connection().hostWindowSubclassed());
  EXPECT_TRUE(host->closeRequested());
}

TEST_F(GridwiseWindowTest, ExportsWithoutAPendingOutputAndTheRegistryRemoval) {
  Variant book(std::string("untouched")), sheetName(std::int32_t{7});
  EXPECT_EQ(GetBookAndSheetGW(&book, &sheetName), 0);
  EXPECT_EQ(book, Variant(std::string("untouched")));
  EXPECT_EQ(sheetName, Variant(std::int32_t{7}));
  // The readers do nothing without a pending output.
  GridwiseReader(host->application());
  EXPECT_TRUE(irisSheet().value(1, 10).isEmpty());

  // Without the package key nothing changes; with it the whole tree goes, maker key included.
  ASSERT_TRUE(RegistryKey::create("Software\\Other"));
  UnregisterRiruzive();
  EXPECT_TRUE(RegistryKey::open("Software\\Other"));
  storePreferences(TrainingSettings{}, PaletteTable{});
  ASSERT_TRUE(RegistryKey::create("Software\\Veltrax\\Lumivane\\Gridwise\\Deeper\\Still"));
  ASSERT_TRUE(RegistryKey::open(kGridwiseKey));
  UnregisterRiruzive();
  EXPECT_FALSE(RegistryKey::open(kPackageKey));
  EXPECT_FALSE(RegistryKey::open(kMakerKey));
  EXPECT_TRUE(RegistryKey::open("Software\\Other"));
}

TEST_F(GridwiseWindowTest, AnUnsupportedPlatformStartsNoWindow) {
  connection().setPlatformQuery([](PlatformVersion& v) {
    v.platformId = kPlatformWin32Nt;
    v.majorVersion = 3;
    return true;
  });
  prompter.answerMessage(IDOK);
  Gridwise(host->application());
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  EXPECT_EQ(lastMessage().text, "This platform isn't supported");
  EXPECT_TRUE(openSheets().empty());
  EXPECT_EQ(connection().runningTasks(), 0);
  EXPECT_FALSE(connection().hostWindowSubclassed());
}

// The real library, loaded by the host as its Add-ins menu loads it: its window opens, and
// unloading the library (the host going) closes the window and waits for it before the code
// goes away.
TEST_F(GridwiseWindowTest, TheLoadedLibraryOpensItsWindowAndClosesItWhenUnloaded) {
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<DataSourceRequest&>(d);
    r.choice.columns = "A-I";
    r.choice.firstRow = 1;
    r.choice.lastRow = kIrisRows + 1;
    r.choice.rowIdsInFirstColumn = true;
    return IDOK;
  });
  const std::string folder = std::filesystem::path(GRIDWISE_LIBRARY).parent_path().string();
  ASSERT_TRUE(host::startTool(*host, host::kGridwiseTool, folder));
  // Not this suite's CMainSheet class: the library has its own copy; found by what it shows.
  QPointer<QWidget> window;
  for (int i = 0; i < 20 && !window; ++i) {
    QApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->windowTitle() == "Gridwise" && w->findChild<QTabWidget*>()) window = w;
  }
  ASSERT_FALSE(window.isNull());
  EXPECT_TRUE(openSheets().empty());
  host.reset();
  EXPECT_TRUE(window.isNull());
  EXPECT_TRUE(prompter.unexpected().empty());
}

// The library as the host loads it offers every export by its name.
TEST(GridwiseLibrary, ExportsEveryEntryByName) {
  void* library = dlopen(GRIDWISE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name : {"Gridwise", "Gridwise_97", "GridwiseReader", "GridwiseReader97",
                           "GetBookAndSheetGW", "UnregisterRiruzive"})
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  using BookAndSheet = std::intptr_t (*)(Variant*, Variant*);
  auto query = reinterpret_cast<BookAndSheet>(dlsym(library, "GetBookAndSheetGW"));
  ASSERT_NE(query, nullptr);
  Variant book, sheet;
  EXPECT_EQ(query(&book, &sheet), 0);
  EXPECT_TRUE(book.isEmpty());
  dlclose(library);
}

}  // namespace
