#include "shared/range_reader.h"

#include <gtest/gtest.h>

#include "excel_test_support.h"

namespace bridge_test {
namespace {

using platform::MB_ICONERROR;
using platform::MB_ICONWARNING;
using platform::Variant;

class RangeReaderTest : public BridgeTest {
 protected:
  // Names x, y, z in row 1 and the values 10·row + column below, rows 2 … lastRow.
  void fillTable(std::int32_t lastRow) {
    sheet().setText(1, 1, "x");
    sheet().setText(1, 2, "y");
    sheet().setText(1, 3, "z");
    for (std::int32_t r = 2; r <= lastRow; ++r)
      for (std::int32_t c = 1; c <= 3; ++c) sheet().setNumber(r, c, 10.0 * r + c);
  }
  DataSourceChoice choice(const std::string& columns, std::int32_t first, std::int32_t last,
                          bool names = true, bool ids = false) {
    DataSourceChoice k;
    k.columns = columns;
    k.firstRow = first;
    k.lastRow = last;
    k.namesInFirstRow = names;
    k.rowIdsInFirstColumn = ids;
    return k;
  }
  // Reads and expects exactly one message box, which it returns.
  platform::ScriptedPrompter::Call readRefused(Tool tool, const DataSourceChoice& k) {
    RawTable table;
    expectMessages(1);
    const std::size_t before = messages().size();
    EXPECT_FALSE(readRange(entered(tool), app(), k, table));
    EXPECT_FALSE(table.loaded);
    EXPECT_EQ(table.columnCount(), 0);
    EXPECT_EQ(messages().size(), before + 1);
    return messages().empty() ? platform::ScriptedPrompter::Call{} : messages().back();
  }
};

TEST_F(RangeReaderTest, NamesFromTheFirstRowAndValuesBelow) {
  fillTable(6);
  for (Tool tool : {Tool::Vantor, Tool::Gridwise}) {
    RawTable table;
    ASSERT_TRUE(readRange(entered(tool), app(), choice("A-C", 1, 6), table));
    EXPECT_TRUE(table.loaded);
    EXPECT_TRUE(table.isConsistent());
    EXPECT_EQ(table.columnNames, (std::vector<std::string>{"x", "y", "z"}));
    ASSERT_EQ(table.rowCount, 5);
    for (std::int32_t j = 0; j < 3; ++j)
      for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(table.column(j)[i], 10.0 * (i + 2) + (j + 1));
    if (tool == Tool::Vantor) {
      EXPECT_TRUE(table.rowIds.empty());
    } else {
      // Sheet rows 2 … 6 carry the IDs Row_3 … Row_7.
      EXPECT_EQ(table.rowIds, (std::vector<std::string>{"Row_3", "Row_4", "Row_5", "Row_6", "Row_7"}));
    }
  }
  EXPECT_TRUE(messages().empty());
}

TEST_F(RangeReaderTest, GeneratedNamesInTheListedOrder) {
  fillTable(6);
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Vantor), app(), choice("c,a", 3, 4, false), table));
  EXPECT_EQ(table.columnNames, (std::vector<std::string>{"Column_0", "Column_1"}));
  ASSERT_EQ(table.rowCount, 2);
  EXPECT_EQ(table.columns[0], (std::vector<double>{33, 43}));
  EXPECT_EQ(table.columns[1], (std::vector<double>{31, 41}));
}

