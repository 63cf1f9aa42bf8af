// The host window driven through its commands on the offscreen platform: files in and out,
// selection as automation reports it, the status bar, the Add-ins commands with a stand-in
// tool library, output from a tool, closing with tool windows open and unsaved changes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/host.h"
#include "host/window/main_window.h"
#include "host/window/sheet_view.h"
#include "host/workbook_io.h"
#include "platform/qt/qt_message_loop.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

using platform::Dispatch;
using platform::RefPtr;
using platform::Variant;

// The stand-in tool's exports the tests call (window_test_tool.cpp).
struct ToolProbe {
  void (*reset)() = nullptr;
  int (*entryCalls)() = nullptr;
  const char* (*lastEntry)() = nullptr;
  const std::int32_t* (*selection)() = nullptr;
  int (*closeRequests)() = nullptr;
  int (*requestMessages)() = nullptr;
  void (*closeWindow)() = nullptr;
  platform::LRESULT (*writeOutput)(const char*, const char*) = nullptr;
};

std::string toolPath() {
  return std::string(WINDOW_TEST_TOOLS) + "/" + std::string(kVantorTool.library);
}

class WindowTest : public lumivane::test::PromptedTest {
 protected:
  void SetUp() override {
    window.setToolLibraryFolder(QString::fromStdString(WINDOW_TEST_TOOLS));
    window.show();
  }

  void TearDown() override { lumivane::test::PromptedTest::TearDown(); }

  ToolProbe probe() {
    platform::DynamicLibrary& library = host.loadToolLibrary(toolPath());
    ToolProbe p;
    const auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(library.symbol(name));
      EXPECT_NE(fn, nullptr) << name;
    };
    get(p.reset, "WindowToolReset");
    get(p.entryCalls, "WindowToolEntryCalls");
    get(p.lastEntry, "WindowToolLastEntry");
    get(p.selection, "WindowToolSelection");
    get(p.closeRequests, "WindowToolCloseRequests");
    get(p.requestMessages, "WindowToolRequestMessages");
    get(p.closeWindow, "WindowToolCloseWindow");
    get(p.writeOutput, "WindowToolWriteOutput");
    return p;
  }

  // Copies a sample into the temporary folder so the test may overwrite it.
  std::string copySample(const std::string& name) {
    const std::string target = temp.file(name);
    std::filesystem::copy_file(lumivane::test::samplePath(name), target);
    return target;
  }

  QString shown(int row, int col) const {
    return window.activeSheetView()->model()->index(row - 1, col - 1).data().toString();
  }

  // Selection as a tool reads it through the Application.
  std::vector<std::int32_t> selectionByAutomation() {
    RefPtr<Dispatch> range, part;
    Variant value;
    std::vector<std::int32_t> out;
    EXPECT_TRUE(platform::SUCCEEDED(platform::getObjectProperty(host.application(), "Selection", range)));
    for (const char* member : {"Columns", "Rows"}) {
      EXPECT_TRUE(platform::SUCCEEDED(platform::getObjectProperty(range.get(), member, part)));
      for (const char* what : {"Column", "Row", "Count"}) {
        EXPECT_TRUE(platform::SUCCEEDED(platform::getProperty(part.get(), what, value)));
        out.push_back(value.lVal());
      }
    }
    // Columns.Column, Columns.Row, Columns.Count, Rows.Column, Rows.Row, Rows.Count: keep
    // first column, column count, first row, row count.
    return {out[0], out[2], out[4], out[5]};
  }

  std::string activeName(const char* member) {
    RefPtr<Dispatch> object;
    Variant name;
    EXPECT_TRUE(platform::SUCCEEDED(platform::getObjectProperty(host.application(), member, object)));
    EXPECT_TRUE(platform::SUCCEEDED(platform::getProperty(object.get(), "Name", name)));
    return name.vt() == platform::VT_BSTR ? name.bstrVal() : std::string();
  }

  void clickHeader(QHeaderView* header, int section, Qt::KeyboardModifiers mods = {}) {
    const int at = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    const QPoint point = header->orientation() == Qt::Horizontal ? QPoint(at, header->height() / 2)
                                                                 : QPoint(header->width() / 2, at);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, mods, point);
  }

  lumivane::test::TempDir temp;
  platform::QtMessageLoop loop;
  Host host{9, &loop};
  MainWindow window{host};
};

