// "Save analysis as job…" of the Vantor window: an analysis made in the window and saved as a
// job reruns in lumivane-batch to the same project bytes, from the workbook's file or from the
// CSV copy the command offers when the workbook has unsaved changes; a cancelled question
// writes nothing.

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <fstream>
#include <thread>

#include "batch/batch_job.h"
#include "mlp/workbench/qt/main_sheet.h"
#include "platform/random.h"
#include "plugins/rprop/rprop_parameters_dialog.h"
#include "shared/tool_task.h"
#include "tests/batch/batch_process.h"
#include "tests/mlp/workbench/windows/window_test_support.h"
#include "tests/shared/excel_test_support.h"

namespace lumivane::test {
namespace {

using platform::IDCANCEL;
using platform::IDOK;
using platform::IDYES;
using platform::ModalDialog;

// wine.csv from column B: 13 measurements, the cultivar, three indicators.
constexpr int kWineInputs = 13;

class VantorJobTest : public bridge_test::BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    // The generator as a new process starts it, as the batch program's run will find it.
    platform::crtSrand(1);
    wine = &host->model().open(samplePath("wine.csv"));
    for (int i = 0; i < host->model().workbookCount(); ++i)
      if (&host->model().workbook(i) == wine) host->model().activate(i);
    entered(Tool::Vantor);
    // The data source as the dialog confirms it.
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<DataSourceRequest&>(d);
      r.choice.columns = "B-R";
      r.choice.firstRow = 1;
      r.choice.lastRow = 179;
      r.choice.namesInFirstRow = true;
      return IDOK;
    });
    auto task = std::make_unique<CTask>(connection(Tool::Vantor), app());
    ASSERT_TRUE(task->readData());
    sheet = CMainSheet::open(std::move(task), std::string(BATCH_LIBRARY_DIR));
    ASSERT_NE(sheet.data(), nullptr);
  }
  void TearDown() override {
    delete sheet.data();
    BridgeTest::TearDown();
  }

  // The analysis a user makes: inputs and outputs with their normalisations, a random test set,
  // a 6-neuron second-order hidden layer, two of kestrel's parameters, 60 epochs by the
  // criteria (or, byHand, a run stopped once it passed 30 epochs), and the project saved.
  void analyse(bool byHand = false) {
    VantorSession& s = sheet->session();
    const RawTable& t = s.table();
    scriptColumnChoice(prompter, {t.columnNames.begin(), t.columnNames.begin() + kWineInputs},
                       "Mean / Variance");
    ASSERT_TRUE(s.SelectInputs());
    scriptColumnChoice(prompter, {t.columnNames.begin() + kWineInputs + 1, t.columnNames.end()},
                       "(-1, +1) normalization");
    ASSERT_TRUE(s.SelectOutputs());
    prompter.answerModal([](ModalDialog& d) {
      auto& ts = dynamic_cast<TestSetDialog&>(d);
      ts.mode = TestSetMode::RandomTestSet;
      ts.testCount = 40;
      return ts.accept() ? IDOK : IDCANCEL;
    });
    ASSERT_TRUE(s.EditTestSet());
    prompter.answerModal([](ModalDialog& d) {
      auto& n = dynamic_cast<NetworkConstructorDialog&>(d);
      n.rows[0].neurons = 6;
      n.rows[0].orderIndex = 1;
      n.rows[1].functionIndex = 1;
      return n.accept() ? IDOK : IDCANCEL;
    });
    ASSERT_TRUE(s.CreateNetwork());
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<RpropParametersDialog&>(d);
      r.field(RpropParametersDialog::Initial)->setText("0.05");
      r.field(RpropParametersDialog::Increase)->setText("1.1");
      r.accept();
      return r.result() == QDialog::Accepted ? IDOK : IDCANCEL;
    });
    ASSERT_TRUE(s.EditAlgorithm());
    scriptCriteria(prompter, {byHand ? 0 : 1, 59, 0.0f, 0.0f});
    ASSERT_TRUE(s.EditStoppingCriteria());
    ASSERT_TRUE(s.StartTraining());
    if (byHand) {
      while (s.run().Snapshot().epochCounter < 30) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      s.StopTraining();
    }
    while (s.isTraining()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(s.WaitForTrainingEnd());
    if (!byHand) {
      ASSERT_EQ(s.EpochText(), "60");
    }
    prompter.answerFile(desktop.file("desktop.vtp"));
    ASSERT_TRUE(s.SaveProject());
  }

  // The rerun's project holds the same bytes as the window's (compared whole, shown by size).
  void expectSameProject(const batch::Job& job) {
    const std::string rerun = batch_test::readAll(job.text("save-project"));
    const std::string window = batch_test::readAll(desktop.file("desktop.vtp"));
    EXPECT_FALSE(window.empty());
    EXPECT_TRUE(rerun == window) << "rerun " << rerun.size() << " bytes, window " << window.size()
                                 << " bytes";
  }
  batch::Job savedJob(const std::string& path) {
    return batch::parseJobJson(batch_test::readAll(path), path);
  }
  batch_test::ProcessResult rerun(const std::string& jobFile) {
    return batch_test::runBatch({"vantor", "--quiet", "--job", jobFile}, rerunDir.path(), logs.path());
  }

  // The whole screen, menus included, into the suite's screenshot folder (when it has one).
  static void saveScreen(const std::string& name) {
#ifdef VANTOR_SCREENSHOT_DIR
    QApplication::processEvents();
    std::filesystem::create_directories(VANTOR_SCREENSHOT_DIR);
    QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(std::string(VANTOR_SCREENSHOT_DIR) + "/" + name + ".png"));
