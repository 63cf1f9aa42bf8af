// The windows' side of job files: the CSV copy of a table reads back, through the host and the
// range reader, into the same names, IDs and doubles; the data options name the block read.

#include "batch/desktop_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "platform/a1_notation.h"
#include "shared/range_reader.h"
#include "tests/shared/excel_test_support.h"

namespace {

using lumivane::test::TempDir;

class DesktopJobTest : public bridge_test::BridgeTest {
 protected:
  // Writes the copy of table, opens it in the host and reads it back with the choice a job
  // would hold for it.
  RawTable roundTrip(const RawTable& table, Tool tool) {
    const std::filesystem::path csv = batch::csvBesideJob(dir.path() / "run.json");
    EXPECT_EQ(csv.filename(), "run.data.csv");
    std::ofstream(csv, std::ios::binary) << batch::tableCsv(table);
    host::Workbook& book = host->model().open(csv.string());
    for (int i = 0; i < host->model().workbookCount(); ++i)
      if (&host->model().workbook(i) == &book) host->model().activate(i);
    batch::Job job;
    batch::setJobData(job, batch::JobData{csv.string(), "ignored for a CSV", copyChoice(table)});
    EXPECT_EQ(job.text("data"), csv.string());  // a CSV file has one sheet
    DataSourceChoice choice;
    choice.columns = job.text("columns");
    choice.firstRow = static_cast<std::int32_t>(*job.integer("first-row"));
    choice.lastRow = static_cast<std::int32_t>(*job.integer("last-row"));
    choice.namesInFirstRow = !job.flag("no-names");
    choice.rowIdsInFirstColumn = job.flag("row-ids");
    RawTable back;
    EXPECT_TRUE(readRange(entered(tool), app(), choice, back));
    return back;
  }
  static DataSourceChoice copyChoice(const RawTable& table) {
    const std::int32_t columns = table.columnCount() + (table.rowIds.empty() ? 0 : 1);
    DataSourceChoice c;
    c.columns = "A-" + platform::columnLetters(columns);
    c.lastRow = table.rowCount + 1;
    c.rowIdsInFirstColumn = !table.rowIds.empty();
    return c;
  }
  static RawTable awkwardTable(bool ids) {
    RawTable t;
    t.columnNames = {"plain", "with, comma", "say \"hi\"", "2010", "TRUE", "'quoted", "1/2/2003"};
    const std::vector<double> values = {0.1,
                                        -1e-300,
                                        std::numeric_limits<double>::denorm_min(),
                                        1.7976931348623157e308,
                                        123456789012345678.0,
                                        -0.0,
                                        2.0 / 3.0};
    for (std::size_t c = 0; c < t.columnNames.size(); ++c)
      t.columns.push_back({values[c], values[(c + 1) % values.size()], static_cast<double>(c)});
    t.rowCount = 3;
    if (ids) t.rowIds = {"Row_2", "id, with comma", "007"};
    t.loaded = true;
    return t;
  }
  static void expectSameTable(const RawTable& back, const RawTable& table) {
    EXPECT_EQ(back.columnNames, table.columnNames);
    EXPECT_EQ(back.rowIds, table.rowIds);
    ASSERT_EQ(back.rowCount, table.rowCount);
    ASSERT_EQ(back.columnCount(), table.columnCount());
    for (std::int32_t c = 0; c < table.columnCount(); ++c)
      for (std::int32_t r = 0; r < table.rowCount; ++r) {
        const double a = back.column(c)[r], b = table.column(c)[r];
        EXPECT_TRUE(a == b && std::signbit(a) == std::signbit(b))
            << "column " << c << " row " << r << ": " << a;
      }
  }

  TempDir dir;
};

TEST_F(DesktopJobTest, TheCopyReadsBackIntoTheSameTable) {
  const RawTable table = awkwardTable(false);
  expectSameTable(roundTrip(table, Tool::Vantor), table);
}

TEST_F(DesktopJobTest, TheCopyKeepsTheRowIds) {
  const RawTable table = awkwardTable(true);
  expectSameTable(roundTrip(table, Tool::Gridwise), table);
}

TEST(DesktopJobData, TheOptionsNameTheFileSheetAndBlock) {
  batch::Job job;
  DataSourceChoice choice;
  choice.columns = "B-R";
  choice.firstRow = 2;
  choice.lastRow = 179;
  choice.namesInFirstRow = false;
  batch::setJobData(job, batch::JobData{"/data/wine.xlsx", "Measurements", choice});
  EXPECT_EQ(job.text("data"), "/data/wine.xlsx:Measurements");
  EXPECT_EQ(job.text("columns"), "B-R");
  EXPECT_EQ(job.integer("first-row"), 2);
  EXPECT_EQ(job.integer("last-row"), 179);
  EXPECT_TRUE(job.flag("no-names"));
  EXPECT_FALSE(job.has("row-ids"));
  // What the batch program makes of it: the same file and sheet.
  const batch::DataFile f = batch::parseDataFile(job.text("data"));
  EXPECT_EQ(f.file, "/data/wine.xlsx");
  EXPECT_EQ(f.sheet, "Measurements");
}

}  // namespace
