#include "shared/excel_connection.h"

#include <gtest/gtest.h>

#include "excel_test_support.h"
#include "shared/tool_task.h"

namespace bridge_test {
namespace {

using platform::IDOK;
using platform::MB_ICONERROR;
using platform::MB_ICONINFORMATION;
using platform::MB_ICONWARNING;
using platform::Variant;

// An Application that only reports a version text.
platform::RefPtr<ScriptedObject> applicationWithVersion(const std::string& text) {
  auto object = platform::makeRef<ScriptedObject>();
  object->setValue("Version", Variant(text));
  return object;
}

using ConnectionTest = BridgeTest;

TEST_F(ConnectionTest, EachToolHasItsOwnRowOfConstants) {
  for (Tool tool : {Tool::Gridwise, Tool::Vantor}) {
    EXPECT_EQ(toolConstants(tool).tool, tool);
    EXPECT_EQ(&connection(tool).constants(), &toolConstants(tool));
  }
  // Each tool's window procedure leads to its own connection.
  EXPECT_NE(toolConstants(Tool::Gridwise).windowProcedure, toolConstants(Tool::Vantor).windowProcedure);
}

TEST_F(ConnectionTest, VersionTextFirstCharacterDecides) {
  int version = 0;
  ExcelConnection& gridwise = connection(Tool::Gridwise);
  EXPECT_EQ(gridwise.GetExcelVersion(applicationWithVersion(" 8.0").get(), version), platform::S_OK);
  EXPECT_EQ(version, 8);
  EXPECT_EQ(gridwise.GetExcelVersion(applicationWithVersion("\t9.0").get(), version), platform::S_OK);
  EXPECT_EQ(version, 9);
  // An unknown generation counts as the oldest for Gridwise, without a word.
  EXPECT_EQ(gridwise.GetExcelVersion(applicationWithVersion("10.0").get(), version), platform::S_OK);
  EXPECT_EQ(version, 7);
  EXPECT_TRUE(messages().empty());
  // A Version that cannot be read is the only failure.
  auto mute = platform::makeRef<ScriptedObject>();
  EXPECT_EQ(gridwise.GetExcelVersion(mute.get(), version), platform::DISP_E_MEMBERNOTFOUND);
}

TEST_F(ConnectionTest, VantorNamesAnUnknownVersionAndKeepsItsOwn) {
  ExcelConnection& vantor = connection(Tool::Vantor);
  int version = 9;
  expectMessages(1);
  EXPECT_EQ(vantor.GetExcelVersion(applicationWithVersion("10.0").get(), version), platform::S_OK);
  EXPECT_EQ(version, 9);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text, "This Excel version is not supported");
  EXPECT_EQ(messages()[0].caption, "Vantor 3");
  EXPECT_EQ(messages()[0].icon(), MB_ICONERROR);

  // Through the full check a fresh library stays at version 7 and goes on.
  expectMessages(1);
  EXPECT_TRUE(vantor.CheckExcelAndPlatform(applicationWithVersion("10.0").get()));
  EXPECT_EQ(vantor.excelVersion(), 7);
  EXPECT_EQ(vantor.maxRows(), 16384);
}

TEST_F(ConnectionTest, LimitsFollowTheVersion) {
  ExcelConnection& c = connection(Tool::Gridwise);
  ASSERT_TRUE(c.CheckExcelAndPlatform(applicationWithVersion("7.0").get()));
  EXPECT_EQ(c.maxRows(), 16384);
  EXPECT_EQ(c.maxColumns(), 256);
  ASSERT_TRUE(c.CheckExcelAndPlatform(applicationWithVersion("8.0a").get()));
  EXPECT_EQ(c.maxRows(), 65536);
  EXPECT_EQ(c.excelVersion(), 8);
}

TEST_F(ConnectionTest, PlatformChecks) {
  struct Case {
    PlatformVersion os;
    bool queryWorks;
    bool accepted;
    bool nt;
  };
  const Case cases[] = {
      {{kPlatformWin32Windows, 4, 10}, true, true, false},  // 98
      {{kPlatformWin32Nt, 4, 0}, true, true, true},         // NT 4.0
      {{kPlatformWin32Nt, 3, 51}, true, false, true},       // NT 3.51
      {{0, 3, 11}, true, false, false},                     // Win32s
      {{kPlatformWin32Nt, 5, 0}, false, false, false},      // no answer at all
  };
  for (Tool tool : {Tool::Gridwise, Tool::Vantor}) {
    for (const Case& k : cases) {
      SCOPED_TRACE(static_cast<int>(tool) * 100 + k.os.majorVersion);
      ExcelConnection& c = connection(tool);
      c.reset();
      c.setPlatformQuery([k](PlatformVersion& v) {
        v = k.os;
        return k.queryWorks;
      });
      const std::size_t before = messages().size();
      if (!k.accepted) expectMessages(1);
      EXPECT_EQ(c.CheckExcelAndPlatform(app()), k.accepted);
      if (k.accepted) {
        EXPECT_EQ(c.ntPlatform(), k.nt);
        EXPECT_EQ(messages().size(), before);
      } else {
        ASSERT_EQ(messages().size(), before + 1);
        const auto m = messages().back();
        EXPECT_EQ(m.text, tool == Tool::Gridwise ? "This platform isn't supported"
                                                 : "This Windows platform isn't supported");
        EXPECT_EQ(m.caption, tool == Tool::Gridwise ? "Gridwise" : "Vantor 3");
        EXPECT_EQ(m.icon(), MB_ICONERROR);
      }
    }
  }
}

TEST_F(ConnectionTest, UnreadableVersionStopsTheCheckWithEachToolsWords) {
  auto mute = platform::makeRef<ScriptedObject>();
  expectMessages(2);
  EXPECT_FALSE(connection(Tool::Gridwise).CheckExcelAndPlatform(mute.get()));
  EXPECT_FALSE(connection(Tool::Vantor).CheckExcelAndPlatform(mute.get()));
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0].text, "Bad Excel Version");
  EXPECT_EQ(messages()[0].caption, "Gridwise");
  EXPECT_EQ(messages()[1].text, "This Excel version is not supported!");
  EXPECT_EQ(messages()[1].caption, "Vantor 3");
  EXPECT_EQ(messages()[1].icon(), MB_ICONERROR);
}

