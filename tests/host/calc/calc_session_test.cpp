// The launcher's session over a running office: the office's close vetoed while a tool window is
// open and passed to the tools as the host window's close is, the user's quit, and an office that
// vanishes.
#include "host/calc/calc_session.h"

#include <gtest/gtest.h>

#include "platform/active_object.h"
#include "platform/scripted_prompter.h"
#include "shared/excel_connection.h"
#include "shared/tool_task.h"
#include "tests/host/calc/calc_test_office.h"
#include "tests/shared/excel_test_support.h"

namespace {

using host::calc::CalcSession;

class CalcSessionTest : public lumivane::test::PromptedTest {
 protected:
  void SetUp() override {
    CALC_TEST_REQUIRE_OFFICE();
    ExcelConnection::instance(Tool::Vantor).reset();
    session = std::make_unique<CalcSession>(calc_test::sharedOffice().office(), loop);
    session->application().addLibrary([](const char* name) { return bridge_test::toolExport(name); });
    session->setEndHandler([this](CalcSession::End end, const std::string& message) {
      ends.push_back(end);
      lastMessage = message;
    });
  }
  void TearDown() override {
    ExcelConnection::instance(Tool::Vantor).reset();
    session.reset();
    PromptedTest::TearDown();
  }
  ExcelConnection& vantor() { return ExcelConnection::instance(Tool::Vantor); }

  platform::QueuedMessageLoop loop;
  std::unique_ptr<CalcSession> session;
  std::vector<CalcSession::End> ends;
  std::string lastMessage;
};

TEST_F(CalcSessionTest, OfficeCloseIsVetoedWhileAToolWindowIsOpenAndGoesToTheTools) {
  auto& office = *calc_test::sharedOffice().office();
  // A tool entered on the session's Application subclasses its host window; a task is open.
  ASSERT_TRUE(vantor().enter(&session->application()));
  EXPECT_NE(session->window().procedure(), session->window().defaultProcedure());
  auto task = std::make_unique<CTask>(vantor(), &session->application());
  session->setToolWindowsOpen(true);

  const int vetoedBefore = session->vetoedCloses();
  EXPECT_FALSE(office.requestTermination());
  EXPECT_EQ(session->vetoedCloses(), vetoedBefore + 1);
  EXPECT_TRUE(office.ping());
  // The close reaches the tool's procedure on the loop, which keeps it while its task lives.
  EXPECT_GE(loop.processPending(), 1);
  EXPECT_NE(session->window().procedure(), session->window().defaultProcedure());
  EXPECT_TRUE(ends.empty());

  // The user's quit with the window still open only asks the tools to close.
  session->requestQuit();
  loop.processPending();
  EXPECT_TRUE(ends.empty());
  EXPECT_EQ(session->end(), CalcSession::End::None);

  // Once the window has gone the quit passes the tool (it lets go of the window and posts the
  // close again) and ends the session.
  task.reset();
  session->setToolWindowsOpen(false);
  session->requestQuit();
  while (loop.processPending() > 0) {
  }
  ASSERT_EQ(ends, std::vector<CalcSession::End>{CalcSession::End::Quit});
  EXPECT_EQ(session->window().procedure(), session->window().defaultProcedure());
  EXPECT_TRUE(office.alive());  // quitting Lumivane leaves Calc running
}

TEST_F(CalcSessionTest, ToolsReachTheOfficeThroughTheRunningApplication) {
  // The session's Application is the running spreadsheet application the tools look up.
  platform::RefPtr<platform::Dispatch> running;
  ASSERT_EQ(platform::GetActiveObject(platform::kSpreadsheetProgId, running), platform::S_OK);
  EXPECT_EQ(running.get(), &session->application());
  EXPECT_EQ(platform::hostWindow(), &session->window());
  // A library that is not there is reported, not loaded.
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(session->startTool("Vantor 3.0", "/nonexistent/libVANTOR3.so", "Vantor3_97"));
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_NE(prompter.messages()[0].text.find("/nonexistent/libVANTOR3.so"), std::string::npos);
}

// An office of its own, killed under the session: the next look notices, the session ends with a
// message that says what happened, and a tool can no longer be started on it.
TEST(CalcSessionKilledOffice, EndsTheSessionWithAMessage) {
  calc_test::TestOffice own("session-killed");
  if (!own.office()) GTEST_SKIP() << own.skipReason();
  if (!own.office()->startedProcess()) GTEST_SKIP() << "the office was not started by this test";
  platform::ScriptedPrompter prompter;
  platform::PrompterScope scope(prompter);
  platform::QueuedMessageLoop loop;
  CalcSession session(own.office(), loop);
  std::vector<CalcSession::End> ends;
  std::string message;
  session.setEndHandler([&](CalcSession::End end, const std::string& text) {
    ends.push_back(end);
    message = text;
  });
  EXPECT_TRUE(session.checkOffice());
  own.kill();
  EXPECT_FALSE(session.checkOffice());
  EXPECT_FALSE(session.checkOffice());  // ends once
  ASSERT_EQ(ends, std::vector<CalcSession::End>{CalcSession::End::OfficeLost});
  EXPECT_NE(message.find("connection to LibreOffice Calc was lost"), std::string::npos) << message;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(session.startTool("Gridwise", "/nonexistent/libGridwise.so", "Gridwise_97"));
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_NE(prompter.messages()[0].text.find("no longer running"), std::string::npos);
}

// The user closes the office with no tool window open: it is not vetoed, and the session ends
// saying that Calc was closed rather than lost.
TEST(CalcSessionClosedOffice, EndsQuietlyWhenTheUserClosesCalc) {
  calc_test::TestOffice own("session-closed");
  if (!own.office()) GTEST_SKIP() << own.skipReason();
  platform::QueuedMessageLoop loop;
  CalcSession session(own.office(), loop);
  std::vector<CalcSession::End> ends;
  session.setEndHandler([&](CalcSession::End end, const std::string&) { ends.push_back(end); });
  EXPECT_TRUE(own.office()->requestTermination());
  EXPECT_FALSE(session.checkOffice());
  EXPECT_EQ(ends, std::vector<CalcSession::End>{CalcSession::End::OfficeClosed});
  EXPECT_EQ(session.vetoedCloses(), 0);
}

}  // namespace