TEST_F(WindowTest, CsvOpensShowsValuesAndRoundTripsThroughXlsxAndCsv) {
  const std::string csv = copySample("iris.csv");
  ASSERT_TRUE(window.openFile(QString::fromStdString(csv)));
  EXPECT_EQ(window.workbookTabTitle(0), "iris.csv");
  EXPECT_EQ(shown(1, 2), "sepal_length_cm");
  EXPECT_EQ(shown(2, 2), "5.1");
  EXPECT_EQ(shown(3, 3), "3");
  EXPECT_EQ(window.activeSheetView()->model()->headerData(255, Qt::Horizontal).toString(), "IV");
  EXPECT_EQ(window.activeSheetView()->model()->rowCount(), 65536);

  // An edit marks the workbook; Save As .xlsx takes the new name and clears the mark.
  ASSERT_TRUE(
      window.activeSheetView()->model()->setData(window.activeSheetView()->model()->index(2, 2), "12.5"));
  EXPECT_EQ(window.workbookTabTitle(0), "iris.csv*");
  const std::string xlsx = temp.file("iris.xlsx");
  prompter.answerFile(xlsx);
  ASSERT_TRUE(window.saveAs());
  EXPECT_EQ(window.workbookTabTitle(0), "iris.xlsx");
  ASSERT_TRUE(prompter.lastFileRequest());
  EXPECT_TRUE(prompter.lastFileRequest()->save);
  EXPECT_TRUE(prompter.lastFileRequest()->overwritePrompt);

  const auto original = host.model().workbookPtr(0);
  ASSERT_TRUE(window.closeWorkbook());
  EXPECT_EQ(window.workbookTabCount(), 0);
  ASSERT_TRUE(window.openFile(QString::fromStdString(xlsx)));
  const Sheet& reread = *window.activeSheetView()->sheet();
  EXPECT_EQ(reread.value(3, 3), Variant(12.5));
  EXPECT_EQ(reread.value(1, 1), Variant("id"));
  EXPECT_EQ(reread.usedArea(), original->sheet(0).usedArea());
  for (std::int32_t r = 1; r <= 151; ++r)
    for (std::int32_t c = 1; c <= 9; ++c)
      ASSERT_EQ(reread.value(r, c), original->sheet(0).value(r, c)) << r << c;

  // Save writes back to the file it came from: a .csv of one sheet.
  ASSERT_TRUE(window.saveTo(QString::fromStdString(temp.file("copy.csv"))));
  ASSERT_TRUE(window.openFile(QString::fromStdString(temp.file("copy.csv"))));
  const Sheet& fromCsv = *window.activeSheetView()->sheet();
  for (std::int32_t r = 1; r <= 151; ++r)
    for (std::int32_t c = 1; c <= 9; ++c) ASSERT_EQ(fromCsv.value(r, c), reread.value(r, c)) << r << c;
  EXPECT_EQ(prompter.calls().size(), 1u);  // the one Save As dialog
}

