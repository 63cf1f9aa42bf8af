#include "shared/tool_task.h"

#include <gtest/gtest.h>

#include "excel_test_support.h"
#include "shared/range_reader.h"

namespace bridge_test {
namespace {

// A main window that owns its task and, when asked to close, closes on the next message
// (unless it refuses, as Vantor does while it trains).
class FakeMainWindow final : public TaskMainWindow {
 public:
  FakeMainWindow(std::unique_ptr<CTask> task, std::vector<std::unique_ptr<FakeMainWindow>>& windows)
      : task(std::move(task)), windows_(windows) {
    this->task->setMainWindow(this);
  }
  ~FakeMainWindow() { task->setMainWindow(nullptr); }

  void postClose() override {
    ++closeRequests;
    platform::hostWindow()->loop().post([this] {
      if (refuses) return;
      std::erase_if(windows_, [this](const auto& w) { return w.get() == this; });
    });
  }

  std::unique_ptr<CTask> task;
  int closeRequests = 0;
  bool refuses = false;

 private:
  std::vector<std::unique_ptr<FakeMainWindow>>& windows_;
};

class ToolTaskTest : public BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    sheet().setText(1, 1, "x");
    for (std::int32_t r = 2; r <= 4; ++r) sheet().setNumber(r, 1, r);
  }
  void TearDown() override {
    windows.clear();
    BridgeTest::TearDown();
  }
  MainWindowFactory factory() {
    return [this](std::unique_ptr<CTask> task) {
      windows.push_back(std::make_unique<FakeMainWindow>(std::move(task), windows));
    };
  }
  void answerDialog(const std::string& columns) {
    prompter.answerModal([columns](platform::ModalDialog& dialog) {
      auto& request = dynamic_cast<DataSourceRequest&>(dialog);
      request.choice = DataSourceChoice{columns, 1, 4, true, false};
      return platform::IDOK;
    });
  }
  // Starts a tool with column A read and its window open.
  FakeMainWindow& openTool(Tool tool) {
    answerDialog("A");
    EXPECT_TRUE(runEntrySequence(connection(tool), app(), factory()));
    host->processMessages();
    return *windows.back();
  }

  std::vector<std::unique_ptr<FakeMainWindow>> windows;
};

TEST_F(ToolTaskTest, ConstructionCountsTheTaskAndHoldsTheApplication) {
  ExcelConnection& c = connection(Tool::Gridwise);
  const std::uint32_t refs = app()->addRef() - 1;
  app()->release();
  {
    CTask a(c, app());
    CTask b(c, app());
    EXPECT_EQ(c.runningTasks(), 2);
    EXPECT_EQ(c.tasks(), (std::vector<CTask*>{&a, &b}));
    EXPECT_EQ(connection(Tool::Vantor).runningTasks(), 0);  // each tool counts its own
    EXPECT_EQ(app()->addRef() - 1, refs + 2);
    app()->release();
  }
  EXPECT_EQ(c.runningTasks(), 0);
  EXPECT_TRUE(c.tasks().empty());
  EXPECT_EQ(app()->addRef() - 1, refs);
  app()->release();
}

TEST_F(ToolTaskTest, TheWindowOpensOnlyAfterTheEntryReturned) {
  ExcelConnection& c = connection(Tool::Vantor);
  answerDialog("A");
  ASSERT_TRUE(runEntrySequence(c, app(), factory()));
  EXPECT_TRUE(windows.empty());  // the start waits in the loop
  EXPECT_EQ(c.runningTasks(), 1);
  host->processMessages();
  ASSERT_EQ(windows.size(), 1u);
  const RawTable& table = windows[0]->task->table();
  EXPECT_TRUE(table.loaded);
  EXPECT_EQ(table.columnNames, (std::vector<std::string>{"x"}));
  EXPECT_EQ(table.columns[0], (std::vector<double>{2, 3, 4}));
  EXPECT_EQ(windows[0]->task->mainWindow(), windows[0].get());
  EXPECT_TRUE(c.hostWindowSubclassed());
  windows.clear();
  EXPECT_EQ(c.runningTasks(), 0);
}

TEST_F(ToolTaskTest, NoDataNoWindow) {
  ExcelConnection& c = connection(Tool::Gridwise);
  prompter.answerModal([](platform::ModalDialog&) { return platform::IDCANCEL; });
  ASSERT_TRUE(runEntrySequence(c, app(), factory()));
  answerDialog("A-");  // a list that does not parse
  expectMessages(1);
  ASSERT_TRUE(runEntrySequence(c, app(), factory()));
  EXPECT_EQ(c.runningTasks(), 2);
  host->processMessages();
  EXPECT_TRUE(windows.empty());
  EXPECT_EQ(c.runningTasks(), 0);
}

TEST_F(ToolTaskTest, ARefusedHostStartsNothing) {
  ExcelConnection& c = connection(Tool::Vantor);
  c.setPlatformQuery([](PlatformVersion& v) {
    v = PlatformVersion{kPlatformWin32Nt, 3, 51};
    return true;
  });
  expectMessages(1);
  EXPECT_FALSE(runEntrySequence(c, app(), factory()));
  host->processMessages();
  EXPECT_EQ(prompter.calls().size(), 1u);  // the platform message, no dialog
  EXPECT_EQ(c.runningTasks(), 0);
  EXPECT_FALSE(c.hostWindowSubclassed());
}

TEST_F(ToolTaskTest, ClosingTheHostClosesTheToolsFirst) {
  FakeMainWindow& window = openTool(Tool::Gridwise);
  ExcelConnection& c = connection(Tool::Gridwise);
  host->window().send(platform::WM_CLOSE);
  EXPECT_FALSE(host->closeRequested());
  EXPECT_EQ(window.closeRequests, 1);
  host->processMessages();  // the tool window closes
  EXPECT_TRUE(windows.empty());
  EXPECT_EQ(c.runningTasks(), 0);
  EXPECT_FALSE(host->closeRequested());

  host->window().send(platform::WM_CLOSE);
  EXPECT_FALSE(c.hostWindowSubclassed());
  EXPECT_EQ(host->window().procedure(), host->window().defaultProcedure());
  host->processMessages();  // the close request, posted again, reaches the host
  EXPECT_TRUE(host->closeRequested());
}

TEST_F(ToolTaskTest, AWindowThatRefusesKeepsTheHostOpen) {
  FakeMainWindow& window = openTool(Tool::Vantor);
  window.refuses = true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    host->window().send(platform::WM_CLOSE);
    host->processMessages();
  }
  EXPECT_EQ(window.closeRequests, 2);
  EXPECT_FALSE(host->closeRequested());
  EXPECT_TRUE(connection(Tool::Vantor).hostWindowSubclassed());
}

TEST_F(ToolTaskTest, LibraryExitClosesEveryTaskAndUnhooks) {
  openTool(Tool::Gridwise);
  openTool(Tool::Gridwise);
  ExcelConnection& c = connection(Tool::Gridwise);
  EXPECT_EQ(c.runningTasks(), 2);
  c.libraryExit();  // pumps the loop until both windows have gone
  EXPECT_TRUE(windows.empty());
  EXPECT_EQ(c.runningTasks(), 0);
  EXPECT_EQ(host->window().procedure(), host->window().defaultProcedure());
}

}  // namespace
}  // namespace bridge_test