#else
    (void)name;
#endif
  }

  ConfigHomeScope config;
  TempDir desktop, rerunDir, logs;
  host::Workbook* wine = nullptr;
  QPointer<CMainSheet> sheet;
};

TEST_F(VantorJobTest, TheSavedJobRerunsToTheWindowsProject) {
  ASSERT_NO_FATAL_FAILURE(analyse());
  ASSERT_NE(sheet->saveJobAction(), nullptr);
  EXPECT_EQ(sheet->saveJobAction()->text(), "Save analysis as &job…");
  // The item is on the Help menu, before "About", and enabled once training has stopped.
  QMenu* help = nullptr;
  for (QAction* a : sheet->menuBar()->actions())
    if (a->menu() && a->menu()->actions().contains(sheet->saveJobAction())) help = a->menu();
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->title(), "&Help");
  EXPECT_LT(help->actions().indexOf(sheet->saveJobAction()), help->actions().indexOf(sheet->aboutAction()));
  EXPECT_TRUE(sheet->saveJobAction()->isEnabled());
  help->popup(sheet->mapToGlobal(QPoint(10, sheet->menuBar()->height())));
  ASSERT_TRUE(waitUntil([&] { return help->isVisible(); }));
  saveScreen("vantor_save_job_menu");
  help->close();

  const std::string jobFile = desktop.file("wine-job.json");
  prompter.answerFile(jobFile);
  sheet->saveJobAction()->trigger();
  // The workbook is saved in its file: no question, and the job reads that file.
  EXPECT_TRUE(prompter.messages().empty());
  const batch::Job job = savedJob(jobFile);
  EXPECT_EQ(job.command, batch::Command::Vantor);
  EXPECT_EQ(job.text("data"), samplePath("wine.csv"));
  EXPECT_EQ(job.text("columns"), "B-R");
  EXPECT_EQ(job.integer("last-row"), 179);
  EXPECT_EQ(job.list("inputs").size(), std::size_t(kWineInputs));
  EXPECT_EQ(job.text("input-norm"), "meanvar");
  EXPECT_EQ(job.list("outputs").size(), std::size_t(3));
  EXPECT_EQ(job.text("output-norm"), "minmax");
  EXPECT_EQ(job.text("test-set"), "random");
  EXPECT_EQ(job.integer("test-count"), 40);
  EXPECT_EQ(job.text("net"), "6t2,3l1");
  EXPECT_EQ(job.number("initial-step"), 0.05);
  EXPECT_EQ(job.number("increase"), 1.1);
  // The criteria ended the training, so the job keeps them.
  EXPECT_EQ(job.integer("max-epochs"), 59);
  EXPECT_FALSE(job.has("epochs"));
  EXPECT_FALSE(std::filesystem::exists(desktop.file("wine-job.data.csv")));

  const batch_test::ProcessResult r = rerun(jobFile);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  expectSameProject(job);
}