TEST_F(RangeReaderTest, RowIdsFromTheFirstListedColumn) {
  fillTable(4);
  sheet().setText(2, 1, "p1");
  sheet().setDate(4, 1, 36526);
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Gridwise), app(), choice("A-C", 1, 4, true, true), table));
  EXPECT_EQ(table.columnNames, (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(table.rowIds, (std::vector<std::string>{"p1", "31", "1/1/2000"}));
  EXPECT_EQ(table.columns[0], (std::vector<double>{22, 32, 42}));
  // Vantor has no row IDs: the first column stays a data column.
  ASSERT_TRUE(readRange(entered(Tool::Vantor), app(), choice("B-C", 1, 4, true, true), table));
  EXPECT_EQ(table.columnCount(), 2);
}

TEST_F(RangeReaderTest, NoRowsLeft) {
  fillTable(6);
  auto m = readRefused(Tool::Gridwise, choice("A-C", 1, 1));
  EXPECT_EQ(m.text, "Number of rows must be positive!");
  EXPECT_EQ(m.caption, "Gridwise");
  EXPECT_EQ(m.icon(), MB_ICONERROR);
  m = readRefused(Tool::Vantor, choice("A-C", 5, 3, false));
  EXPECT_EQ(m.text, "Number of rows must be a positive number");
  EXPECT_EQ(m.caption, "VANTOR3");
  EXPECT_EQ(m.icon(), MB_ICONWARNING);
  EXPECT_TRUE(progress.empty());
}

TEST_F(RangeReaderTest, ABlankCellStopsTheRead) {
  fillTable(10);
  sheet().clear(7, 2);
  auto m = readRefused(Tool::Gridwise, choice("A-C", 1, 10));
  EXPECT_EQ(m.text, "Data reading error in the cell B7.");
  EXPECT_EQ(m.caption, "Gridwise");
  EXPECT_EQ(m.icon(), MB_ICONERROR);
  m = readRefused(Tool::Vantor, choice("A-C", 1, 10));
  EXPECT_EQ(m.text, "Bad value in the cell B7!");
  EXPECT_EQ(m.caption, "Vantor 3");
  EXPECT_EQ(m.icon(), MB_ICONERROR);
  ASSERT_EQ(progress.size(), 2u);
  // A read that fails closes its window at once, without the finished pause.
  for (const auto& p : progress) {
    EXPECT_TRUE(p->closed);
    EXPECT_TRUE(p->finishes.empty());
  }
  // Text in a value cell is refused the same way.
  sheet().setText(7, 2, "12");
  EXPECT_EQ(readRefused(Tool::Vantor, choice("A-C", 1, 10)).text, "Bad value in the cell B7!");
}

TEST_F(RangeReaderTest, NameCells) {
  fillTable(3);
  sheet().setNumber(1, 2, 12);  // a number serves as a name
  sheet().clear(1, 3);
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Vantor), app(), choice("A-B", 1, 3), table));
  EXPECT_EQ(table.columnNames, (std::vector<std::string>{"x", "12"}));

  auto m = readRefused(Tool::Gridwise, choice("A-C", 1, 3));
  EXPECT_EQ(
      m.text,
      "You have specified bad column name in the cell C1.\nCheck the values of first row of your data.\n"
      "It must be a string!");
  EXPECT_EQ(m.caption, "Gridwise");
  m = readRefused(Tool::Vantor, choice("A-C", 1, 3));
  EXPECT_EQ(m.text, "You have specified bad column name in the cell C1!");
  EXPECT_EQ(m.caption, "Vantor 3");
  EXPECT_EQ(m.icon(), MB_ICONERROR);
  EXPECT_TRUE(progress.size() == 1u);  // only the successful read showed progress
}

TEST_F(RangeReaderTest, ColumnListAndColumnCountRefusals) {
  fillTable(3);
  auto m = readRefused(Tool::Gridwise, choice("A-", 1, 3));
  EXPECT_EQ(m.text, "Error parsing string with columns!");
  EXPECT_EQ(m.caption, "Gridwise");
  EXPECT_EQ(m.icon(), MB_ICONERROR);
  m = readRefused(Tool::Vantor, choice("IW", 1, 3));
  EXPECT_EQ(m.text, "Error parsing string with columns!");
  EXPECT_EQ(m.caption, "VANTOR3");
  EXPECT_EQ(m.icon(), MB_ICONWARNING);
  m = readRefused(Tool::Gridwise, choice("A", 1, 3, true, true));  // the only column holds IDs
  EXPECT_EQ(m.text, "Number of columns must be positive!");
}

TEST_F(RangeReaderTest, BadRowId) {
  fillTable(4);
  sheet().setError(3, 1, host::kErrorNA);
  const auto m = readRefused(Tool::Gridwise, choice("A-C", 1, 4, true, true));
  EXPECT_EQ(m.text,
            "You have specified bad row ID in the cell A3.\nIt must be a string, a number or a date.");
  EXPECT_EQ(m.caption, "Gridwise");
}

TEST_F(RangeReaderTest, ASheetWithoutCells) {
  auto brokenSheet = platform::makeRef<ScriptedObject>();
  auto application = platform::makeRef<ScriptedObject>();
  application->setValue("ActiveSheet", Variant(static_cast<platform::Dispatch*>(brokenSheet.get())));
  for (Tool tool : {Tool::Gridwise, Tool::Vantor}) {
    entered(tool);
    RawTable table;
    expectMessages(1);
    EXPECT_FALSE(readRange(connection(tool), application.get(), choice("A", 1, 3), table));
    const auto m = messages().back();
    EXPECT_EQ(m.text, tool == Tool::Gridwise ? "This sheet doesn't contain data!" : "Bad Excel Worksheet!");
    EXPECT_EQ(m.caption, tool == Tool::Gridwise ? "Gridwise" : "Vantor 3");
    EXPECT_EQ(m.icon(), MB_ICONERROR);
  }
  // Without an active sheet the read ends without a word.
  host->model().close(host->model().workbook(0));
  RawTable table;
  EXPECT_FALSE(readRange(entered(Tool::Vantor), app(), choice("A", 1, 3), table));
  EXPECT_EQ(messages().size(), 2u);
}

