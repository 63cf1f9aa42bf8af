#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "host/calc/calc_objects.h"
#include "host/calc/calc_office.h"
#include "platform/safe_array.h"
#include "tests/host/calc/calc_test_office.h"
#include "tests/support/test_support.h"

namespace {

using host::calc::CalcApplication;
using host::calc::CalcOffice;
using platform::Dispatch;
using platform::RefPtr;
using platform::Variant;

Variant get(Dispatch* object, std::string_view name, std::initializer_list<Variant> args = {},
            platform::HRESULT expected = platform::S_OK) {
  Variant result;
  platform::ExcepInfo info;
  const std::vector<Variant> list(args);
  const platform::HRESULT hr = platform::getProperty(object, name, result, list, &info);
  EXPECT_EQ(hr, expected) << name << ": " << info.description;
  return result;
}

RefPtr<Dispatch> object(Dispatch* from, std::string_view name, std::initializer_list<Variant> args = {}) {
  Variant v = get(from, name, args);
  EXPECT_EQ(v.vt(), platform::VT_DISPATCH) << name;
  return RefPtr<Dispatch>::share(v.vt() == platform::VT_DISPATCH ? v.pdispVal() : nullptr);
}

std::unique_ptr<platform::SafeArray> block(std::uint32_t rows, std::uint32_t cols) {
  return platform::SafeArray::create2D(rows, cols);
}

Variant errorValue(std::int32_t number) {
  return Variant::error(platform::kSpreadsheetErrorBase + number);
}

// Reader exports as a tool library gives them to the add-in's macros.
std::string targetBook, targetSheet;
int readerCalls = 0;
platform::HRESULT readerWrite = platform::E_FAIL;

void getBookAndSheet(Variant* book, Variant* sheet) {
  *book = Variant(targetBook);
  *sheet = Variant(targetSheet);
}

void reader97(Dispatch* target) {
  ++readerCalls;
  auto out = platform::SafeArray::create2D(1, 2);
  out->at(0, 0) = Variant("answer");
  out->at(0, 1) = Variant(42.0);
  Variant range;
  const Variant address[] = {Variant("C3:D3")};
  readerWrite = platform::getProperty(target, "Range", range, address);
  if (platform::SUCCEEDED(readerWrite))
    readerWrite = platform::putProperty(range.pdispVal(), "Value", Variant(std::move(out)));
}

// A document of its own in the suite's shared office.
class CalcHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (const auto& o = calc_test::sharedOffice().office(); o && o->alive()) book() = o->newDocument();
  }

  void SetUp() override {
    CALC_TEST_REQUIRE_OFFICE();
    application = platform::makeRef<CalcApplication>(office());
  }

  RefPtr<Dispatch> sheet(const std::string& name) {
    auto workbook = object(application.get(), "Workbooks", {Variant(book())});
    return workbook ? object(workbook.get(), "Worksheets", {Variant(name)}) : RefPtr<Dispatch>();
  }

  static const std::shared_ptr<CalcOffice>& office() { return calc_test::sharedOffice().office(); }
  static std::string& book() {
    static std::string b;
    return b;
  }

  RefPtr<CalcApplication> application;
};

TEST_F(CalcHostTest, BlockOfEveryKindOfValueComesBackAsWritten) {
  auto first = sheet("Sheet1");
  ASSERT_TRUE(first);
  auto values = block(2, 4);
  values->at(0, 0) = Variant(1.25);
  values->at(0, 1) = Variant("text é");
  values->at(0, 2) = Variant();  // empty
  values->at(0, 3) = Variant(std::int32_t{-7});
  values->at(1, 0) = errorValue(2007);
  values->at(1, 1) = errorValue(2042);
  values->at(1, 2) = Variant::boolean(true);
  values->at(1, 3) = Variant::date(45000.5);
  auto range = object(first.get(), "Range", {Variant("B2:E3")});
  ASSERT_TRUE(range);
  ASSERT_EQ(platform::putProperty(range.get(), "Value", Variant(std::move(values))), platform::S_OK);

  const Variant back = get(range.get(), "Value");
  ASSERT_TRUE(back.isArray());
  const auto& a = *back.parray();
  ASSERT_EQ(a.rows(), 2u);
  ASSERT_EQ(a.cols(), 4u);
  EXPECT_EQ(a.at(0, 0), Variant(1.25));
  EXPECT_EQ(a.at(0, 1), Variant("text é"));
  EXPECT_TRUE(a.at(0, 2).isEmpty());
  EXPECT_EQ(a.at(0, 3), Variant(-7.0));
  EXPECT_EQ(a.at(1, 0), errorValue(2007));
  EXPECT_EQ(a.at(1, 1), errorValue(2042));
  // The office keeps truth values and dates as numbers.
  EXPECT_EQ(a.at(1, 2), Variant(1.0));
  EXPECT_EQ(a.at(1, 3), Variant(45000.5));

  // One cell reads as a scalar; a cell of the sheet addressed from the block.
  EXPECT_EQ(get(object(first.get(), "Range", {Variant("C2")}).get(), "Value"), Variant("text é"));
  auto cell = object(range.get(), "Cells", {Variant(std::int32_t{2}), Variant(std::int32_t{1})});
  EXPECT_EQ(get(cell.get(), "Value"), errorValue(2007));
}

