// The Vantor sheet over a host model, linked with the test: its caption, pages and Help menu,
// the Data and Output pages' enabling while training runs and after it ends (without a tab
// change), the close refused during training and the task counted out after the close, and
// the Output page's lists following the host.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mlp/workbench/qt/data_page.h"
#include "mlp/workbench/qt/main_sheet.h"
#include "mlp/workbench/qt/output_page.h"
#include "shared/tool_task.h"
#include "tests/mlp/engine/training_run_test_support.h"
#include "tests/mlp/workbench/windows/window_test_support.h"
#include "tests/shared/data_set_test_tables.h"
#include "tests/shared/excel_test_support.h"

namespace lumivane::test {
namespace {

class VantorSheetTest : public bridge_test::BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    entered(Tool::Vantor);
#ifdef KESTREL_LIBRARY
    std::ofstream(work.file("methinfo")) << KESTREL_LIBRARY << "\n";
#else
    prompter.answerMessage(platform::IDOK);  // the loader's box about the missing list
#endif
    auto task = std::make_unique<CTask>(connection(Tool::Vantor), app());
    task->table() = loadSampleTable("wine.csv");
    task->table().loaded = true;
    sheet = CMainSheet::open(std::move(task), work.path().string());
    ASSERT_NE(sheet.data(), nullptr);
    sheet->resize(640, 480);
  }
  void TearDown() override {
    if (sheet) {
      sheet->session().StopTraining();
      waitUntil([&] { return !sheet->session().isTraining(); });
      delete sheet.data();
    }
    BridgeTest::TearDown();
  }

  // Inputs: the measurements; outputs: the three indicators; a network made by the constructor.
  void prepareNetwork() {
    const RawTable& t = sheet->session().table();
    scriptColumnChoice(prompter, std::vector<std::string>(t.columnNames.begin(), t.columnNames.begin() + 13),
                       "Mean / Variance");
    press(sheet->dataPage()->selectInputsButton());
    scriptColumnChoice(prompter, std::vector<std::string>(t.columnNames.begin() + 14, t.columnNames.end()),
                       "(-1, +1) normalization");
    press(sheet->dataPage()->selectOutputsButton());
    prompter.answerModal([](platform::ModalDialog& d) {
      return dynamic_cast<NetworkConstructorDialog&>(d).accept() ? platform::IDOK : platform::IDCANCEL;
    });
    ASSERT_TRUE(sheet->session().CreateNetwork());
  }

  void answerFile(const std::string& path) {
    prompter.answerFile(path);
  }
  static std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempDir work;
  QPointer<CMainSheet> sheet;
};

TEST_F(VantorSheetTest, CaptionPagesAndHelpMenu) {
  EXPECT_EQ(sheet->windowTitle(), "Vantor 3.0");
  EXPECT_FALSE(sheet->windowIcon().isNull());
  EXPECT_TRUE(sheet->isVisible());
  QTabWidget* tabs = sheet->tabs();
  ASSERT_EQ(tabs->count(), 4);
  const char* titles[] = {"Data", "Network", "Training", "Output"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tabs->tabText(i), titles[i]);
  EXPECT_EQ(tabs->widget(0), sheet->dataPage());
  EXPECT_EQ(tabs->widget(3), sheet->outputPage());

  const auto menus = sheet->menuBar()->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->text(), "&Help");
  const auto items = menus[0]->menu()->actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0]->text(), "Vantor help topics");
  EXPECT_EQ(items[1]->text(), "Save analysis as &job…");
  EXPECT_TRUE(items[2]->isSeparator());
  EXPECT_EQ(items[3]->text(), "&About ...");

  prompter.answerMessage(platform::IDOK);
  items[3]->trigger();
  auto box = prompter.messages().back();
  EXPECT_EQ(box.caption, "About program...");
  EXPECT_EQ(box.text.substr(0, box.text.find('\n')), "Vantor  version 3.0");

  std::string places;
  const std::string index = CMainSheet::helpIndexPath(&places);
  if (index.empty()) {
    // Without the help the command says where it looked.
    prompter.answerMessage(platform::IDOK);
    items[0]->trigger();
    box = prompter.messages().back();
    EXPECT_NE(box.text.find("index.html"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find(places.substr(1, places.find('\n', 1) - 1)), std::string::npos);
  } else {
    EXPECT_TRUE(std::filesystem::is_regular_file(index)) << index;
  }
}