TEST_F(WindowTest, OdsOpensThroughTheDialogAndShowsValuesAsASpreadsheetDoes) {
  prompter.answerFile(lumivane::test::testDataPath("host_sample.ods"));
  ASSERT_TRUE(window.openWithDialog());
  EXPECT_EQ(window.workbookTabTitle(0), "host_sample.ods");
  auto* sheets = window.findChild<QTabWidget*>();
  ASSERT_NE(sheets, nullptr);
  EXPECT_EQ(shown(2, 1), "alpha");
  EXPECT_EQ(shown(2, 2), "12");
  EXPECT_EQ(shown(2, 3), "12");  // a number stored as text stays text...
  const QAbstractItemModel* model = window.activeSheetView()->model();
  EXPECT_EQ(model->index(1, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
            Qt::AlignRight);
  EXPECT_EQ(model->index(1, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
            Qt::AlignLeft);  // ...and aligns as text
  EXPECT_EQ(shown(2, 4), "TRUE");
  EXPECT_EQ(shown(3, 4), "FALSE");
  EXPECT_EQ(shown(2, 5), "1/2/2000");
  EXPECT_EQ(shown(3, 5), "12/31/1999 18:30");

  // An .ods has no writer: Save asks for a name, and the .xlsx keeps both sheets.
  const std::string xlsx = temp.file("sample.xlsx");
  prompter.answerFile(xlsx);
  ASSERT_TRUE(window.save());
  ASSERT_TRUE(window.closeWorkbook());
  ASSERT_TRUE(window.openFile(QString::fromStdString(xlsx)));
  const Workbook& book = host.model().workbook(0);
  ASSERT_EQ(book.sheetCount(), 2);
  EXPECT_EQ(book.sheet(1).name(), "Empty");
  EXPECT_EQ(book.sheet(0).value(2, 5), Variant::date(36527));
  EXPECT_EQ(book.sheet(0).value(2, 3), Variant("12"));
}

TEST_F(WindowTest, AFileThatCannotBeReadIsRefusedAndTheOpenWorkbooksStay) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("wine.csv"))));
  std::ofstream(temp.file("broken.xlsx")) << "not a zip archive";
  for (int i = 0; i < 3; ++i) prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(window.openFile(QString::fromStdString(temp.file("broken.xlsx"))));
  EXPECT_FALSE(window.openFile(QString::fromStdString(temp.file("missing.csv"))));
  // The same name twice is refused too.
  EXPECT_FALSE(window.openFile(QString::fromStdString(lumivane::test::samplePath("wine.csv"))));
  const auto boxes = prompter.messages();
  ASSERT_EQ(boxes.size(), 3u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.caption, "Lumivane");
    EXPECT_EQ(box.icon(), platform::MB_ICONERROR);
  }
  EXPECT_EQ(window.workbookTabCount(), 1);
  EXPECT_EQ(host.model().workbookCount(), 1);
  EXPECT_EQ(activeName("ActiveWorkbook"), "wine.csv");
  EXPECT_EQ(shown(2, 2), "14.23");
}

// As the lumivane program opens files: in the reading process. A reader that crashes costs
// the file, not the window or the workbooks already open.
TEST_F(WindowTest, AFileWhoseReaderCrashesIsRefusedAndTheWindowAndItsWorkbooksStay) {
  host.model().setImporter([](const std::string& path, SheetLimits limits) {
    ImportLimits isolation;
    isolation.sheet = limits;
    isolation.helper = LUMIVANE_IMPORT_HELPER;
    return importWorkbookIsolated(path, isolation);
  });
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("wine.csv"))));
  EXPECT_EQ(shown(2, 2), "14.23");
  setenv("LUMIVANE_IMPORT_TEST_FAULT", "abort", 1);
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  unsetenv("LUMIVANE_IMPORT_TEST_FAULT");
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].text,
            "Cannot open \"iris.csv\": the file could not be read: its reading program stopped with signal 6 "
            "(Aborted).");
  EXPECT_EQ(window.workbookTabCount(), 1);
  EXPECT_EQ(activeName("ActiveWorkbook"), "wine.csv");
  EXPECT_EQ(shown(2, 2), "14.23");
  // The same file opens once the reader behaves.
  ASSERT_TRUE(window.openFile(QString::fromStdString(temp.file("iris.csv"))));
  EXPECT_EQ(window.workbookTabCount(), 2);
  EXPECT_EQ(shown(2, 2), "5.1");
}