TEST_F(ConnectionTest, CellConversions) {
  ExcelConnection& c = entered(Tool::Vantor);
  sheet().setText(1, 1, "12");
  sheet().setNumber(2, 1, 2.5);
  sheet().setBoolean(3, 1, true);
  sheet().setDate(4, 1, 36526);  // 1 January 2000
  sheet().setError(5, 1, host::kErrorNA);
  platform::RefPtr<platform::Dispatch> sheetObject, cells;
  ASSERT_EQ(platform::getObjectProperty(app(), "ActiveSheet", sheetObject), platform::S_OK);
  ASSERT_EQ(platform::getObjectProperty(sheetObject.get(), "Cells", cells), platform::S_OK);

  double number = -1;
  std::string text = "unchanged";
  EXPECT_EQ(c.GetCellNumber(cells.get(), 1, 1, number), platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(c.GetCellText(cells.get(), 1, 1, text), platform::S_OK);
  EXPECT_EQ(text, "12");
  EXPECT_EQ(c.GetCellNumber(cells.get(), 2, 1, number), platform::S_OK);
  EXPECT_EQ(number, 2.5);
  EXPECT_EQ(c.GetCellText(cells.get(), 2, 1, text), platform::S_OK);
  EXPECT_EQ(text, "2.5");
  EXPECT_EQ(c.GetCellNumber(cells.get(), 3, 1, number), platform::S_OK);
  EXPECT_EQ(number, -1.0);  // automation's TRUE
  EXPECT_EQ(c.GetCellText(cells.get(), 3, 1, text), platform::S_OK);
  EXPECT_EQ(text, "TRUE");
  EXPECT_EQ(c.GetCellNumber(cells.get(), 4, 1, number), platform::S_OK);
  EXPECT_EQ(number, 36526.0);
  EXPECT_EQ(c.GetCellText(cells.get(), 4, 1, text), platform::S_OK);
  EXPECT_EQ(text, "1/1/2000");
  text = "kept";
  number = 7;
  for (std::int32_t row : {5, 6}) {  // an error value and an empty cell
    EXPECT_EQ(c.GetCellNumber(cells.get(), row, 1, number), platform::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(c.GetCellText(cells.get(), row, 1, text), platform::DISP_E_TYPEMISMATCH);
  }
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(number, 7);

  EXPECT_EQ(c.PutCellValue(cells.get(), 9, 3, Variant(4.25)), platform::S_OK);
  EXPECT_EQ(sheet().value(9, 3), Variant(4.25));
  EXPECT_TRUE(platform::FAILED(c.PutCellValue(cells.get(), 65537, 1, Variant(1.0))));
}

TEST_F(ConnectionTest, ExceptionsAreShownAsSourceAndDescription) {
  ExcelConnection& c = entered(Tool::Vantor);
  expectMessages(2);
  const Variant macro("LUMIVANE.XLA!NoSuchMacro");
  EXPECT_EQ(c.InvokeMember(app(), nullptr, "Run", {&macro, 1}), platform::DISP_E_EXCEPTION);
  platform::RefPtr<platform::Dispatch> sheetObject;
  ASSERT_EQ(platform::getObjectProperty(app(), "ActiveSheet", sheetObject), platform::S_OK);
  sheet().detach();
  Variant name;
  EXPECT_EQ(c.GetValueProperty(sheetObject.get(), name, "Name"), platform::DISP_E_EXCEPTION);
  // Other failures are silent.
  EXPECT_EQ(c.GetValueProperty(app(), name, "NoSuchMember"), platform::DISP_E_MEMBERNOTFOUND);

  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0].text, "Lumivane: The macro 'LUMIVANE.XLA!NoSuchMacro' cannot be found.");
  EXPECT_EQ(messages()[0].caption, "Vantor 3");
  EXPECT_EQ(messages()[0].icon(), MB_ICONERROR);
  EXPECT_EQ(messages()[1].text, "Lumivane: The worksheet \"Sheet1\" is no longer open.");
  EXPECT_EQ(messages()[1].caption, "VANTOR3");
  EXPECT_EQ(messages()[1].icon(), MB_ICONWARNING);
}

