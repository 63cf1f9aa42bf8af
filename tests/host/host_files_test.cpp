#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "host/host_model.h"
#include "host/workbook_builder.h"
#include "host/workbook_io.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

using lumivane::test::TempDir;
using platform::Variant;

Variant errorValue(std::int32_t code) {
  return Variant::error(platform::kSpreadsheetErrorBase + code);
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every cell of both sheets' used areas compared, kind and value.
void expectSameCells(const Sheet& a, const Sheet& b) {
  ASSERT_EQ(a.usedArea(), b.usedArea()) << a.name();
  const auto area = a.usedArea();
  if (!area) return;
  for (std::int32_t r = area->top; r <= area->bottom; ++r)
    for (std::int32_t c = area->left; c <= area->right; ++c)
      EXPECT_EQ(a.value(r, c), b.value(r, c)) << a.name() << " " << cellName(r, c);
}

// A workbook written by the xlsx library, with every kind of cell.
std::string writeSampleXlsx(const TempDir& dir) {
  const std::string path = dir.file("sample.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Data");
  lxw_format* dateFormat = workbook_add_format(wb);
  format_set_num_format(dateFormat, "m/d/yyyy");
  worksheet_write_string(ws, 0, 0, "Weight", nullptr);
  worksheet_write_string(ws, 0, 1, "Code", nullptr);
  worksheet_write_string(ws, 0, 2, "Active", nullptr);
  worksheet_write_string(ws, 0, 3, "Taken", nullptr);
  worksheet_write_string(ws, 0, 4, "Twice", nullptr);
  worksheet_write_number(ws, 1, 0, 12, nullptr);
  worksheet_write_string(ws, 1, 1, "12", nullptr);
  worksheet_write_boolean(ws, 1, 2, 1, nullptr);
  lxw_datetime date = {2000, 1, 2, 0, 0, 0};
  worksheet_write_datetime(ws, 1, 3, &date, dateFormat);
  worksheet_write_formula(ws, 1, 4, "=A2*2+1", nullptr);
  worksheet_write_number(ws, 2, 0, 0.1, nullptr);
  // B3 and C3 stay blank.
  worksheet_write_formula(ws, 2, 3, "=1/0", nullptr);
  worksheet_write_formula(ws, 2, 4, "=\"ab\"&\"cd\"", nullptr);
  workbook_add_worksheet(wb, "Empty");
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

TEST(WorkbookImportTest, XlsxWithEveryKindOfCellAndRecalculatedFormulas) {
  TempDir dir;
  const auto book = importWorkbook(writeSampleXlsx(dir), kSheetLimits);
  EXPECT_EQ(book->name(), "sample.xlsx");
  ASSERT_EQ(book->sheetCount(), 2);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.name(), "Data");
  EXPECT_EQ(s.value(1, 1), Variant("Weight"));
  EXPECT_EQ(s.value(2, 1), Variant(12.0));
  EXPECT_EQ(s.value(2, 2), Variant("12"));  // a number stored as text stays text
  EXPECT_EQ(s.value(2, 3), Variant::boolean(true));
  EXPECT_EQ(s.value(2, 4), Variant::date(36527));
  EXPECT_EQ(s.value(2, 5), Variant(25.0));  // the formula's value, recalculated
  EXPECT_EQ(s.value(3, 1), Variant(0.1));
  EXPECT_TRUE(s.value(3, 2).isEmpty());
  EXPECT_TRUE(s.value(3, 3).isEmpty());
  EXPECT_EQ(s.value(3, 4), errorValue(kErrorDiv0));
  EXPECT_EQ(s.value(3, 5), Variant("abcd"));
  EXPECT_FALSE(book->sheet(1).usedArea());
}

TEST(WorkbookImportTest, HandMadeOds) {
  const auto book = importWorkbook(lumivane::test::testDataPath("host_sample.ods"), kSheetLimits);
  ASSERT_EQ(book->sheetCount(), 2);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.name(), "Measurements");
  EXPECT_EQ(book->sheet(1).name(), "Empty");
  EXPECT_EQ(s.value(1, 2), Variant("Weight"));
  EXPECT_EQ(s.value(2, 1), Variant("alpha"));
  EXPECT_EQ(s.value(2, 2), Variant(12.0));
  EXPECT_EQ(s.value(2, 3), Variant("12"));
  EXPECT_EQ(s.value(2, 5), Variant::date(36527));
  EXPECT_EQ(s.value(3, 5), Variant::date(36525 + 18.5 / 24));
  // The formulas' results as the file stores them (0), not recalculated.
  EXPECT_EQ(s.value(2, 6), Variant(0.0));
  EXPECT_EQ(s.value(3, 6), Variant(0.0));
  EXPECT_TRUE(s.value(3, 3).isEmpty());
  EXPECT_EQ(s.value(2, 4), Variant::boolean(true));
  EXPECT_EQ(s.value(3, 4), Variant::boolean(false));
  EXPECT_EQ(s.kind(3, 4), CellKind::Boolean);
}

