// The Vantor window asked to close while its training thread runs, again and again: by the
// window itself and by the host, while an epoch runs and just as a stopped run ends. Every
// close is either refused with its one box while training goes on or carried out once the
// worker has ended; the window never goes away under the worker, no request stays busy, and
// the task is counted out with the last window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <fstream>
#include <iostream>
#include <memory>

#include "mlp/workbench/qt/main_sheet.h"
#include "shared/tool_task.h"
#include "tests/mlp/workbench/windows/window_test_support.h"
#include "tests/shared/data_set_test_tables.h"
#include "tests/shared/excel_test_support.h"

namespace lumivane::test {
namespace {

constexpr const char* kRefusal = "Stop training process first!";

class VantorCloseSoak : public bridge_test::BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    entered(Tool::Vantor);
    std::ofstream(work.file("methinfo")) << KESTREL_LIBRARY << "\n";
  }
  void TearDown() override {
    if (sheet) {
      sheet->session().StopTraining();
      waitUntil([&] { return !sheet->session().isTraining(); });
      delete sheet.data();
    }
    BridgeTest::TearDown();
  }

  // A new window on wine with a network of the constructor's default shape, ready to train.
  void openSheet() {
    auto task = std::make_unique<CTask>(connection(Tool::Vantor), app());
    task->table() = loadSampleTable("wine.csv");
    task->table().loaded = true;
    sheet = CMainSheet::open(std::move(task), work.path().string());
    ASSERT_NE(sheet.data(), nullptr);
    const RawTable& t = sheet->session().table();
    scriptColumnChoice(prompter, std::vector<std::string>(t.columnNames.begin(), t.columnNames.begin() + 13),
                       "Mean / Variance");
    ASSERT_TRUE(sheet->session().SelectInputs());
    scriptColumnChoice(prompter, std::vector<std::string>(t.columnNames.begin() + 14, t.columnNames.end()),
                       "(-1, +1) normalization");
    ASSERT_TRUE(sheet->session().SelectOutputs());
    prompter.answerModal([](platform::ModalDialog& d) {
      return dynamic_cast<NetworkConstructorDialog&>(d).accept() ? platform::IDOK : platform::IDCANCEL;
    });
    ASSERT_TRUE(sheet->session().CreateNetwork());
  }

  // Boxes the refusal of a close showed so far; any other box fails the test.
  int refusals() {
    int n = 0;
    for (const auto& box : prompter.messages()) {
      EXPECT_EQ(box.text, kRefusal);
      n += box.text == kRefusal;
    }
    return n;
  }

  // A close request, by the window itself or from the host, and the events it needs. The
  // refusal's OK is scripted unless an earlier close left its answer unused.
  void askToClose(bool fromHost) {
    if (prompter.pendingAnswers() == 0) prompter.answerMessage(platform::IDOK);
    if (fromHost)
      connection(Tool::Vantor).closeAllTasks();
    else
      sheet->postClose();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

  TempDir work;
  QPointer<CMainSheet> sheet;
};

TEST_F(VantorCloseSoak, ClosesDuringTrainingAreRefusedOrWaitForTheWorker) {
  ASSERT_NO_FATAL_FAILURE(openSheet());
  ASSERT_FALSE(sheet->session().algorithms().algorithms.empty());
  constexpr int kRounds = 60;
  int closedAtTheEnd = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    if (!sheet) {
      ASSERT_NO_FATAL_FAILURE(openSheet());
    }
    ASSERT_TRUE(sheet->session().StartTraining());
    // Every other round the close waits for a running epoch; the others come at once.
    if (round % 2 == 1) {
      const int epochs = sheet->session().run().Snapshot().epochCounter;
      ASSERT_TRUE(waitUntil([&] { return sheet->session().run().Snapshot().epochCounter > epochs; },
                            std::chrono::seconds(30)));
    }
    const int before = refusals();
    askToClose(round % 3 == 0);
    ASSERT_FALSE(sheet.isNull());
    ASSERT_TRUE(sheet->session().isTraining());
    ASSERT_EQ(refusals(), before + 1);
    EXPECT_EQ(connection(Tool::Vantor).runningTasks(), 1);

    // Stopped, then asked to close before the end has been delivered: refused while the run
    // still counts as training, carried out after the worker otherwise.
    sheet->session().StopTraining();
    const int stopped = refusals();
    askToClose(round % 3 == 1);
    if (sheet) {
      ASSERT_LE(refusals(), stopped + 1);
      ASSERT_TRUE(waitUntil([&] { return !sheet->session().isTraining(); }));
      ASSERT_FALSE(sheet->session().run().IsThreadRunning());
    } else {
      ASSERT_TRUE(
          waitUntil([&] { return connection(Tool::Vantor).runningTasks() == 0; }, std::chrono::seconds(5)));
      // Carried out without a refusal: its scripted OK was not used.
      prompter.discardAnswers();
      ++closedAtTheEnd;
    }
    ASSERT_FALSE(connection(Tool::Vantor).busy());
    ASSERT_EQ(connection(Tool::Vantor).pendingRequest(), nullptr);
  }
  EXPECT_GE(refusals(), kRounds);

  if (sheet) {
    sheet->close();
    ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); }, std::chrono::seconds(5)));
  }
  EXPECT_EQ(connection(Tool::Vantor).runningTasks(), 0);
  EXPECT_TRUE(connection(Tool::Vantor).tasks().empty());
  std::cout << kRounds << " rounds, closed just after the stop in " << closedAtTheEnd << std::endl;
}

}  // namespace
}  // namespace lumivane::test
