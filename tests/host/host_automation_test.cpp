#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "host/application_object.h"
#include "host/host.h"
#include "platform/safe_array.h"

namespace host {
namespace {

using platform::Dispatch;
using platform::HRESULT;
using platform::RefPtr;
using platform::Variant;

// Property get with arguments; fails the test when the call fails.
Variant get(Dispatch* object, std::string_view name, std::initializer_list<Variant> args = {}) {
  Variant out;
  const std::vector<Variant> a(args);
  const HRESULT hr = platform::getProperty(object, name, out, a);
  EXPECT_EQ(hr, platform::S_OK) << name;
  return out;
}

RefPtr<Dispatch> object(Dispatch* parent, std::string_view name, std::initializer_list<Variant> args = {}) {
  RefPtr<Dispatch> out;
  const std::vector<Variant> a(args);
  EXPECT_EQ(platform::getObjectProperty(parent, name, out, a), platform::S_OK) << name;
  return out;
}

HRESULT status(Dispatch* object, std::string_view name, std::initializer_list<Variant> args = {},
               platform::ExcepInfo* info = nullptr) {
  Variant out;
  const std::vector<Variant> a(args);
  return platform::getProperty(object, name, out, a, info);
}

class HostAutomationTest : public ::testing::Test {
 protected:
  HostAutomationTest() {
    Workbook& book = host.model().newWorkbook();
    book.setName("Data.xlsx");
    book.sheet(0).setName("Measurements");
    book.addSheet("Second");
    Sheet& s = book.sheet(0);
    s.setNumber(1, 1, 12);
    s.setText(2, 1, "12");
    s.setBoolean(3, 1, true);
    s.setDate(4, 1, 36527);
    s.setError(5, 1, kErrorDiv0);
    app = host.application();
  }
  Host host;
  Dispatch* app = nullptr;
};

TEST_F(HostAutomationTest, ApplicationMembersWithoutRegardToCase) {
  EXPECT_EQ(get(app, "Version"), Variant("9.0"));
  EXPECT_EQ(get(app, "VERSION"), Variant("9.0"));
  EXPECT_EQ(get(object(app, "ThisWorkbook").get(), "Name"), Variant("LUMIVANE.XLA"));
  EXPECT_EQ(get(object(app, "activeworkbook").get(), "Name"), Variant("Data.xlsx"));
  EXPECT_EQ(get(object(app, "ActiveSheet").get(), "name"), Variant("Measurements"));
  EXPECT_EQ(get(object(app, "Workbooks").get(), "Count"), Variant(std::int32_t{1}));

  EXPECT_EQ(status(app, "Versions"), platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(status(app, "Version", {Variant(1.0)}), platform::DISP_E_BADPARAMCOUNT);
  // A read-only property refuses a put.
  EXPECT_EQ(platform::putProperty(app, "Version", Variant("8.0")), platform::DISP_E_MEMBERNOTFOUND);
  auto sheet = object(app, "ActiveSheet");
  EXPECT_EQ(status(sheet.get(), "Value"), platform::DISP_E_MEMBERNOTFOUND);
}

TEST_F(HostAutomationTest, VersionReportedAsTold) {
  auto oldApp = platform::makeRef<ApplicationObject>(std::make_shared<HostModel>(7), nullptr);
  EXPECT_EQ(get(oldApp.get(), "Version"), Variant("7.0"));
  auto app8 = platform::makeRef<ApplicationObject>(std::make_shared<HostModel>(8), nullptr);
  EXPECT_EQ(get(app8.get(), "Version"), Variant("8.0"));
  // No workbook open: the active objects are Nothing.
  RefPtr<Dispatch> nothing;
  EXPECT_EQ(get(oldApp.get(), "ActiveWorkbook"), Variant(static_cast<Dispatch*>(nullptr)));
  EXPECT_EQ(platform::getObjectProperty(oldApp.get(), "ActiveSheet", nothing),
            platform::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(platform::getObjectProperty(oldApp.get(), "Selection", nothing), platform::DISP_E_MEMBERNOTFOUND);
}

TEST_F(HostAutomationTest, CollectionsByIndexAndName) {
  auto books = object(app, "Workbooks");
  EXPECT_EQ(get(object(books.get(), "Item", {Variant(std::int32_t{1})}).get(), "Name"), Variant("Data.xlsx"));
  EXPECT_EQ(get(object(app, "Workbooks", {Variant("data.XLSX")}).get(), "Name"), Variant("Data.xlsx"));
  EXPECT_EQ(status(app, "Workbooks", {Variant("Other.xlsx")}), platform::DISP_E_BADINDEX);
  EXPECT_EQ(status(app, "Workbooks", {Variant(std::int32_t{2})}), platform::DISP_E_BADINDEX);
  EXPECT_EQ(status(app, "Workbooks", {Variant(std::int32_t{0})}), platform::DISP_E_BADINDEX);
  EXPECT_EQ(status(app, "Workbooks", {Variant(static_cast<Dispatch*>(nullptr))}),
            platform::DISP_E_TYPEMISMATCH);

  auto book = object(app, "Workbooks", {Variant::i2(1)});
  auto sheets = object(book.get(), "Worksheets");
  EXPECT_EQ(get(sheets.get(), "Count"), Variant(std::int32_t{2}));
  EXPECT_EQ(get(object(sheets.get(), "Item", {Variant(2.0)}).get(), "Name"), Variant("Second"));
  EXPECT_EQ(get(object(book.get(), "Worksheets", {Variant("measurements")}).get(), "Name"),
            Variant("Measurements"));
  EXPECT_EQ(status(book.get(), "Worksheets", {Variant("Third")}), platform::DISP_E_BADINDEX);
  EXPECT_EQ(status(book.get(), "Worksheets", {Variant(std::int32_t{3})}), platform::DISP_E_BADINDEX);
}

TEST_F(HostAutomationTest, CellValuesAndTheReaderConversions) {
  auto cells = object(object(app, "ActiveSheet").get(), "Cells");
  auto cell = [&](int row, int col) {
    return get(object(cells.get(), "Cells", {Variant(row), Variant(col)}).get(), "Value");
  };
  EXPECT_EQ(cell(1, 1), Variant(12.0));
  EXPECT_EQ(cell(2, 1).vt(), platform::VT_BSTR);  // text "12" stays text: a number reader refuses it
  EXPECT_EQ(cell(3, 1), Variant::boolean(true));
  EXPECT_EQ(cell(4, 1).vt(), platform::VT_DATE);
  EXPECT_EQ(cell(5, 1), Variant::error(platform::kSpreadsheetErrorBase + kErrorDiv0));
  EXPECT_TRUE(cell(6, 1).isEmpty());

  // Read as text the way the tools convert cells.
  auto text = [](const Variant& v) {
    Variant out;
    return platform::SUCCEEDED(platform::VariantChangeType(out, v, 0, platform::VT_BSTR)) ? out.bstrVal()
                                                                                          : "<refused>";
  };
  EXPECT_EQ(text(cell(1, 1)), "12");
  EXPECT_EQ(text(cell(2, 1)), "12");
  EXPECT_EQ(text(cell(3, 1)), "TRUE");
  EXPECT_EQ(text(cell(4, 1)), "1/2/2000");
  EXPECT_EQ(text(cell(5, 1)), "<refused>");
}

TEST_F(HostAutomationTest, CellArgumentsAreCoercedOrRefused) {
  auto sheet = object(app, "ActiveSheet");
  EXPECT_EQ(get(object(sheet.get(), "Cells", {Variant::i2(1), Variant::i2(1)}).get(), "Value"),
            Variant(12.0));
  EXPECT_EQ(get(object(sheet.get(), "Cells", {Variant("1"), Variant(1.0)}).get(), "Value"), Variant(12.0));
  EXPECT_EQ(status(sheet.get(), "Cells", {Variant("one"), Variant(1)}), platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(status(sheet.get(), "Cells", {Variant(1), Variant(1), Variant(1)}),
            platform::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(status(sheet.get(), "Range", {Variant(1.0)}), platform::DISP_E_TYPEMISMATCH);
  platform::ExcepInfo info;
  EXPECT_EQ(status(sheet.get(), "Range", {Variant("A1:")}, &info), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(info.source, "Lumivane");
  EXPECT_EQ(info.description, "\"A1:\" is not a cell reference.");
}

TEST_F(HostAutomationTest, SheetLimitsByVersion) {
  auto sheet = object(app, "ActiveSheet");
  EXPECT_EQ(status(sheet.get(), "Cells", {Variant(65536), Variant(256)}), platform::S_OK);
  platform::ExcepInfo info;
  EXPECT_EQ(status(sheet.get(), "Cells", {Variant(65537), Variant(1)}, &info), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(info.description, "Row 65537 is outside the worksheet (rows 1 to 65536).");
  EXPECT_EQ(status(sheet.get(), "Cells", {Variant(1), Variant(257)}), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(status(sheet.get(), "Cells", {Variant(0), Variant(1)}), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(status(sheet.get(), "Range", {Variant("A65536:IV65537")}), platform::DISP_E_EXCEPTION);

  auto model7 = std::make_shared<HostModel>(7);
  model7->newWorkbook();
  auto app7 = platform::makeRef<ApplicationObject>(model7, nullptr);
  auto sheet7 = object(app7.get(), "ActiveSheet");
  EXPECT_EQ(status(sheet7.get(), "Cells", {Variant(16384), Variant(1)}), platform::S_OK);
  EXPECT_EQ(status(sheet7.get(), "Cells", {Variant(16385), Variant(1)}), platform::DISP_E_EXCEPTION);
}

TEST_F(HostAutomationTest, RangeValueTwoDimensionalPutAndGet) {
  auto sheet = object(app, "ActiveSheet");
  // A table of 3 rows and 2 columns from C5 goes to C5:D7.
  auto table = platform::SafeArray::create2D(3, 2);
  for (std::uint32_t i = 0; i < 3; ++i) {
    table->at(i, 0) = Variant("row " + std::to_string(i));
    table->at(i, 1) = Variant(i + 0.5);
  }
  auto range = object(sheet.get(), "Range", {Variant("C5"), Variant("D7")});
  ASSERT_EQ(platform::putProperty(range.get(), "Value", Variant(std::move(table))), platform::S_OK);
  const Sheet& s = host.model().workbook(0).sheet(0);
  EXPECT_EQ(s.value(5, 3), Variant("row 0"));
  EXPECT_EQ(s.value(7, 4), Variant(2.5));
  EXPECT_TRUE(s.value(8, 3).isEmpty());
  EXPECT_TRUE(s.value(5, 5).isEmpty());

  // Reading several cells gives a 2-D array indexed from 1.
  const Variant block = get(range.get(), "Value");
  ASSERT_EQ(block.vt(), platform::VT_ARRAY | platform::VT_VARIANT);
  std::int32_t lower = 0, upper = 0;
  EXPECT_EQ(block.parray()->lBound(1, lower), platform::S_OK);
  EXPECT_EQ(block.parray()->uBound(1, upper), platform::S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  Variant element;
  const std::int32_t lastRow[] = {3, 2};
  ASSERT_EQ(block.parray()->getElement(lastRow, element), platform::S_OK);
  EXPECT_EQ(element, Variant(2.5));

  // A scalar fills every cell of a range; Range(range, range) spans both.
  auto corner1 = object(sheet.get(), "Cells", {Variant(10), Variant(1)});
  auto corner2 = object(sheet.get(), "Cells", {Variant(11), Variant(2)});
  auto span = object(
      sheet.get(), "Range",
      {Variant(static_cast<Dispatch*>(corner2.get())), Variant(static_cast<Dispatch*>(corner1.get()))});
  ASSERT_EQ(platform::putProperty(span.get(), "Value", Variant(7.0)), platform::S_OK);
  EXPECT_EQ(s.value(10, 1), Variant(7.0));
  EXPECT_EQ(s.value(11, 2), Variant(7.0));
  EXPECT_EQ(get(span.get(), "Count"), Variant(std::int32_t{4}));
  EXPECT_EQ(platform::putProperty(span.get(), "Value", Variant(static_cast<Dispatch*>(app))),
            platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(s.value(10, 1), Variant(7.0));
}

TEST_F(HostAutomationTest, SelectionRowsColumnsAndCounts) {
  host.model().workbook(0).sheet(0).select(CellArea{2, 2, 21, 4});  // B2:D21
  auto selection = object(app, "Selection");
  auto columns = object(selection.get(), "Columns");
  auto rows = object(selection.get(), "Rows");
  EXPECT_EQ(get(columns.get(), "Column"), Variant(std::int32_t{2}));
  EXPECT_EQ(get(columns.get(), "Count"), Variant(std::int32_t{3}));
  EXPECT_EQ(get(rows.get(), "Row"), Variant(std::int32_t{2}));
  EXPECT_EQ(get(rows.get(), "Count"), Variant(std::int32_t{20}));
  EXPECT_EQ(get(selection.get(), "Count"), Variant(std::int32_t{60}));
  // Cells are relative to the range they are taken from.
  auto inner = object(selection.get(), "Cells", {Variant(2), Variant(3)});
  EXPECT_EQ(get(inner.get(), "Row"), Variant(std::int32_t{3}));
  EXPECT_EQ(get(inner.get(), "Column"), Variant(std::int32_t{4}));
  auto fifth = object(selection.get(), "Cells", {Variant(5)});
  EXPECT_EQ(get(fifth.get(), "Row"), Variant(std::int32_t{3}));
  EXPECT_EQ(get(fifth.get(), "Column"), Variant(std::int32_t{3}));
  auto secondColumn = object(selection.get(), "Columns", {Variant(2)});
  EXPECT_EQ(get(secondColumn.get(), "Column"), Variant(std::int32_t{3}));
  EXPECT_EQ(get(object(secondColumn.get(), "Rows").get(), "Count"), Variant(std::int32_t{20}));
  // Whole columns: A:C selected on a version 9 sheet.
  host.model().workbook(0).sheet(0).select(CellArea{1, 1, 65536, 3});
  auto whole = object(object(app, "Selection").get(), "Rows");
  EXPECT_EQ(get(whole.get(), "Count"), Variant(std::int32_t{65536}));
}

TEST_F(HostAutomationTest, ObjectsOfAClosedWorkbookFail) {
  auto sheet = object(app, "ActiveSheet");
  auto book = object(app, "ActiveWorkbook");
  auto cell = object(sheet.get(), "Cells", {Variant(1), Variant(1)});
  host.model().close(host.model().workbook(0));
  platform::ExcepInfo info;
  EXPECT_EQ(status(cell.get(), "Value", {}, &info), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(info.description, "The worksheet \"Measurements\" is no longer open.");
  EXPECT_EQ(platform::putProperty(cell.get(), "Value", Variant(1.0)), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(status(book.get(), "Name"), platform::DISP_E_EXCEPTION);
}

TEST_F(HostAutomationTest, RegisteredAsTheRunningSpreadsheet) {
  RefPtr<Dispatch> running;
  ASSERT_EQ(platform::GetActiveObject("Excel.Application", running), platform::S_OK);
  EXPECT_EQ(running.get(), app);
  EXPECT_EQ(platform::hostWindow(), &host.window());
}

TEST(HostLifetimeTest, RunningObjectAndWindowGoWithTheHost) {
  {
    Host host(8);
    RefPtr<Dispatch> running;
    ASSERT_EQ(platform::GetActiveObject(platform::kSpreadsheetProgId, running), platform::S_OK);
    EXPECT_EQ(get(running.get(), "Version"), Variant("8.0"));
  }
  RefPtr<Dispatch> running;
  EXPECT_EQ(platform::GetActiveObject(platform::kSpreadsheetProgId, running), platform::MK_E_UNAVAILABLE);
  EXPECT_EQ(platform::hostWindow(), nullptr);
}

// A tool's replacement procedure: keeps the host open while its windows exist.
int toolWindows = 0;
platform::WindowProc savedProcedure = nullptr;
platform::LRESULT toolProcedure(platform::HostWindow& window, platform::UINT message, platform::WPARAM wParam,
                                platform::LPARAM lParam) {
  if (message == platform::WM_CLOSE && toolWindows > 0) {
    --toolWindows;
    return 0;
  }
  return platform::CallWindowProc(savedProcedure, window, message, wParam, lParam);
}

TEST(HostWindowCloseTest, CloseReachesTheHostOnlyWhenTheToolLetsItThrough) {
  Host host;
  int closes = 0;
  host.setCloseHandler([&] { ++closes; });
  toolWindows = 1;
  savedProcedure = platform::hostWindow()->setProcedure(&toolProcedure);
  platform::hostWindow()->post(platform::WM_CLOSE);
  EXPECT_EQ(host.processMessages(), 1);
  EXPECT_FALSE(host.closeRequested());
  platform::hostWindow()->post(platform::WM_CLOSE);
  host.processMessages();
  EXPECT_TRUE(host.closeRequested());
  EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace host