TEST(WorkbookImportTest, OdsBooleansFollowRepeatedAndCoveredCells) {
  const auto book = importWorkbook(lumivane::test::testDataPath("host_booleans.ods"), kSheetLimits);
  ASSERT_EQ(book->sheetCount(), 2);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 3), Variant(1.0));
  EXPECT_EQ(s.value(1, 4), Variant::boolean(false));  // after a run of three repeated cells
  EXPECT_EQ(s.value(1, 5), Variant::boolean(true));
  EXPECT_EQ(s.value(1, 6), Variant::boolean(true));
  EXPECT_TRUE(s.value(1, 7).isEmpty());
  // One row element repeated twice.
  EXPECT_TRUE(s.value(2, 1).isEmpty());
  EXPECT_EQ(s.value(2, 2), Variant::boolean(true));
  EXPECT_EQ(s.value(2, 3), Variant("x"));
  EXPECT_EQ(s.value(3, 2), Variant::boolean(true));
  EXPECT_EQ(s.value(3, 3), Variant("x"));
  // The covered cell under a merged cell keeps its column: what follows stays in place.
  EXPECT_EQ(s.value(4, 1), Variant("merged"));
  EXPECT_TRUE(s.value(4, 2).isEmpty());
  EXPECT_EQ(s.value(4, 3), Variant::boolean(false));
  EXPECT_EQ(s.value(4, 4), Variant(7.0));
  EXPECT_EQ(s.usedArea()->bottom, 4);
  EXPECT_EQ(book->sheet(1).value(1, 3), Variant::boolean(true));
  EXPECT_EQ(book->sheet(1).usedArea()->bottom, 1);
}

TEST(WorkbookImportTest, OdsRepeatedRowsAreFilledDown) {
  const auto book = importWorkbook(lumivane::test::testDataPath("host_repeated_rows.ods"), kSheetLimits);
  ASSERT_EQ(book->sheetCount(), 1);
  const Sheet& s = book->sheet(0);
  // One row element repeated three times: every copy holds the whole row.
  for (std::int32_t r = 1; r <= 3; ++r) {
    EXPECT_EQ(s.value(r, 1), Variant(1.5)) << r;
    EXPECT_TRUE(s.value(r, 2).isEmpty()) << r;
    EXPECT_EQ(s.value(r, 3), Variant(-4.0)) << r;
    EXPECT_EQ(s.value(r, 4), Variant(-4.0)) << r;
    EXPECT_EQ(s.value(r, 5), Variant("same")) << r;
    EXPECT_EQ(s.value(r, 6), Variant::boolean(true)) << r;
    EXPECT_TRUE(s.value(r, 7).isEmpty()) << r;
  }
  // The rows after it keep their places: a different row, ten repeated empty rows, a number.
  EXPECT_EQ(s.value(4, 1), Variant(9.0));
  EXPECT_EQ(s.value(4, 2), Variant("next"));
  EXPECT_TRUE(s.value(4, 3).isEmpty());
  for (std::int32_t r = 5; r <= 14; ++r)
    for (std::int32_t c = 1; c <= 6; ++c) EXPECT_TRUE(s.value(r, c).isEmpty()) << cellName(r, c);
  EXPECT_EQ(s.value(15, 3), Variant(42.0));
  EXPECT_EQ(s.usedArea(), (CellArea{1, 1, 15, 6}));
}