TEST_F(ConnectionTest, ObjectPropertyWithoutAnObjectIsMemberNotFound) {
  ExcelConnection& c = entered(Tool::Gridwise);
  host->model().close(host->model().workbook(0));
  platform::RefPtr<platform::Dispatch> book;
  EXPECT_EQ(c.GetObjectProperty(app(), book, "ActiveWorkbook"), platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_FALSE(book);
}

TEST_F(ConnectionTest, Version7FindsTheRunningHostByName) {
  startHost(7);
  ExcelConnection& c = entered(Tool::Gridwise);
  platform::RefPtr<platform::Dispatch> found;
  ASSERT_EQ(c.GetExcel(found), platform::S_OK);
  EXPECT_EQ(found.get(), app());

  host.reset();  // nothing registered any more
  expectMessages(1);
  EXPECT_EQ(c.GetExcel(found), platform::MK_E_UNAVAILABLE);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text, "Error executing GetActiveObject!");
  EXPECT_EQ(messages()[0].caption, "Gridwise");
}

TEST_F(ConnectionTest, ActiveBookAndSheetAndTheLists) {
  ExcelConnection& c = entered(Tool::Gridwise);
  host::Workbook& second = host->model().newWorkbook();
  second.setName("Results.xlsx");
  second.addSheet("Answers");
  second.activateSheet(1);

  std::string book, sheetName;
  ASSERT_EQ(c.GetActiveBookAndSheet(book, sheetName), platform::S_OK);
  EXPECT_EQ(book, "Results.xlsx");
  EXPECT_EQ(sheetName, "Answers");

  std::vector<std::string> names;
  ASSERT_EQ(c.ListWorkbooks(names), platform::S_OK);
  EXPECT_EQ(names, (std::vector<std::string>{"Data.xlsx", "Results.xlsx"}));
  ASSERT_EQ(c.ListWorksheets("results.xlsx", names), platform::S_OK);
  EXPECT_EQ(names, (std::vector<std::string>{"Sheet1", "Answers"}));
  EXPECT_TRUE(platform::FAILED(c.ListWorksheets("Gone.xlsx", names)));
  EXPECT_TRUE(messages().empty());
}

TEST_F(ConnectionTest, NoOpenWorkbookIsReportedInEachToolsStyle) {
  host->model().close(host->model().workbook(0));
  for (Tool tool : {Tool::Gridwise, Tool::Vantor}) {
    ExcelConnection& c = entered(tool);
    std::string book = "x", sheetName = "y";
    expectMessages(1);
    EXPECT_TRUE(platform::FAILED(c.GetActiveBookAndSheet(book, sheetName)));
    EXPECT_EQ(book, "x");
    const auto m = messages().back();
    EXPECT_EQ(m.text, "Excel doesn't contain open workbooks!");
    EXPECT_EQ(m.caption, tool == Tool::Gridwise ? "Gridwise" : "Error");
    EXPECT_EQ(m.icon(), MB_ICONINFORMATION);
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(c.ListWorkbooks(names), platform::S_OK);
    EXPECT_TRUE(names.empty());
  }
}