// While a file is read the window goes on: the status bar names the file, the commands that
// would change the workbooks are off, another open is refused, and a close asked for meanwhile
// follows once the file is in.
TEST_F(WindowTest, WhileAFileIsReadTheWindowShowsItAndWaitsWithItsCommands) {
  std::atomic<bool> release{false};
  host.model().setImporter([&](const std::string& path, SheetLimits limits) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return importWorkbook(path, limits);
  });
  QAction* openAction = nullptr;
  for (QAction* menu : window.menuBar()->actions())
    for (QAction* action : menu->menu()->actions())
      if (action->text().startsWith("&Open")) openAction = action;
  ASSERT_NE(openAction, nullptr);
  QString during;
  bool openEnabled = true, opening = false, secondOpened = true;
  QSignalSpy closed(&window, &MainWindow::closed);
  prompter.answerMessage(platform::IDOK);
  QTimer::singleShot(20, &window, [&] {
    during = window.progressText();
    opening = window.isOpening();
    openEnabled = openAction->isEnabled();
    secondOpened = window.openFile(QString::fromStdString(copySample("iris.csv")));
    window.close();
    EXPECT_EQ(closed.count(), 0);
    release = true;
  });
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("wine.csv"))));
  EXPECT_TRUE(opening);
  EXPECT_EQ(during, "Opening wine.csv…");
  EXPECT_FALSE(openEnabled);
  EXPECT_FALSE(secondOpened);
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].text, "Cannot open \"iris.csv\": another file is being opened.");
  // Afterwards: the workbook shown, the commands back, the close carried out.
  EXPECT_EQ(shown(2, 2), "14.23");
  EXPECT_FALSE(window.isOpening());
  EXPECT_TRUE(window.progressText().isEmpty());
  EXPECT_TRUE(openAction->isEnabled());
  EXPECT_TRUE(closed.wait(2000));
}

// The window opens over the screen's whole working area.
TEST(WindowGeometryTest, OpensOverTheScreensWorkingArea) {
  platform::QtMessageLoop loop;
  Host host{9, &loop};
  MainWindow window{host};
  ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
  EXPECT_EQ(window.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
}

TEST_F(WindowTest, SelectionIsWhatAutomationReportsForBlocksColumnsAndRows) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  SheetView* view = window.activeSheetView();

  // A block dragged with the mouse, B2 to D5.
  const QRect b2 = view->visualRect(view->model()->index(1, 1)),
              d5 = view->visualRect(view->model()->index(4, 3));
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, b2.center());
  QMouseEvent move(QEvent::MouseMove, d5.center(), view->viewport()->mapToGlobal(d5.center()), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &move);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, d5.center());
  QApplication::processEvents();
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{2, 3, 2, 4}));
  EXPECT_EQ(window.addressText(), "B2:D5");

  // Shift+Down twice extends it to row 7.
  QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{2, 3, 2, 6}));

  // Whole columns: a header click, then Shift+click, B to D.
  clickHeader(view->horizontalHeader(), 1);
  clickHeader(view->horizontalHeader(), 3, Qt::ShiftModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{2, 3, 1, 65536}));

  // Whole rows 3 to 5 by their headers.
  clickHeader(view->verticalHeader(), 2);
  clickHeader(view->verticalHeader(), 4, Qt::ShiftModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{1, 256, 3, 3}));

  // Ctrl+Space and Shift+Space widen a block to its columns and to its rows.
  view->selectArea(CellArea{4, 3, 6, 5});
  QTest::keyClick(view, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{3, 3, 1, 65536}));
  view->selectArea(CellArea{4, 3, 6, 5});
  QTest::keyClick(view, Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{1, 256, 4, 3}));

  // Ctrl+A: the whole sheet.
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{1, 256, 1, 65536}));

  // Ctrl+Down from B1 goes to the last row of the data, Ctrl+Shift+Right from there selects
  // the rest of that row.
  view->selectArea(CellArea{1, 2, 1, 2});
  QTest::keyClick(view, Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{2, 1, 151, 1}));
  QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{2, 8, 151, 1}));

  // Ctrl+click adds a second block: Selection is the block holding the current cell.
  view->selectArea(CellArea{2, 2, 3, 3});
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    view->visualRect(view->model()->index(9, 6)).center());
  EXPECT_EQ(view->selectedAreas().size(), 2u);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{7, 1, 10, 1}));
}