std::string odsContent(const std::string& tables) {
  return "<?xml version=\"1.0\"?><office:document-content"
         " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
         " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
         " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\"><office:body><office:"
         "spreadsheet>" +
         tables + "</office:spreadsheet></office:body></office:document-content>";
}

TEST(OdsContentTest, RepeatedRowsWithContentAreFilledAndCut) {
  // Rows 1-2 hold text without a value type, rows 3-7 only empty cells and whitespace, row 8
  // is not repeated, then a number row repeated to just the last row of the sheet.
  const auto book = readOdsContent(
      odsContent("<table:table><table:table-row table:number-rows-repeated=\"2\"><table:table-cell>"
                 "<text:p>t</text:p></table:table-cell></table:table-row>"
                 "<table:table-row table:number-rows-repeated=\"5\"><table:table-cell> </table:table-cell>"
                 "<table:table-cell table:number-columns-repeated=\"3\"/></table:table-row>"
                 "<table:table-row><table:table-cell office:value-type=\"float\" "
                 "office:value=\"1\"/></table:table-row>"
                 "<table:table-row table:number-rows-repeated=\"65528\"><table:table-cell/>"
                 "<table:table-cell office:value-type=\"float\" office:value=\"2\"/></table:table-row>"
                 "<table:table-row table:number-rows-repeated=\"99999999999999999999\"/></table:table>"),
      "rows.ods", kSheetLimits);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 1), Variant("t"));
  EXPECT_EQ(s.value(2, 1), Variant("t"));
  for (std::int32_t r = 3; r <= 7; ++r) EXPECT_TRUE(s.value(r, 1).isEmpty()) << r;
  EXPECT_EQ(s.value(8, 1), Variant(1.0));
  EXPECT_EQ(s.value(9, 2), Variant(2.0));
  EXPECT_EQ(s.value(kSheetLimits.rows, 2), Variant(2.0));
  EXPECT_TRUE(s.value(9, 1).isEmpty());
  EXPECT_EQ(s.usedArea(), (CellArea{1, 1, kSheetLimits.rows, 2}));

  // One row more and the copies would leave the sheet: refused, not cut.
  try {
    readOdsContent(
        odsContent("<table:table><table:table-row table:number-rows-repeated=\"65534\"/>"
                   "<table:table-row table:number-rows-repeated=\"3\"><table:table-cell"
                   " office:value-type=\"float\" office:value=\"4\"/></table:table-row></table:table>"),
        "tall.ods", kSheetLimits);
    FAIL() << "copies past the last row were accepted";
  } catch (const WorkbookFileError& e) {
    EXPECT_STREQ(e.what(), "Cannot open \"tall.ods\": the sheet has more than 65,536 rows.");
  }
}

TEST(OdsContentTest, HugeRepeatsOfEmptyCellsCostNothingAndBooleansKeepTheirPlaces) {
  const std::string cell =
      "<table:table-cell table:number-columns-repeated=\"99999999999999999999\"/>"
      "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>";
  try {
    readOdsContent(odsContent("<table:table><table:table-row><table:table-cell/>" + cell +
                              "</table:table-row></table:table>"),
                   "wide.ods", kSheetLimits);
    FAIL() << "a cell past the last column was accepted";
  } catch (const WorkbookFileError& e) {
    EXPECT_STREQ(e.what(), "Cannot open \"wide.ods\": the sheet has more than 256 columns.");
  }
  // A cell whose repeat just reaches the last column is inside the sheet; a formula's stored
  // Boolean counts; a table nested in a cell is not a sheet of its own.
  const auto book = readOdsContent(
      odsContent(
          "<table:table><table:table-row table:number-rows-repeated=\"4000000000\"/></table:table>"
          "<table:table><table:table-row><table:table-cell table:number-columns-repeated=\"254\"/>"
          "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"false\"><table:table>"
          "<table:table-row><table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>"
          "</table:table-row></table:table></table:table-cell>"
          "<table:table-cell table:formula=\"of:=1=1\" office:value-type=\"boolean\""
          " office:boolean-value=\"true\"/></table:table-row></table:table>"),
      "edge.ods", kSheetLimits);
  ASSERT_EQ(book->sheetCount(), 2);
  EXPECT_FALSE(book->sheet(0).usedArea());
  const Sheet& s = book->sheet(1);
  EXPECT_EQ(s.value(1, 255), Variant::boolean(false));
  EXPECT_EQ(s.value(1, 256), Variant::boolean(true));
  EXPECT_EQ(s.usedArea(), (CellArea{1, 255, 1, 256}));
}