TEST_F(VantorJobTest, UnsavedChangesOfferACopyOfTheDataThatRerunsTheSame) {
  ASSERT_NO_FATAL_FAILURE(analyse());
  // Cells changed after the data were read: the file no longer holds what the session used.
  wine->sheet(0).setValue(2, 2, platform::Variant(99.0));
  wine->setSaved(false);

  // Cancel: neither the job nor the copy is written.
  const std::string cancelled = desktop.file("cancelled.json");
  prompter.answerFile(cancelled);
  prompter.answerMessage(IDCANCEL);
  EXPECT_FALSE(sheet->saveAnalysisAsJob());
  EXPECT_FALSE(std::filesystem::exists(cancelled));
  EXPECT_FALSE(std::filesystem::exists(desktop.file("cancelled.data.csv")));

  // Yes: the table as the session holds it, beside the job, and the job reads it.
  const std::string jobFile = desktop.file("copy.json");
  prompter.answerFile(jobFile);
  prompter.answerMessage(IDYES);
  ASSERT_TRUE(sheet->saveAnalysisAsJob());
  const auto boxes = prompter.messages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[1].text.find("not saved"), std::string::npos) << boxes[1].text;
  const batch::Job job = savedJob(jobFile);
  EXPECT_EQ(job.text("data"), desktop.file("copy.data.csv"));
  EXPECT_EQ(job.text("columns"), "A-Q");
  EXPECT_EQ(job.integer("last-row"), 179);

  const batch_test::ProcessResult r = rerun(jobFile);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  expectSameProject(job);
}

TEST_F(VantorJobTest, AWorkbookWithoutAFileAndATrainingStoppedByHand) {
  // Without the criteria the job replays the count of epochs.
  ASSERT_NO_FATAL_FAILURE(analyse(true));
  const int epochs = sheet->session().run().Snapshot().epochCounter;
  ASSERT_GE(epochs, 30);

  // The host forgets the file: the only way to a job is the copy (OK) or nothing (Cancel).
  wine->setPath({});
  const std::string jobFile = desktop.file("by-hand.json");
  // A file that already has the copy's name stays the user's until they say Yes.
  const std::string copy = desktop.file("by-hand.data.csv");
  std::ofstream(copy) << "precious\n";
  prompter.answerFile(jobFile);
  prompter.answerMessage(IDOK);
  prompter.answerMessage(platform::IDNO);
  EXPECT_FALSE(sheet->saveAnalysisAsJob());
  EXPECT_EQ(batch_test::readAll(copy), "precious\n");
  EXPECT_FALSE(std::filesystem::exists(jobFile));
  prompter.answerFile(jobFile);
  prompter.answerMessage(IDOK);
  prompter.answerMessage(IDYES);
  ASSERT_TRUE(sheet->saveAnalysisAsJob());
  const auto boxes = prompter.messages();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].buttons(), unsigned(platform::MB_OKCANCEL));
  EXPECT_EQ(boxes[1].buttons(), unsigned(platform::MB_YESNO));
  EXPECT_NE(batch_test::readAll(copy), "precious\n");
  const batch::Job job = savedJob(jobFile);
  EXPECT_EQ(job.integer("epochs"), epochs);
  EXPECT_FALSE(job.has("max-epochs"));

  const batch_test::ProcessResult r = rerun(jobFile);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  expectSameProject(job);
}

}  // namespace
}  // namespace lumivane::test