TEST_F(ConnectionTest, EntryHoldsOneApplicationAndSubclassesOnce) {
  auto first = applicationWithVersion("9.0");
  auto second = applicationWithVersion("9.0");
  ExcelConnection& c = connection(Tool::Vantor);
  ASSERT_TRUE(c.enter(first.get()));
  EXPECT_EQ(first->addRef(), 3u);  // ours, the connection's, this probe
  first->release();
  const platform::WindowProc hooked = host->window().procedure();
  EXPECT_NE(hooked, host->window().defaultProcedure());
  ASSERT_TRUE(c.enter(second.get()));
  EXPECT_EQ(first->addRef(), 2u);  // the connection let the first one go
  first->release();
  EXPECT_EQ(c.application(), second.get());
  EXPECT_EQ(host->window().procedure(), hooked);  // not subclassed twice
  EXPECT_EQ(c.addInWorkbookName(), "");           // no ThisWorkbook: the name stays as it was

  ASSERT_TRUE(c.enter(app()));
  EXPECT_EQ(c.addInWorkbookName(), "LUMIVANE.XLA");
  EXPECT_EQ(c.macroName(true), "LUMIVANE.XLA!Vantor3DataReader97");
  EXPECT_EQ(c.macroName(false), "LUMIVANE.XLA!Vantor3DataReader");
  c.RestoreHostWindow();
  EXPECT_EQ(host->window().procedure(), host->window().defaultProcedure());
  EXPECT_FALSE(c.hostWindowSubclassed());
}

TEST_F(ConnectionTest, RestoringUnderAnotherHookKeepsTheChain) {
  ExcelConnection& vantor = entered(Tool::Vantor);
  ExcelConnection& gridwise = entered(Tool::Gridwise);
  vantor.RestoreHostWindow();  // Gridwise sits on top: Vantor stays in the chain
  EXPECT_TRUE(vantor.hostWindowSubclassed());
  gridwise.RestoreHostWindow();
  vantor.RestoreHostWindow();
  EXPECT_EQ(host->window().procedure(), host->window().defaultProcedure());
  // Both hooks gone, a close request reaches the host.
  host->window().send(platform::WM_CLOSE);
  EXPECT_TRUE(host->closeRequested());
}

TEST_F(ConnectionTest, BookAndSheetOnlyWhileARequestIsPending) {
  ExcelConnection& c = entered(Tool::Gridwise);
  Variant book(1.5), sheetName(std::string("before"));
  EXPECT_EQ(c.GetBookAndSheet(&book, &sheetName), 0);
  EXPECT_EQ(book, Variant(1.5));
  EXPECT_EQ(sheetName, Variant(std::string("before")));
  RecordingRequest request(c, "Data.xlsx", "Sheet1");
  c.runReader97(app());  // nothing pending: nothing happens
  c.runReader(app());
  EXPECT_TRUE(request.calls.empty());

  Variant seenBook, seenSheet;
  std::intptr_t seenResult = 0;
  request.during = [&] { seenResult = c.GetBookAndSheet(&seenBook, &seenSheet); };
  EXPECT_EQ(c.CallOnHostThread(request), HostCall::Done);
  EXPECT_NE(seenResult, 0);
  EXPECT_EQ(seenBook, Variant(std::string("Data.xlsx")));
  EXPECT_EQ(seenSheet, Variant(std::string("Sheet1")));
}

TEST_F(ConnectionTest, RequestsRunTheBlockReaderOnTheTargetSheet) {
  host->model().workbook(0).addSheet("Target");
  for (Tool tool : {Tool::Gridwise, Tool::Vantor}) {
    ExcelConnection& c = entered(tool);
    RecordingRequest request(c, "Data.xlsx", "Target");
    EXPECT_EQ(c.CallOnHostThread(request), HostCall::Done);
    EXPECT_EQ(request.calls, (std::vector<std::string>{"block"}));
    EXPECT_EQ(request.targetName, "Target");
    EXPECT_TRUE(request.busyInHandler);
    EXPECT_FALSE(c.busy());
    EXPECT_EQ(c.pendingRequest(), nullptr);
  }
}

TEST_F(ConnectionTest, Version7RunsTheCellReaderWithTheApplication) {
  startHost(7);
  ExcelConnection& c = entered(Tool::Vantor);
  RecordingRequest request(c, "Data.xlsx", "Sheet1");
  EXPECT_EQ(c.CallOnHostThread(request), HostCall::Done);
  EXPECT_EQ(request.calls, (std::vector<std::string>{"cell"}));
  EXPECT_EQ(request.targetName, "7.0");
  EXPECT_FALSE(c.busy());
}

TEST_F(ConnectionTest, TwoRequestsInARowOneAfterTheOther) {
  ExcelConnection& c = entered(Tool::Gridwise);
  RecordingRequest first(c, "Data.xlsx", "Sheet1"), second(c, "Data.xlsx", "Sheet1");
  std::vector<std::string> order;
  first.during = [&] { order.push_back("first"); };
  second.during = [&] { order.push_back("second"); };
  EXPECT_EQ(c.CallOnHostThread(first), HostCall::Done);
  EXPECT_EQ(c.CallOnHostThread(second), HostCall::Done);
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
}

