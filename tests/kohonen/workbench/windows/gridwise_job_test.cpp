// "Save analysis as job…" of the Gridwise window: iris analysed through the window's entry and
// pages, saved as a job from the Program menu and rerun in lumivane-batch, gives the window's
// project bytes; a map whose training was cancelled gives no job.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <optional>

#include "batch/batch_job.h"
#include "host/host.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/qt/main_sheet.h"
#include "kohonen/workbench/qt/project_page.h"
#include "kohonen/workbench/selector_request.h"
#include "platform/qt/qt_message_loop.h"
#include "platform/random.h"
#include "platform/scripted_prompter.h"
#include "shared/range_reader.h"
#include "shared/tool_ui.h"
#include "tests/batch/batch_process.h"
#include "tests/support/test_support.h"

// The library's exports, compiled into this suite.
extern "C" {
void Gridwise_97(platform::Dispatch* application);
void GridwiseReader(platform::Dispatch* application);
void GridwiseReader97(platform::Dispatch* worksheet);
std::intptr_t GetBookAndSheetGW(platform::Variant* book, platform::Variant* sheet);
}

namespace {

using platform::IDCANCEL;
using platform::IDOK;
using platform::ModalDialog;

void* exportOfThisSuite(const char* name) {
  const std::string n(name);
  if (n == "GridwiseReader97") return reinterpret_cast<void*>(&GridwiseReader97);
  if (n == "GridwiseReader") return reinterpret_cast<void*>(&GridwiseReader);
  if (n == "GetBookAndSheetGW") return reinterpret_cast<void*>(&GetBookAndSheetGW);
  return nullptr;
}

class GridwiseJobTest : public lumivane::test::PromptedTest {
 protected:
  void SetUp() override {
    // The generator as a new process starts it, as the batch program's run will find it.
    platform::crtSrand(1);
    host = std::make_unique<host::Host>(9, &loop);
    host->addIn().addLibrary([](const char* name) { return exportOfThisSuite(name); });
    host->model().open(lumivane::test::samplePath("iris.csv"));
    sheet = startGridwise();
    ASSERT_NE(sheet, nullptr);
  }
  void TearDown() override {
    if (savedUi) setToolUi(*savedUi);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* s = qobject_cast<CMainSheet*>(w); s && s->isVisible()) s->close();
    for (int i = 0; i < 200 && ExcelConnection::instance(Tool::Gridwise).runningTasks() > 0; ++i)
      QApplication::processEvents();
    host.reset();
    ExcelConnection::instance(Tool::Gridwise).reset();
    PromptedTest::TearDown();
  }

  // The entry export with iris's measurements and IDs, as the data-source dialog confirms them.
  CMainSheet* startGridwise() {
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<DataSourceRequest&>(d);
      r.choice.columns = "A-I";
      r.choice.firstRow = 1;
      r.choice.lastRow = 151;
      r.choice.namesInFirstRow = true;
      r.choice.rowIdsInFirstColumn = true;
      return IDOK;
    });
    Gridwise_97(host->application());
    for (int i = 0; i < 20; ++i) {
      QApplication::processEvents();
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* s = qobject_cast<CMainSheet*>(w); s && s->isVisible()) return s;
    }
    return nullptr;
  }

  // Patterns of the four measurements, tanh-normalised, three principal components; the map
  // trained with settings of the user's own.
  void analyse(bool cancelTraining = false) {
    TrainingSettings settings = sheet->session().trainingSettings();
    settings.iterations = 300;
    settings.initialStiffness = 1.5;
    sheet->session().applyPreferences(settings, sheet->session().palette());
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
      r.deselectAll();
      r.select(std::vector<std::int32_t>{0, 1, 2, 3});
      r.normaliseCommand();
      r.setExtractComponents(true);
      return IDOK;
    });
    prompter.answerModal([](ModalDialog& d) {
      dynamic_cast<NormalisationRequest&>(d).button = 3;  // tanh
      return IDOK;
    });
    prompter.answerModal([](ModalDialog& d) {
      dynamic_cast<PcAnalyzerRequest&>(d).selectedEntry = 2;  // three components
      return IDOK;
    });
    sheet->projectPage()->createPatternsButton()->click();
    ASSERT_TRUE(sheet->session().hasPatterns());
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<NetworkSizeRequest&>(d);
      r.rows = 4;
      r.columns = 6;
      return IDOK;
    });
    if (cancelTraining) cancelProgressAfterStart();
    sheet->projectPage()->createNetworkButton()->click();
    ASSERT_TRUE(sheet->session().hasNet());
    prompter.answerFile(desktop.file("desktop.gwp"));
    sheet->projectPage()->saveProjectButton()->click();
    ASSERT_TRUE(std::filesystem::exists(desktop.file("desktop.gwp")));
  }
  // The training window's Cancel, pressed as soon as it shows.
  void cancelProgressAfterStart() {
    savedUi = toolUi();
    ToolUi ui = *savedUi;
    ui.openProgress = [open = ui.openProgress](ProgressVariant variant) -> std::unique_ptr<ProgressWindow> {
      if (variant == ProgressVariant::GridwiseCancellable) return std::make_unique<Cancelled>();
      return open(variant);
    };
    setToolUi(std::move(ui));
  }
  struct Cancelled final : ProgressWindow {
    void setText(const std::string&) override {}
    void setPosition(int) override {}
    bool cancelRequested() override { return true; }
    void bringToForeground() override {}
    void close() override {}
  };

  lumivane::test::ConfigHomeScope configHome;
  lumivane::test::TempDir desktop, rerunDir, logs;
  platform::QtMessageLoop loop;
  std::unique_ptr<host::Host> host;
  CMainSheet* sheet = nullptr;
  std::optional<ToolUi> savedUi;
};

