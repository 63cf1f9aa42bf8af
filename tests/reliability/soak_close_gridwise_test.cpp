// The Gridwise window asked to close while it trains a map, again and again: the host's close
// arrives from the events the progress window lets through, while the training loop runs, now
// and then together with the progress window's Cancel. The window stays until the training
// command has returned, then closes and ends its task; no request stays busy.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/qt/main_sheet.h"
#include "kohonen/workbench/qt/project_page.h"
#include "kohonen/workbench/selector_request.h"
#include "shared/tool_task.h"
#include "tests/shared/data_set_test_tables.h"
#include "tests/shared/excel_test_support.h"
#include "tests/support/test_support.h"

namespace lumivane::test {
namespace {

using platform::IDOK;
using platform::ModalDialog;

// A progress window that lets the test act where the real one would pump events: at every
// poll for its Cancel button.
class HookedProgress final : public ProgressWindow {
 public:
  HookedProgress(ProgressVariant variant, std::function<bool(ProgressVariant)>& poll)
      : variant_(variant), poll_(poll) {}
  void setText(const std::string&) override {}
  void setPosition(int) override {}
  bool cancelRequested() override { return poll_ && poll_(variant_); }
  void bringToForeground() override {}
  void close() override {}

 protected:
  void holdFinished(std::chrono::milliseconds) override {}

 private:
  ProgressVariant variant_;
  std::function<bool(ProgressVariant)>& poll_;
};

class GridwiseCloseSoak : public bridge_test::BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    ToolUi ui;
    ui.pumpEvents = [this] {
      QApplication::processEvents();
      if (host) host->processMessages();
    };
    ui.openProgress = [this](ProgressVariant variant) -> std::unique_ptr<ProgressWindow> {
      return std::make_unique<HookedProgress>(variant, poll);
    };
    setToolUi(std::move(ui));
    entered(Tool::Gridwise);
  }
  void TearDown() override {
    poll = nullptr;
    if (sheet) {
      sheet->close();
      for (int i = 0; i < 20 && sheet; ++i) QApplication::processEvents();
    }
    BridgeTest::TearDown();
  }

  // A new window on iris with patterns of the four measurements and their leading components.
  void openSheet() {
    auto task = std::make_unique<CTask>(connection(Tool::Gridwise), app());
    task->table() = loadSampleTable("iris.csv");
    task->table().loaded = true;
    sheet = new CMainSheet(std::move(task));
    sheet->show();
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
    prompter.answerModal([](ModalDialog&) { return IDOK; });  // the PC Analyzer's preselection
    sheet->projectPage()->createPatternsButton()->click();
    ASSERT_TRUE(sheet->session().canCreateNetwork());
  }

  ExcelConnection& gridwise() { return connection(Tool::Gridwise); }

  std::function<bool(ProgressVariant)> poll;
  QPointer<CMainSheet> sheet;
};

TEST_F(GridwiseCloseSoak, ACloseDuringTrainingWaitsForTheTrainingCommand) {
  constexpr int kRounds = 40;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_NO_FATAL_FAILURE(openSheet());
    const QPointer<CMainSheet> self = sheet;
    // The close comes at a poll a little further into the training every round; every fourth
    // round the Cancel button is pressed with it.
    const int closeAt = 1 + round % 7;
    const bool cancel = round % 4 == 3;
    int polls = 0;
    bool askedDuringTraining = false;
    bool stayedDuringTraining = false;
    poll = [&](ProgressVariant variant) {
      if (variant != ProgressVariant::GridwiseCancellable || ++polls != closeAt) return false;
      askedDuringTraining = self && self->commandRunning();
      gridwise().closeAllTasks();
      for (int i = 0; i < 3; ++i) QApplication::processEvents();
      stayedDuringTraining = !self.isNull() && self->isVisible();
      return cancel;
    };
    prompter.answerModal([](ModalDialog& d) {
      auto& r = dynamic_cast<NetworkSizeRequest&>(d);
      r.rows = 6;
      r.columns = 6;
      return IDOK;
    });
    sheet->projectPage()->createNetworkButton()->click();
    poll = nullptr;
    ASSERT_TRUE(askedDuringTraining);
    ASSERT_TRUE(stayedDuringTraining);
    ASSERT_FALSE(self.isNull());
    EXPECT_TRUE(self->session().hasNet());
    EXPECT_EQ(self->session().lastTraining().cancelled, cancel);
    // The close kept back follows the command.
    for (int i = 0; i < 50 && self; ++i) QApplication::processEvents();
    ASSERT_TRUE(self.isNull());
    ASSERT_EQ(gridwise().runningTasks(), 0);
    ASSERT_TRUE(gridwise().tasks().empty());
    ASSERT_FALSE(gridwise().busy());
    ASSERT_EQ(gridwise().pendingRequest(), nullptr);
  }
}

}  // namespace
}  // namespace lumivane::test