TEST_F(WindowTest, ActiveWorkbookAndSheetFollowTheTabs) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(lumivane::test::testDataPath("host_sample.ods"))));
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  EXPECT_EQ(activeName("ActiveWorkbook"), "iris.csv");
  window.activateWorkbook(0);
  EXPECT_EQ(activeName("ActiveWorkbook"), "host_sample.ods");
  EXPECT_EQ(activeName("ActiveSheet"), "Measurements");
  window.activateSheet(1);
  EXPECT_EQ(activeName("ActiveSheet"), "Empty");
  window.activeSheetView()->selectArea(CellArea{5, 6, 9, 6});
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{6, 1, 5, 5}));
  // Each sheet keeps its own selection.
  window.activateSheet(0);
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{1, 1, 1, 1}));
}

TEST_F(WindowTest, StatusBarCountsSumsAndAveragesTheNumbersSelected) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  SheetView* view = window.activeSheetView();
  view->selectArea(CellArea{2, 2, 3, 3});  // 5.1 3.5 / 4.9 3
  QApplication::processEvents();
  EXPECT_EQ(window.statusText(), "Count: 4    Sum: 16.5    Average: 4.125");
  // The whole column B: the header text is not a number; the 150 sepal lengths of the iris
  // data sum to 876.5 (mean 5.8433).
  view->selectArea(CellArea{1, 2, 65536, 2});
  QApplication::processEvents();
  EXPECT_EQ(window.statusText(), "Count: 150    Sum: 876.5    Average: 5.843333333");
  // Texts only: nothing to show.
  view->selectArea(CellArea{1, 1, 3, 1});
  QApplication::processEvents();
  EXPECT_EQ(window.statusText(), "");
}

TEST_F(WindowTest, CopyPasteAndClearWorkOnTheSelection) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  SheetView* view = window.activeSheetView();
  view->selectArea(CellArea{1, 1, 2, 3});
  window.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "id\tsepal_length_cm\tsepal_width_cm\niris001\t5.1\t3.5\n");

  view->selectArea(CellArea{5, 12, 5, 12});
  window.paste();
  const Sheet& sheet = *view->sheet();
  EXPECT_EQ(sheet.value(5, 12), Variant("id"));
  EXPECT_EQ(sheet.value(6, 13), Variant(5.1));
  EXPECT_EQ(sheet.value(6, 14), Variant(3.5));
  EXPECT_EQ(shown(6, 14), "3.5");
  EXPECT_EQ(selectionByAutomation(), (std::vector<std::int32_t>{12, 3, 5, 2}));
  EXPECT_EQ(window.workbookTabTitle(0), "iris.csv*");

  // Clearing whole columns L:N empties what was pasted and nothing else.
  view->selectArea(CellArea{1, 12, 65536, 14});
  window.clearSelection();
  EXPECT_EQ(sheet.usedArea(), (CellArea{1, 1, 151, 9}));
  EXPECT_EQ(shown(6, 13), "");

  // A whole column copies the rows that hold data, not 65,536 lines.
  view->selectArea(CellArea{1, 2, 65536, 2});
  window.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text().count('\n'), 151);
}