TEST(WorkbookImportTest, CsvTypesEachField) {
  TempDir dir;
  const std::string path = dir.file("measurements.csv");
  writeFile(path,
            "Name,Value,Code,Flag,When,Problem\r\n"
            "alpha,12,\"12\",TRUE,1/2/2000,#N/A\r\n"
            "\"be,ta\",1e20,,false,12/31/1999 18:30,#DIV/0!\r\n"
            "\"say \"\"hi\"\"\",-0.5,0012,yes,13/1/2000,#n/a?\r\n");
  const auto book = importWorkbook(path, kSheetLimits);
  ASSERT_EQ(book->sheetCount(), 1);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.name(), "measurements");
  EXPECT_EQ(s.value(2, 2), Variant(12.0));
  EXPECT_EQ(s.value(2, 3), Variant(12.0));  // quoting does not make text in a csv file
  EXPECT_EQ(s.value(2, 4), Variant::boolean(true));
  EXPECT_EQ(s.value(2, 5), Variant::date(36527));
  EXPECT_EQ(s.value(2, 6), errorValue(kErrorNA));
  EXPECT_EQ(s.value(3, 1), Variant("be,ta"));
  EXPECT_EQ(s.value(3, 2), Variant(1e20));
  EXPECT_TRUE(s.value(3, 3).isEmpty());
  EXPECT_EQ(s.value(3, 4), Variant::boolean(false));
  EXPECT_EQ(s.value(3, 5), Variant::date(36525 + 18.5 / 24));
  EXPECT_EQ(s.value(3, 6), errorValue(kErrorDiv0));
  EXPECT_EQ(s.value(4, 1), Variant("say \"hi\""));
  EXPECT_EQ(s.value(4, 2), Variant(-0.5));
  EXPECT_EQ(s.value(4, 3), Variant(12.0));
  EXPECT_EQ(s.value(4, 4), Variant("yes"));
  EXPECT_EQ(s.value(4, 5), Variant("13/1/2000"));
  EXPECT_EQ(s.value(4, 6), Variant("#n/a?"));
}

TEST(WorkbookImportTest, UnreadableFilesLoadNothing) {
  TempDir dir;
  HostModel model;
  EXPECT_THROW(model.open(dir.file("missing.xlsx")), WorkbookFileError);
  writeFile(dir.file("broken.xlsx"), "PK\x03\x04 this is not a zip archive");
  try {
    model.open(dir.file("broken.xlsx"));
    FAIL() << "a damaged file was accepted";
  } catch (const WorkbookFileError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot open \"broken.xlsx\": the file is damaged: it is not a complete zip archive.");
  }
  writeFile(dir.file("notes.doc"), "just some words");
  EXPECT_THROW(model.open(dir.file("notes.doc")), WorkbookFileError);
  EXPECT_EQ(model.workbookCount(), 0);
  EXPECT_EQ(model.activeWorkbook(), nullptr);
}

TEST(WorkbookImportTest, DataBeyondTheSheetLimitsIsRefused) {
  TempDir dir;
  const std::string path = dir.file("tall.csv");
  std::string rows;
  for (int i = 1; i <= 16385; ++i) rows += std::to_string(i) + "\n";
  writeFile(path, rows);
  try {
    importWorkbook(path, kSheetLimitsVersion7);
    FAIL() << "16,385 rows were accepted by a 16,384-row host";
  } catch (const WorkbookFileError& e) {
    EXPECT_STREQ(e.what(), "Cannot open \"tall.csv\": the sheet has more than 16,384 rows.");
  }
  const auto book = importWorkbook(path, kSheetLimits);
  EXPECT_EQ(book->sheet(0).value(16385, 1), Variant(16385.0));
}