TEST_F(RangeReaderTest, ProgressEveryHundredCells) {
  fillTable(101);  // 3 columns × 100 data rows
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Gridwise), app(), choice("A-C", 1, 101), table));
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0]->variant, ProgressVariant::GridwisePlain);
  EXPECT_EQ(progress[0]->texts, (std::vector<std::string>{"Retrieving data from Excel sheet..."}));
  EXPECT_EQ(progress[0]->positions, (std::vector<int>{33, 66, 100, 100}));
  // The last 100 is the finish, which holds the full bar for the documented 100 ms.
  EXPECT_EQ(progress[0]->finishes, (std::vector<std::chrono::milliseconds>{kProgressFinishedPause}));
  EXPECT_TRUE(progress[0]->closed);

  ASSERT_TRUE(readRange(entered(Tool::Vantor), app(), choice("A", 1, 3), table));
  EXPECT_EQ(progress[1]->variant, ProgressVariant::Vantor);
  EXPECT_EQ(progress[1]->texts, (std::vector<std::string>{"Retrieving data from Excel..."}));
  EXPECT_EQ(progress[1]->positions, (std::vector<int>{100}));
}

TEST_F(RangeReaderTest, Version7ReadsThroughTheSheet) {
  startHost(7);
  fillTable(6);
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Gridwise), app(), choice("B", 1, 6), table));
  EXPECT_EQ(table.columns[0], (std::vector<double>{22, 32, 42, 52, 62}));
}

TEST_F(RangeReaderTest, DefaultsFromTheSelection) {
  for (std::int32_t r = 1; r <= 20; ++r) sheet().setNumber(r, 1, r);
  ExcelConnection& c = entered(Tool::Gridwise);

  sheet().select(host::CellArea{1, 1, 65536, 3});  // whole columns A to C
  DataSourceChoice k = dataSourceDefaults(c, app());
  EXPECT_EQ(k.columns, "A-C");
  EXPECT_EQ(k.firstRow, 1);
  EXPECT_EQ(k.lastRow, 20);
  EXPECT_TRUE(k.namesInFirstRow);
  EXPECT_FALSE(k.rowIdsInFirstColumn);

  sheet().select(host::CellArea{2, 2, 5, 2});
  k = dataSourceDefaults(c, app());
  EXPECT_EQ(k.columns, "B");
  EXPECT_EQ(k.firstRow, 2);
  EXPECT_EQ(k.lastRow, 5);

  sheet().select(host::CellArea{1, 2, 65536, 2});  // a whole empty column: its first row
  EXPECT_EQ(dataSourceDefaults(c, app()).lastRow, 1);

  for (std::int32_t r = 1; r <= 65536; ++r) sheet().setNumber(r, 4, r);
  sheet().select(host::CellArea{1, 4, 65536, 4});  // full to the bottom: the last row stays
  EXPECT_EQ(dataSourceDefaults(c, app()).lastRow, 65536);

  host->model().close(host->model().workbook(0));
  k = dataSourceDefaults(c, app());
  EXPECT_EQ(k.columns, "");
  EXPECT_EQ(k.firstRow, 1);
  EXPECT_EQ(k.lastRow, 1);
}

TEST_F(RangeReaderTest, DialogThenRead) {
  fillTable(6);
  sheet().select(host::CellArea{1, 1, 6, 2});
  ExcelConnection& c = entered(Tool::Vantor);
  RawTable table;
  prompter.answerModal([](platform::ModalDialog& dialog) {
    auto& request = dynamic_cast<DataSourceRequest&>(dialog);
    EXPECT_EQ(request.dialogTitle(), "Select data source:");
    EXPECT_FALSE(request.offersRowIds());
    EXPECT_EQ(request.maxRows(), 65536);
    EXPECT_EQ(request.choice.columns, "A-B");
    EXPECT_EQ(request.choice.lastRow, 6);
    request.choice.columns = "C";
    return platform::IDOK;
  });
  ASSERT_TRUE(readDataSource(c, app(), table));
  EXPECT_EQ(table.columnNames, (std::vector<std::string>{"z"}));

  prompter.answerModal([](platform::ModalDialog&) { return platform::IDCANCEL; });
  EXPECT_FALSE(readDataSource(c, app(), table));
  EXPECT_TRUE(messages().empty());
}

TEST(DataSourceRequest, FieldChecks) {
  DataSourceRequest request(Tool::Gridwise, 16384, DataSourceChoice{});
  EXPECT_TRUE(request.offersRowIds());
  EXPECT_TRUE(request.valid());
  request.choice.lastRow = 16385;
  EXPECT_FALSE(request.valid());
  request.choice.lastRow = 16384;
  request.choice.firstRow = 0;
  EXPECT_FALSE(request.valid());
  request.choice.firstRow = 1;
  request.choice.columns.assign(256, 'A');
  EXPECT_FALSE(request.valid());
}

}  // namespace
}  // namespace bridge_test