TEST_F(ConnectionTest, ARequestMadeWhileAnotherIsWrittenFollowsIt) {
  // An event pumped while the first output writes starts a second one on the same thread:
  // it must neither wait for ever nor interleave with the first.
  ExcelConnection& c = entered(Tool::Vantor);
  RecordingRequest first(c, "Data.xlsx", "Sheet1"), second(c, "Data.xlsx", "Sheet1");
  std::vector<std::string> order;
  HostCall nested = HostCall::Done;
  first.during = [&] {
    order.push_back("first starts");
    nested = c.CallOnHostThread(second);
    order.push_back("first ends");
  };
  second.during = [&] { order.push_back("second"); };
  EXPECT_EQ(c.CallOnHostThread(first), HostCall::Done);
  EXPECT_EQ(nested, HostCall::Queued);
  EXPECT_EQ(order, (std::vector<std::string>{"first starts", "first ends", "second"}));
  EXPECT_TRUE(second.busyInHandler);
  EXPECT_FALSE(c.busy());
}

TEST_F(ConnectionTest, AWithdrawnRequestIsNotCarriedOut) {
  ExcelConnection& c = entered(Tool::Vantor);
  RecordingRequest first(c, "Data.xlsx", "Sheet1");
  auto second = std::make_unique<RecordingRequest>(c, "Data.xlsx", "Sheet1");
  first.during = [&] {
    c.CallOnHostThread(*second);
    c.withdrawRequest(*second);
    second.reset();  // its window closed meanwhile
  };
  EXPECT_EQ(c.CallOnHostThread(first), HostCall::Done);
  EXPECT_FALSE(c.busy());
}

TEST_F(ConnectionTest, AMissingMacroEndsTheRequestAndFreesTheNext) {
  ExcelConnection& c = entered(Tool::Vantor);
  host->addIn().clearLibraries();  // the add-in finds no reader export
  RecordingRequest lost(c, "Data.xlsx", "Sheet1");
  expectMessages(2);
  EXPECT_EQ(c.CallOnHostThread(lost), HostCall::NotCarriedOut);
  EXPECT_TRUE(lost.calls.empty());
  EXPECT_FALSE(c.busy());
  EXPECT_EQ(c.pendingRequest(), nullptr);
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0].caption, "Vantor 3");  // the host's own reason, from Run
  EXPECT_NE(messages()[0].text.find("Vantor3Reader97"), std::string::npos);
  EXPECT_EQ(messages()[1].text,
            "Nothing was written: the macro \"LUMIVANE.XLA!Vantor3DataReader97\" did not run.");
  EXPECT_EQ(messages()[1].icon(), MB_ICONERROR);

  host->addIn().addLibrary([](const char* name) { return toolExport(name); });
  RecordingRequest next(c, "Data.xlsx", "Sheet1");
  EXPECT_EQ(c.CallOnHostThread(next), HostCall::Done);
  EXPECT_EQ(next.calls.size(), 1u);
}

TEST_F(ConnectionTest, Version7RunThatDoesNothingEndsTheRequest) {
  startHost(7);
  ExcelConnection& c = entered(Tool::Gridwise);
  // Another program answers to the host's name and has no Run: the macro never starts.
  auto impostor = platform::makeRef<ScriptedObject>();
  const auto registration = platform::registerActiveObject(platform::kSpreadsheetProgId, impostor.get());
  RecordingRequest lost(c, "Data.xlsx", "Sheet1");
  expectMessages(1);
  EXPECT_EQ(c.CallOnHostThread(lost), HostCall::NotCarriedOut);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text,
            "Nothing was written: the macro \"LUMIVANE.XLA!GridwiseDataReader\" did not run.");
  EXPECT_EQ(messages()[0].caption, "Gridwise");
  EXPECT_FALSE(c.busy());
  EXPECT_TRUE(lost.calls.empty());
}

TEST_F(ConnectionTest, OtherMessagesPassThroughTheHook) {
  ExcelConnection& c = entered(Tool::Gridwise);
  RecordingRequest request(c, "Data.xlsx", "Sheet1");
  // Vantor's request message means nothing to Gridwise's hook; with nothing pending even its
  // own runs a macro that does nothing.
  EXPECT_EQ(host->window().send(1737), 0);
  EXPECT_EQ(host->window().send(1736), 0);
  EXPECT_TRUE(request.calls.empty());
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace bridge_test