TEST(WorkbookExportTest, XlsxRoundTripKeepsEveryCell) {
  TempDir dir;
  auto original = importWorkbook(writeSampleXlsx(dir), kSheetLimits);
  Sheet& s = original->sheet(0);
  s.setDate(5, 1, 36527.75);  // with a time of day
  s.setText(5, 2, "  padded, \"quoted\"  ");
  s.setNumber(6, 3, 1.0 / 3.0);  // all 17 digits must survive
  s.setNumber(65536, 256, -1e-300);
  for (std::int32_t code : {kErrorNull, kErrorDiv0, kErrorValue, kErrorRef, kErrorName, kErrorNum, kErrorNA})
    s.setError(7, code - kErrorNull + 1, code);
  original->activateSheet(1);
  const std::string out = dir.file("copy.xlsx");
  exportWorkbook(*original, out);
  const auto copy = importWorkbook(out, kSheetLimits);
  ASSERT_EQ(copy->sheetCount(), 2);
  EXPECT_EQ(copy->sheet(0).name(), "Data");
  EXPECT_EQ(copy->sheet(1).name(), "Empty");
  expectSameCells(original->sheet(0), copy->sheet(0));
  expectSameCells(original->sheet(1), copy->sheet(1));
}

TEST(WorkbookExportTest, CsvRoundTripOfTheActiveSheet) {
  TempDir dir;
  Workbook book("numbers.xlsx", kSheetLimits);
  book.addSheet("Other").setNumber(1, 1, 99);
  Sheet& s = book.addSheet("Table");
  book.activateSheet(1);
  s.setText(1, 1, "x, y");
  s.setText(1, 2, "say \"hi\"");
  s.setNumber(2, 1, 0.1 + 0.2);
  s.setNumber(2, 2, -1e20);
  s.setBoolean(3, 1, false);
  s.setDate(3, 2, 36525 + 18.5 / 24);
  s.setError(4, 3, kErrorNA);
  s.setText(5, 2, "line\nbreak");
  const std::string path = dir.file("table.csv");
  exportWorkbook(book, path);
  const auto copy = importWorkbook(path, kSheetLimits);
  expectSameCells(s, copy->sheet(0));
  EXPECT_EQ(readFile(path).substr(0, 22), "\"x, y\",\"say \"\"hi\"\"\",\r\n");
}

TEST(WorkbookExportTest, FailedSaveLeavesTheTargetAlone) {
  TempDir dir;
  Workbook book("b.xlsx", kSheetLimits);
  book.addSheet("Sheet1").setNumber(1, 1, 1);
  const std::string target = dir.file("keep.xlsx");
  writeFile(target, "previous contents");
  Workbook bad("b.xlsx", kSheetLimits);
  bad.addSheet("Sheet1").setText(2, 3, "caf\xE9");  // Latin-1, not UTF-8
  try {
    exportWorkbook(bad, target);
    FAIL() << "invalid UTF-8 was written";
  } catch (const WorkbookFileError& e) {
    EXPECT_STREQ(
        e.what(),
        "Cannot save \"keep.xlsx\": cell C2: the text is not valid UTF-8 (in the sheet \"Sheet1\").");
  }
  EXPECT_EQ(readFile(target), "previous contents");
  EXPECT_THROW(exportWorkbook(book, dir.file("no/such/folder/x.csv")), WorkbookFileError);
  EXPECT_THROW(exportWorkbook(book, dir.file("x.ods")), WorkbookFileError);
  // Nothing left behind but the target.
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()),
      1);
  exportWorkbook(book, target);
  EXPECT_EQ(importWorkbook(target, kSheetLimits)->sheet(0).value(1, 1), Variant(1.0));
}

}  // namespace
}  // namespace host