TEST_F(VantorSheetTest, DataPageListsTheChoiceAndFollowsTraining) {
  CDataPage* data = sheet->dataPage();
  EXPECT_EQ(data->inputsList()->count(), 0);
  prepareNetwork();
  const auto lines = sheet->session().InputLines();
  ASSERT_EQ(data->inputsList()->count(), 13);
  EXPECT_EQ(data->inputsList()->item(12)->text().toStdString(), lines[12]);
  ASSERT_EQ(data->outputsList()->count(), 3);
  EXPECT_EQ(data->outputsList()->item(0)->text().toStdString(), sheet->session().OutputLines()[0]);
  EXPECT_TRUE(data->outputsList()->item(0)->text().startsWith("is_cultivar1 ("));

  if (sheet->session().algorithms().algorithms.empty()) GTEST_SKIP() << "kestrel is not part of this build";
  ASSERT_TRUE(sheet->session().StartTraining());
  for (QPushButton* b : {data->selectInputsButton(), data->selectOutputsButton(), data->loadProjectButton(),
                         data->saveProjectButton()})
    EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
  EXPECT_TRUE(data->boxcountingButton()->isEnabled());
  sheet->tabs()->setCurrentIndex(CMainSheet::kOutputPage);
  EXPECT_FALSE(sheet->outputPage()->outputButton()->isEnabled());

  // The close waits for the training; the task stays counted.
  prompter.answerMessage(platform::IDOK);
  sheet->postClose();
  QApplication::processEvents();
  ASSERT_FALSE(sheet.isNull());
  EXPECT_EQ(prompter.messages().back().text, "Stop training process first!");
  EXPECT_EQ(connection(Tool::Vantor).runningTasks(), 1);

  // The end of training re-enables the shown page without a tab change.
  sheet->session().StopTraining();
  ASSERT_TRUE(waitUntil([&] { return sheet->outputPage()->outputButton()->isEnabled(); }));
  EXPECT_TRUE(data->loadProjectButton()->isEnabled());

  // A close while one of its dialogs runs waits for the dialog.
  bool stayed = false;
  {
    QDialog modal(sheet);
    QTimer::singleShot(0, &modal, [&] {
      sheet->postClose();
      QApplication::processEvents();
      stayed = !sheet.isNull() && sheet->isVisible();
      modal.reject();
    });
    modal.exec();
  }
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(sheet->session().networkExists());

  sheet->close();
  ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); }, std::chrono::seconds(5)));
  EXPECT_EQ(connection(Tool::Vantor).runningTasks(), 0);
  EXPECT_TRUE(connection(Tool::Vantor).tasks().empty());
}

TEST_F(VantorSheetTest, ProjectCommandsThroughTheDataPage) {
  prepareNetwork();
  CDataPage* data = sheet->dataPage();
  const std::string first = work.file("wine.vtp"), second = work.file("again.vtp");
  answerFile(first);
  press(data->saveProjectButton());
  ASSERT_TRUE(std::filesystem::exists(first));

  // No to the loss warning: the lists and the network stay.
  prompter.answerMessage(platform::IDNO);
  press(data->loadProjectButton());
  EXPECT_EQ(prompter.messages().back().text,
            "Warning! Your current network and data set will be lost!\nDo you want to continue?");
  EXPECT_TRUE(sheet->session().networkExists());
  EXPECT_EQ(data->inputsList()->count(), 13);

  prompter.answerMessage(platform::IDYES);
  answerFile(first);
  press(data->loadProjectButton());
  EXPECT_TRUE(sheet->session().networkExists());
  EXPECT_EQ(data->inputsList()->count(), 13);
  EXPECT_EQ(data->outputsList()->count(), 3);
  answerFile(second);
  press(data->saveProjectButton());
  EXPECT_EQ(fileBytes(second), fileBytes(first));
}

TEST_F(VantorSheetTest, BoxcountingShowsItsResultsUnderProgress) {
  // Without columns the command refuses before anything runs.
  prompter.answerMessage(platform::IDOK);
  press(sheet->dataPage()->boxcountingButton());
  EXPECT_EQ(prompter.messages().back().text, "Determine the questions first!");
  EXPECT_TRUE(progress.empty());

  prepareNetwork();
  std::string shown;
  prompter.answerModal([&](platform::ModalDialog& d) {
    shown = d.dialogTitle();
    return platform::IDOK;
  });
  press(sheet->dataPage()->boxcountingButton());
  EXPECT_NE(sheet->session().lastBoxCounting(), nullptr);
  EXPECT_FALSE(shown.empty());
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(progress.back()->closed);
}

TEST_F(VantorSheetTest, OutputPageListsFollowTheHostAndShowTheCommandsPlace) {
  host->model().newWorkbook().setName("Other.xlsx");
  host->model().workbook(1).addSheet("Notes");
  sheet->tabs()->setCurrentIndex(CMainSheet::kOutputPage);
  COutputPage* page = sheet->outputPage();
  // Opened on the active workbook and sheet, the lists disabled.
  ASSERT_EQ(page->workbookList()->count(), 1);
  EXPECT_FALSE(page->workbookList()->isEnabled());
  EXPECT_TRUE(page->useActiveCheck()->isChecked());
  EXPECT_TRUE(page->answersOnlyButton()->isChecked());
  const QString activeBook = page->workbookList()->currentText();

  page->useActiveCheck()->click();
  EXPECT_EQ(page->workbookList()->count(), 2);
  EXPECT_TRUE(page->worksheetList()->isEnabled());
  EXPECT_EQ(page->workbookList()->currentIndex(), 0);
  page->workbookList()->setCurrentIndex(1);
  emit page->workbookList()->activated(1);
  ASSERT_GE(page->worksheetList()->count(), 1);
  EXPECT_EQ(page->worksheetList()->itemText(page->worksheetList()->count() - 1), "Notes");

  // The command's refusal leaves the place as it saw it: the cell upper-cased.
  page->firstCellEdit()->setText("b5x");
  prompter.answerMessage(platform::IDOK);
  EXPECT_EQ(page->output(), OutputWriter::Outcome::Refused);
  EXPECT_EQ(prompter.messages().back().text, "Create the network first!");
  EXPECT_EQ(page->firstCellEdit()->text(), "B5X");
  EXPECT_EQ(page->workbookList()->currentText(), "Other.xlsx");

  page->useActiveCheck()->click();
  EXPECT_EQ(page->workbookList()->count(), 1);
  EXPECT_EQ(page->workbookList()->currentText(), activeBook);
  EXPECT_FALSE(page->worksheetList()->isEnabled());
}

}  // namespace
}  // namespace lumivane::test