TEST_F(CalcHostTest, ArraysSmallerOrFlatterThanTheBlockAndScalars) {
  auto first = sheet("Sheet1");
  ASSERT_TRUE(first);
  const auto put = [&](const std::string& area, Variant value) {
    auto range = object(first.get(), "Range", {Variant(area)});
    EXPECT_EQ(platform::putProperty(range.get(), "Value", value), platform::S_OK) << area;
    return get(range.get(), "Value");
  };
  // A one-dimensional array is a row: across a row block, and repeated down a taller one.
  const platform::SafeArrayBound rowBound[1] = {{3, 0}};
  const auto flat = [&] {
    auto row = platform::SafeArray::create(rowBound);
    row->at(0, 0) = Variant(5.0);
    row->at(1, 0) = Variant("x");
    row->at(2, 0) = Variant(7.0);
    return Variant(std::move(row));
  };
  const Variant across = put("H1:J1", flat());
  EXPECT_EQ(across.parray()->at(0, 1), Variant("x"));
  EXPECT_EQ(across.parray()->at(0, 2), Variant(7.0));
  const Variant down = put("H3:K4", flat());
  EXPECT_EQ(down.parray()->at(1, 0), Variant(5.0));
  EXPECT_EQ(down.parray()->at(1, 2), Variant(7.0));
  EXPECT_EQ(down.parray()->at(1, 3), errorValue(2042));  // past the array's end
  // A one-row array is repeated down, a one-column array across; a larger array leaves #N/A.
  auto oneRow = block(1, 2);
  oneRow->at(0, 0) = Variant(1.0);
  oneRow->at(0, 1) = Variant(2.0);
  const Variant rowsDown = put("M1:N3", Variant(std::move(oneRow)));
  EXPECT_EQ(rowsDown.parray()->at(2, 1), Variant(2.0));
  auto oneColumn = block(2, 1);
  oneColumn->at(0, 0) = Variant("a");
  oneColumn->at(1, 0) = Variant("b");
  const Variant columnsAcross = put("P1:R3", Variant(std::move(oneColumn)));
  EXPECT_EQ(columnsAcross.parray()->at(1, 2), Variant("b"));
  EXPECT_EQ(columnsAcross.parray()->at(2, 0), errorValue(2042));
  auto square = block(2, 2);
  for (std::uint32_t i = 0; i < 2; ++i)
    for (std::uint32_t j = 0; j < 2; ++j) square->at(i, j) = Variant(static_cast<double>(10 * i + j));
  const Variant padded = put("T1:V3", Variant(std::move(square)));
  EXPECT_EQ(padded.parray()->at(1, 1), Variant(11.0));
  EXPECT_EQ(padded.parray()->at(0, 2), errorValue(2042));
  EXPECT_EQ(padded.parray()->at(2, 0), errorValue(2042));
  // A scalar fills the whole block.
  EXPECT_EQ(put("X1:X3", Variant("same")).parray()->at(2, 0), Variant("same"));

  // An object cannot live in a cell: refused, nothing written.
  auto target = object(first.get(), "Range", {Variant("Z1")});
  Variant objectValue(static_cast<Dispatch*>(application.get()));
  EXPECT_EQ(platform::putProperty(target.get(), "Value", objectValue), platform::DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(get(target.get(), "Value").isEmpty());
}

TEST_F(CalcHostTest, SelectionOfTheActiveSheetIsTheBlockTheUserMarked) {
  office()->addSheet(book(), "Data");
  auto data = sheet("Data");
  ASSERT_TRUE(data);
  auto values = block(3, 2);
  for (std::uint32_t i = 0; i < 3; ++i)
    for (std::uint32_t j = 0; j < 2; ++j) values->at(i, j) = Variant(static_cast<double>(10 * i + j));
  auto range = object(data.get(), "Range", {Variant("B3"), Variant("C5")});
  ASSERT_EQ(platform::putProperty(range.get(), "Value", Variant(std::move(values))), platform::S_OK);
  office()->select(book(), "Data", host::CellArea{3, 2, 5, 3});

  EXPECT_EQ(get(object(application.get(), "ActiveSheet").get(), "Name"), Variant("Data"));
  EXPECT_EQ(get(object(application.get(), "ActiveWorkbook").get(), "Name"), Variant(book()));
  auto selection = object(application.get(), "Selection");
  ASSERT_TRUE(selection);
  EXPECT_EQ(get(selection.get(), "Row"), Variant(std::int32_t{3}));
  EXPECT_EQ(get(selection.get(), "Column"), Variant(std::int32_t{2}));
  EXPECT_EQ(get(object(selection.get(), "Rows").get(), "Count"), Variant(std::int32_t{3}));
  EXPECT_EQ(get(object(selection.get(), "Columns").get(), "Count"), Variant(std::int32_t{2}));
  const Variant read = get(selection.get(), "Value");
  ASSERT_TRUE(read.isArray());
  EXPECT_EQ(read.parray()->at(2, 1), Variant(21.0));

  auto sheets = object(object(application.get(), "Workbooks", {Variant(book())}).get(), "Worksheets");
  EXPECT_EQ(get(sheets.get(), "Count"), Variant(std::int32_t{2}));
  EXPECT_EQ(get(sheets.get(), "Item", {Variant(std::int32_t{2})}).vt(), platform::VT_DISPATCH);
  get(sheets.get(), "Item", {Variant("Nowhere")}, platform::DISP_E_BADINDEX);
  get(application.get(), "Workbooks", {Variant("Not open.ods")}, platform::DISP_E_BADINDEX);
  EXPECT_EQ(get(application.get(), "Version"), Variant("9.0"));
}

TEST_F(CalcHostTest, CellByCellReadsSeeWritesMadeThroughTheSheet) {
  office()->addSheet(book(), "Cells");
  auto cells = sheet("Cells");
  ASSERT_TRUE(cells);
  const auto cell = [&](std::int32_t row, std::int32_t col) {
    return object(cells.get(), "Cells", {Variant(row), Variant(col)});
  };
  // The first read takes the cells around it; a write through the same sheet is seen at once,
  // in the cell written and in its neighbours read afterwards.
  EXPECT_TRUE(get(cell(1, 1).get(), "Value").isEmpty());
  ASSERT_EQ(platform::putProperty(cell(1, 1).get(), "Value", Variant(3.5)), platform::S_OK);
  auto values = block(2, 1);
  values->at(0, 0) = Variant("down");
  values->at(1, 0) = errorValue(2007);
  auto column = object(cells.get(), "Range", {Variant("B300:B301")});
  ASSERT_EQ(platform::putProperty(column.get(), "Value", Variant(std::move(values))), platform::S_OK);
  EXPECT_EQ(get(cell(1, 1).get(), "Value"), Variant(3.5));
  EXPECT_TRUE(get(cell(2, 1).get(), "Value").isEmpty());
  EXPECT_EQ(get(cell(300, 2).get(), "Value"), Variant("down"));
  EXPECT_EQ(get(cell(301, 2).get(), "Value"), errorValue(2007));
  // The last row and column of the sheet read as any other cell.
  const Variant rows = get(object(object(cells.get(), "Cells").get(), "Rows").get(), "Count");
  EXPECT_TRUE(get(cell(rows.lVal(), 1).get(), "Value").isEmpty());
}

TEST_F(CalcHostTest, CellsOutsideTheSheetAreRefusedWithTheLimit) {
  auto first = sheet("Sheet1");
  Variant result;
  platform::ExcepInfo info;
  const Variant args[] = {Variant(std::int32_t{0}), Variant(std::int32_t{1})};
  EXPECT_EQ(platform::getProperty(first.get(), "Cells", result, args, &info), platform::DISP_E_EXCEPTION);
  EXPECT_NE(info.description.find("Row 0 is outside the worksheet"), std::string::npos) << info.description;
  const Variant far[] = {Variant(std::int32_t{1}), Variant(std::int32_t{1'000'000})};
  EXPECT_EQ(platform::getProperty(first.get(), "Cells", result, far, &info), platform::DISP_E_EXCEPTION);
}

TEST_F(CalcHostTest, ReaderMacrosRunTheToolsReaderOnTheChosenSheet) {
  office()->addSheet(book(), "Out");
  application->addLibrary([](const char* name) -> void* {
    if (std::string_view(name) == "GetBookAndSheetVT") return reinterpret_cast<void*>(&getBookAndSheet);
    if (std::string_view(name) == "Vantor3Reader97") return reinterpret_cast<void*>(&reader97);
    return nullptr;
  });
  targetBook = book();
  targetSheet = "Out";
  readerCalls = 0;
  Variant result;
  platform::ExcepInfo info;
  const Variant macro[] = {Variant("LUMIVANE.XLA!Vantor3DataReader97")};
  ASSERT_EQ(platform::callMethod(application.get(), "Run", macro, &result, &info), platform::S_OK)
      << info.description;
  EXPECT_EQ(readerCalls, 1);
  EXPECT_EQ(readerWrite, platform::S_OK);
  const Variant written = get(object(sheet("Out").get(), "Range", {Variant("C3:D3")}).get(), "Value");
  ASSERT_TRUE(written.isArray());
  EXPECT_EQ(written.parray()->at(0, 0), Variant("answer"));
  EXPECT_EQ(written.parray()->at(0, 1), Variant(42.0));

  // A target that has gone: the reader still runs (its request ends), the macro fails.
  targetSheet = "Closed meanwhile";
  EXPECT_EQ(platform::callMethod(application.get(), "Run", macro, &result, &info),
            platform::DISP_E_EXCEPTION);
  EXPECT_EQ(readerCalls, 2);
  EXPECT_NE(readerWrite, platform::S_OK);
  EXPECT_NE(info.description.find("Closed meanwhile"), std::string::npos);

  // A macro whose export no library has, and one that does not exist.
  const Variant gridwise[] = {Variant("LUMIVANE.XLA!GridwiseDataReader97")};
  EXPECT_EQ(platform::callMethod(application.get(), "Run", gridwise, &result, &info),
            platform::DISP_E_EXCEPTION);
  EXPECT_NE(info.description.find("GridwiseReader97"), std::string::npos);
  const Variant unknown[] = {Variant("LUMIVANE.XLA!Nothing")};
  EXPECT_EQ(platform::callMethod(application.get(), "Run", unknown, &result, &info),
            platform::DISP_E_EXCEPTION);
}

TEST_F(CalcHostTest, LargeBlocksMoveInOneCallEachWay) {
  auto first = sheet("Sheet1");
  constexpr std::uint32_t kRows = 10000, kCols = 10;
  auto values = block(kRows, kCols);
  for (std::uint32_t i = 0; i < kRows; ++i)
    for (std::uint32_t j = 0; j < kCols; ++j) values->at(i, j) = Variant(i * 0.5 + j);
  auto range = object(first.get(), "Range", {Variant("A101:J10100")});
  ASSERT_EQ(platform::putProperty(range.get(), "Value", Variant(std::move(values))), platform::S_OK);
  const Variant back = get(range.get(), "Value");
  ASSERT_TRUE(back.isArray());
  ASSERT_EQ(back.parray()->rows(), kRows);
  EXPECT_EQ(back.parray()->at(0, 0), Variant(0.0));
  EXPECT_EQ(back.parray()->at(kRows - 1, kCols - 1), Variant((kRows - 1) * 0.5 + kCols - 1));
}

TEST_F(CalcHostTest, TerminationIsVetoedWhileAToolWindowIsOpen) {
  bool toolWindowOpen = true;
  office()->setTerminationVeto([&] { return toolWindowOpen; });
  EXPECT_FALSE(office()->requestTermination());
  EXPECT_EQ(office()->vetoed(), 1);
  EXPECT_TRUE(office()->alive());
  EXPECT_EQ(get(object(application.get(), "ActiveWorkbook").get(), "Name"), Variant(book()));
  office()->setTerminationVeto(nullptr);
}

// An office of its own, killed as a crash would end it: every later call fails at once with a
// message naming the office, and nothing waits for an answer that cannot come.
TEST(CalcHostKilledOffice, GivesAMessageAndNoHang) {
  calc_test::TestOffice own("killed");
  if (!own.office()) GTEST_SKIP() << own.skipReason();
  if (!own.office()->startedProcess()) GTEST_SKIP() << "the office was not started by this test";
  auto application = platform::makeRef<CalcApplication>(own.office());
  const std::string book = own.office()->newDocument();
  auto workbook = object(application.get(), "Workbooks", {Variant(book)});
  auto cell =
      object(object(workbook.get(), "Worksheets", {Variant("Sheet1")}).get(), "Range", {Variant("A1")});
  ASSERT_TRUE(cell);
  own.kill();

  Variant result;
  platform::ExcepInfo info;
  EXPECT_EQ(platform::getProperty(cell.get(), "Value", result, {}, &info), platform::DISP_E_EXCEPTION);
  EXPECT_NE(info.description.find("LibreOffice Calc"), std::string::npos) << info.description;
  EXPECT_FALSE(own.office()->alive());
  EXPECT_FALSE(own.office()->terminated());
  EXPECT_EQ(platform::getProperty(application.get(), "Selection", result, {}, &info),
            platform::DISP_E_EXCEPTION);
  EXPECT_FALSE(own.office()->requestTermination());
}

}  // namespace