TEST_F(GridwiseJobTest, TheSavedJobRerunsToTheWindowsProject) {
  ASSERT_NO_FATAL_FAILURE(analyse());
  ASSERT_NE(sheet->saveJobAction(), nullptr);
  // The item is on the Program menu, where the sheet's commands are.
  QMenu* program = nullptr;
  for (QMenuBar* bar : sheet->findChildren<QMenuBar*>())
    for (QAction* a : bar->actions())
      if (a->menu() && a->menu()->actions().contains(sheet->saveJobAction())) program = a->menu();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->title(), "&Program");
  // Repainted after the training window has gone, then the menu drawn, before the picture.
  QTest::qWait(200);
  program->popup(sheet->mapToGlobal(QPoint(10, 24)));
  QTest::qWait(200);
  EXPECT_TRUE(program->isVisible());
#ifdef GRIDWISE_SCREENSHOT_DIR
  std::filesystem::create_directories(GRIDWISE_SCREENSHOT_DIR);
  QGuiApplication::primaryScreen()->grabWindow(0).save(GRIDWISE_SCREENSHOT_DIR "/gridwise_save_job_menu.png");
#endif
  program->close();
  const std::string jobFile = desktop.file("iris-job.json");
  prompter.answerFile(jobFile);
  sheet->saveJobAction()->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(prompter.messages().empty());

  const batch::Job job = batch::parseJobJson(batch_test::readAll(jobFile), jobFile);
  EXPECT_EQ(job.command, batch::Command::Gridwise);
  EXPECT_EQ(job.text("data"), lumivane::test::samplePath("iris.csv"));
  EXPECT_TRUE(job.flag("row-ids"));
  EXPECT_EQ(job.list("select").size(), 4u);
  EXPECT_EQ(job.text("norm"), "tanh");
  EXPECT_EQ(job.text("pcs"), "3");
  EXPECT_EQ(job.integer("map-rows"), 4);
  EXPECT_EQ(job.integer("map-columns"), 6);
  EXPECT_EQ(job.integer("iterations"), 300);
  EXPECT_EQ(job.number("stiffness"), 1.5);

  const batch_test::ProcessResult r =
      batch_test::runBatch({"gridwise", "--quiet", "--job", jobFile}, rerunDir.path(), logs.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string rerun = batch_test::readAll(job.text("save-project"));
  const std::string window = batch_test::readAll(desktop.file("desktop.gwp"));
  EXPECT_FALSE(window.empty());
  EXPECT_TRUE(rerun == window) << "rerun " << rerun.size() << " bytes, window " << window.size() << " bytes";
}

TEST_F(GridwiseJobTest, AMapWhoseTrainingWasCancelledGivesNoJob) {
  ASSERT_NO_FATAL_FAILURE(analyse(true));
  ASSERT_TRUE(sheet->session().lastTraining().cancelled);
  const std::string jobFile = desktop.file("cancelled.json");
  prompter.answerFile(jobFile);
  prompter.answerMessage(IDOK);
  sheet->saveJobAction()->trigger();
  QApplication::processEvents();
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_NE(prompter.messages()[0].text.find("cancelled"), std::string::npos) << prompter.messages()[0].text;
  EXPECT_FALSE(std::filesystem::exists(jobFile));
  EXPECT_FALSE(std::filesystem::exists(desktop.file("cancelled.data.csv")));
}

}  // namespace