TEST_F(WindowTest, AddInsCommandCallsTheEntryExportWithTheApplicationAndTheSelection) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  ToolProbe tool = probe();
  tool.reset();
  window.activeSheetView()->selectArea(CellArea{1, 2, 65536, 5});
  ASSERT_TRUE(window.startTool(kVantorTool));
  EXPECT_EQ(tool.entryCalls(), 1);
  EXPECT_STREQ(tool.lastEntry(), "Vantor3_97");
  const std::int32_t* seen = tool.selection();
  EXPECT_EQ((std::vector<std::int32_t>(seen, seen + 4)), (std::vector<std::int32_t>{2, 4, 1, 65536}));
  EXPECT_TRUE(prompter.messages().empty());

  // The used area, as --vantor selects it before starting the tool.
  window.selectUsedArea();
  ASSERT_TRUE(window.startTool(kVantorTool));
  EXPECT_EQ(tool.entryCalls(), 2);
  EXPECT_EQ((std::vector<std::int32_t>(seen, seen + 4)), (std::vector<std::int32_t>{1, 9, 1, 151}));
  tool.reset();
}

TEST_F(WindowTest, AMissingToolLibraryOrEntryIsAMessageNotACrash) {
  for (int i = 0; i < 3; ++i) prompter.answerMessage(platform::IDOK);
  window.setToolLibraryFolder(QString::fromStdString(temp.path().string()));
  EXPECT_FALSE(window.startTool(kGridwiseTool));
  window.setToolLibraryFolder(QString::fromStdString(WINDOW_TEST_NO_ENTRY));
  EXPECT_FALSE(window.startTool(kVantorTool));
  std::ofstream(temp.file("libVANTOR3.so")) << "not a library";
  window.setToolLibraryFolder(QString::fromStdString(temp.path().string()));
  EXPECT_FALSE(window.startTool(kVantorTool));
  const auto boxes = prompter.messages();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_NE(boxes[0].text.find("libGridwise.so"), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[1].text.find("does not export Vantor3_97"), std::string::npos) << boxes[1].text;
  EXPECT_NE(boxes[2].text.find("Cannot start Vantor 3.0"), std::string::npos) << boxes[2].text;
  for (const auto& box : boxes) EXPECT_EQ(box.icon(), platform::MB_ICONERROR);
}

TEST_F(WindowTest, OutputWrittenByAToolAppearsInTheModelAndTheView) {
  ASSERT_TRUE(window.openFile(QString::fromStdString(copySample("iris.csv"))));
  ToolProbe tool = probe();
  tool.reset();
  ASSERT_TRUE(window.startTool(kVantorTool));
  SheetView* view = window.activeSheetView();
  view->scrollTo(view->model()->index(0, 9));
  QApplication::processEvents();
  const QRect j1 = view->visualRect(view->model()->index(0, 9)).adjusted(2, 2, -2, -2);
  const QImage before = view->viewport()->grab().toImage().copy(j1);
  QSignalSpy changed(view->model(), &QAbstractItemModel::dataChanged);

  // The request message reaches the tool's procedure, which runs the reader macro.
  tool.writeOutput("iris.csv", "iris");
  EXPECT_EQ(tool.requestMessages(), 1);
  EXPECT_EQ(shown(1, 10), "answer");
  EXPECT_EQ(shown(1, 11), "0.25");
  EXPECT_EQ(shown(2, 10), "7");
  EXPECT_EQ(shown(2, 11), "FALSE");
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex(), view->model()->index(0, 9));
  EXPECT_EQ(changed[0][1].toModelIndex(), view->model()->index(1, 10));
  EXPECT_EQ(window.workbookTabTitle(0), "iris.csv*");

  // The grid paints the new text without being told anything else.
  QApplication::processEvents();
  const QImage after = view->viewport()->grab().toImage().copy(j1);
  const auto inkOf = [](const QImage& image) {
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 128;
    return ink;
  };
  EXPECT_EQ(inkOf(before), 0);
  EXPECT_GT(inkOf(after), 10);
  tool.reset();
}

TEST_F(WindowTest, ACloseWhileAToolWindowIsOpenOnlyAsksTheToolToClose) {
  ToolProbe tool = probe();
  tool.reset();
  window.newWorkbook();
  ASSERT_TRUE(window.startTool(kVantorTool));
  QSignalSpy closed(&window, &MainWindow::closed);

  window.close();
  QApplication::processEvents();
  EXPECT_EQ(tool.closeRequests(), 1);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(closed.count(), 0);

  // With the tool window gone the next close goes through: the tool lets the host window go
  // (its procedure restored, the close posted again) and the window closes.
  tool.closeWindow();
  window.close();
  for (int i = 0; i < 5 && closed.count() == 0; ++i) QApplication::processEvents();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(host.window().procedure(), host.window().defaultProcedure());
  tool.reset();
}

TEST_F(WindowTest, UnsavedChangesAreAskedAboutOnClose) {
  const std::string csv = copySample("iris.csv");
  ASSERT_TRUE(window.openFile(QString::fromStdString(csv)));
  window.activeSheetView()->model()->setData(window.activeSheetView()->model()->index(1, 1), "99");
  QSignalSpy closed(&window, &MainWindow::closed);

  prompter.answerMessage(platform::IDCANCEL);
  window.close();
  QApplication::processEvents();
  EXPECT_EQ(closed.count(), 0);
  EXPECT_TRUE(window.isVisible());
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].text, "Do you want to save the changes you made to 'iris.csv'?");
  EXPECT_EQ(prompter.messages()[0].caption, "Lumivane");
  EXPECT_EQ(prompter.messages()[0].buttons(), platform::MB_YESNOCANCEL);

  // Yes saves to the file it came from, then closes.
  prompter.answerMessage(platform::IDYES);
  window.close();
  for (int i = 0; i < 5 && closed.count() == 0; ++i) QApplication::processEvents();
  EXPECT_EQ(closed.count(), 1);
  Host other;
  EXPECT_EQ(other.model().open(csv).sheet(0).value(2, 2), Variant(99.0));
}

TEST_F(WindowTest, ClosingAWorkbookWithoutSavingLeavesItsFileAlone) {
  const std::string csv = copySample("iris.csv");
  ASSERT_TRUE(window.openFile(QString::fromStdString(csv)));
  window.newWorkbook();
  EXPECT_EQ(window.workbookTabTitle(1), "Book1");
  window.activateWorkbook(0);
  window.activeSheetView()->model()->setData(window.activeSheetView()->model()->index(1, 1), "99");
  prompter.answerMessage(platform::IDNO);
  ASSERT_TRUE(window.closeWorkbook());
  EXPECT_EQ(window.workbookTabCount(), 1);
  EXPECT_EQ(activeName("ActiveWorkbook"), "Book1");
  Host other;
  EXPECT_EQ(other.model().open(csv).sheet(0).value(2, 2), Variant(5.1));
}

TEST(WindowVersionTest, Version7SheetsHave16384Rows) {
  lumivane::test::TempDir temp;
  platform::ScriptedPrompter prompter;
  platform::PrompterScope scope(prompter);
  platform::QtMessageLoop loop;
  Host host(7, &loop);
  MainWindow window(host);
  window.newWorkbook();
  EXPECT_EQ(window.activeSheetView()->model()->rowCount(), 16384);
  window.activeSheetView()->selectArea(CellArea{1, 1, 16384, 1});
  EXPECT_EQ(window.activeSheetView()->sheet()->selection(), (CellArea{1, 1, 16384, 1}));
}

// A grid of one row over a sheet of its own, painted into an image.
class GridPaintTest : public ::testing::Test {
 protected:
  GridPaintTest() : sheet(std::make_shared<Sheet>("Sheet1", SheetLimits{100, 26})), view(sheet) {
    view.resize(600, 200);
    view.show();
  }

  // The cell's pixels inside its grid lines.
  QImage cellImage(int row, int col) {
    view.viewport()->update();
    QApplication::processEvents();
    const QRect cell = view.visualRect(view.model()->index(row - 1, col - 1)).adjusted(0, 0, -1, -1);
    return view.viewport()->grab().toImage().copy(cell).convertToFormat(QImage::Format_RGB32);
  }

  static int inkOf(const QImage& image) {
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 128;
    return ink;
  }

  std::shared_ptr<Sheet> sheet;
  SheetView view;
};

TEST_F(GridPaintTest, ANumberTooWideForItsColumnIsShownRoundedNotCut) {
  // A column where "1.0047" fits and one more digit does not (3 pixels of padding each side
  // and the grid line).
  const QFontMetrics metrics(view.font());
  ASSERT_GT(metrics.horizontalAdvance(QStringLiteral("0")), 1);
  view.setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("1.0047")) + 8);
  sheet->setNumber(1, 1, 1.0047);
  const QImage rounded = cellImage(1, 1);
  ASSERT_GT(inkOf(rounded), 10);
  sheet->setNumber(1, 1, 1.004702153);
  EXPECT_EQ(cellImage(1, 1), rounded);
  // Integer digits cannot be dropped: 12345678 is shown as 1E+07, as 10000000 is.
  view.setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("1E+07")) + 7);
  sheet->setNumber(1, 1, 12345678.0);
  const QImage scientific = cellImage(1, 1);
  ASSERT_GT(inkOf(scientific), 10);
  sheet->setNumber(1, 1, 1e7);
  EXPECT_EQ(cellImage(1, 1), scientific);
}

TEST_F(GridPaintTest, TextRunsOnOverEmptyNeighboursAndIsClippedByFilledOnes) {
  sheet->setNumber(1, 3, 1.0);
  const QImage numberAlone = cellImage(1, 3);
  const QImage emptyB = cellImage(1, 2);
  EXPECT_EQ(inkOf(emptyB), 0);
  sheet->setText(1, 1, "A heading much longer than its column is wide");
  // B1 is empty: the text runs on into it; C1 holds a number, which stops it.
  EXPECT_GT(inkOf(cellImage(1, 2)), 10);
  EXPECT_EQ(cellImage(1, 3), numberAlone);
  // Filling B1 clips the text at A1's edge.
  sheet->setNumber(1, 2, 1.0);
  const QImage bWithText = cellImage(1, 2);
  sheet->clear(1, 1);
  EXPECT_EQ(cellImage(1, 2), bWithText);
  // A partial repaint of B1 alone still draws the text that runs on from A1.
  sheet->setText(1, 1, "A heading much longer than its column is wide");
  sheet->clear(1, 2);
  view.viewport()->repaint(view.visualRect(view.model()->index(0, 1)));
  const QRect b1 = view.visualRect(view.model()->index(0, 1)).adjusted(0, 0, -1, -1);
  EXPECT_GT(inkOf(view.viewport()->grab(b1).toImage()), 10);
}

TEST_F(GridPaintTest, ADateTooWideForItsColumnFillsItWithHashes) {
  const QFontMetrics metrics(view.font());
  view.setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("12/31")) + 7);
  sheet->setDate(1, 1, 45000.0);
  const QImage date = cellImage(1, 1);
  // '#' from the left padding to the right one: ink in the cell's left and right quarters.
  const int w = date.width();
  EXPECT_GT(inkOf(date.copy(0, 0, w / 4, date.height())), 0);
  EXPECT_GT(inkOf(date.copy(w - w / 4, 0, w / 4, date.height())), 0);
  // Another date shows the same '#', not another part of itself.
  sheet->setDate(1, 1, 40000.0);
  EXPECT_EQ(cellImage(1, 1), date);
}

}  // namespace
}  // namespace host
