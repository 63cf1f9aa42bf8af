// Reading and writing workbook files as a spreadsheet does: hand-made packages with every
// kind of cell, damaged files, .csv typing, and what the writers keep.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>

#include "host/workbook_builder.h"
#include "host/workbook_io.h"
#include "tests/host/workbook_test_support.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using lumivane::test::TempDir;
using platform::Variant;
using test::readBytes;
using test::writeBytes;
using test::writeZip;
using test::XlsxSpec;

Variant errorValue(std::int32_t code) {
  return Variant::error(platform::kSpreadsheetErrorBase + code);
}

std::shared_ptr<Workbook> openXlsx(const TempDir& dir, const XlsxSpec& spec,
                                   const std::string& name = "t.xlsx") {
  writeZip(dir.file(name), test::xlsxParts(spec));
  return importWorkbook(dir.file(name), kSheetLimits);
}

std::string openError(const std::string& path, const ImportOptions& options = {}) {
  try {
    importWorkbook(path, kSheetLimits, options);
  } catch (const WorkbookFileError& e) {
    return e.what();
  }
  return "(opened)";
}

std::string saveError(const Workbook& book, const std::string& path, const ExportOptions& options = {}) {
  try {
    exportWorkbook(book, path, options);
  } catch (const WorkbookFileError& e) {
    return e.what();
  }
  return "(saved)";
}

TEST(XlsxReadTest, EveryCellTypeAndTextForm) {
  TempDir dir;
  XlsxSpec spec;
  spec.sharedStrings =
      "<si><t>first</t></si><si><t/></si>"
      "<si><r><rPr><b/></rPr><t>bold </t></r><r><t xml:space=\"preserve\">and plain</t></r>"
      "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
      "<si><t>line_x000D_&#10;two _x005F_x0041_</t></si>";
  spec.sheets = {
      {"Data",
       "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
       "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c></row>"
       "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>inline</t></is></c>"
       "<c r=\"B2\" t=\"inlineStr\"><is><r><t>rich</t></r><r><t xml:space=\"preserve\"> runs</t></r></is></c>"
       "<c r=\"C2\" t=\"e\"><v>#DIV/0!</v></c><c r=\"D2\" t=\"e\"><v>#N/A</v></c>"
       "<c r=\"E2\" t=\"d\"><v>2000-01-02T12:00:00</v></c><c r=\"F2\" t=\"b\"><v>1</v></c>"
       "<c r=\"G2\" t=\"b\"><v>0</v></c></row>"
       // Cells without references follow one another; a row without a number
       // follows the one before.
       "<row><c><v>1.5</v></c><c t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c></row>"}};
  const auto book = openXlsx(dir, spec);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 1), Variant("first"));
  EXPECT_TRUE(s.value(1, 2).isEmpty());  // an empty shared string, not the one before
  EXPECT_EQ(s.value(1, 3), Variant("bold and plain"));
  EXPECT_EQ(s.value(1, 4), Variant("line\r\ntwo _x0041_"));
  EXPECT_EQ(s.value(2, 1), Variant("inline"));
  EXPECT_EQ(s.value(2, 2), Variant("rich runs"));
  EXPECT_EQ(s.value(2, 3), errorValue(kErrorDiv0));
  EXPECT_EQ(s.value(2, 4), errorValue(kErrorNA));
  EXPECT_EQ(s.value(2, 5), Variant::date(36527.5));
  EXPECT_EQ(s.value(2, 6), Variant::boolean(true));
  EXPECT_EQ(s.value(2, 7), Variant::boolean(false));
  EXPECT_EQ(s.value(3, 1), Variant(1.5));
  EXPECT_EQ(s.value(3, 2), Variant("ab"));
}

TEST(XlsxReadTest, NumberFormatsTellDatesPerCellInBothDateSystems) {
  TempDir dir;
  XlsxSpec spec;
  spec.numFmts =
      "<numFmt numFmtId=\"164\" formatCode=\"0.00&quot;d&quot;\"/>"  // "d" in quotes: not a date
      "<numFmt numFmtId=\"165\" formatCode=\"[h]:mm\"/>"
      "<numFmt numFmtId=\"166\" formatCode=\"[Red]#,##0\"/>"
      "<numFmt numFmtId=\"167\" formatCode=\"yyyy\\-mm\\-dd\"/>";
  spec.cellXfs =
      "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/>"
      "<xf numFmtId=\"166\"/><xf numFmtId=\"167\"/><xf numFmtId=\"4\"/>";
  const std::string cells =
      "<row r=\"1\"><c r=\"A1\"><v>36527</v></c><c r=\"B1\" s=\"1\"><v>36527</v></c>"
      "<c r=\"C1\" s=\"2\"><v>36527</v></c><c r=\"D1\" s=\"3\"><v>1.25</v></c>"
      "<c r=\"E1\" s=\"4\"><v>36527</v></c><c r=\"F1\" s=\"5\"><v>36527</v></c>"
      "<c r=\"G1\" s=\"6\"><v>36527</v></c><c r=\"H1\" s=\"9\"><v>36527</v></c></row>";
  spec.sheets = {{"S", cells}};
  const auto book = openXlsx(dir, spec, "d1900.xlsx");
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 1), Variant(36527.0));
  EXPECT_EQ(s.value(1, 2), Variant::date(36527));  // 2 January 2000
  EXPECT_EQ(s.value(1, 3), Variant(36527.0));
  EXPECT_EQ(s.value(1, 4), Variant::date(1.25));
  EXPECT_EQ(s.value(1, 5), Variant(36527.0));
  EXPECT_EQ(s.value(1, 6), Variant::date(36527));
  EXPECT_EQ(s.value(1, 7), Variant(36527.0));
  EXPECT_EQ(s.value(1, 8), Variant(36527.0));  // a style the file does not have

  // The 1904 system counts from 1 January 1904: 1,462 days later than the same serial in 1900.
  spec.workbookPr = "date1904=\"1\"";
  const auto book1904 = openXlsx(dir, spec, "d1904.xlsx");
  const Sheet& t = book1904->sheet(0);
  EXPECT_EQ(t.value(1, 1), Variant(36527.0));
  EXPECT_EQ(t.value(1, 2), Variant::date(36527 + 1462));
  EXPECT_EQ(t.value(1, 6), Variant::date(36527 + 1462));
}

TEST(XlsxReadTest, FormulasShowTheirStoredResults) {
  TempDir dir;
  XlsxSpec spec;
  spec.sheets = {
      {"F",
       "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\"><v>4</v></c></row>"
       "<row r=\"2\">"
       "<c r=\"A2\"><f>VLOOKUP(A1,Other!A:B,2,FALSE)</f><v>17</v></c>"
       "<c r=\"B2\"><f>[1]Sheet1!$A$1</f><v>2.5</v></c>"
       "<c r=\"C2\"><f>SUM(A1:B1</f><v>7</v></c>"  // malformed, yet stored
       "<c r=\"D2\" t=\"str\"><f>TEXT(NOW(),\"yyyy\")</f><v>2026</v></c>"
       "<c r=\"E2\"><f>A1*2</f><v>999</v></c>"  // stored results win over our arithmetic
       "<c r=\"F2\" t=\"b\"><f>AND(A1&gt;1,B1&gt;1)</f><v>1</v></c>"
       "<c r=\"G2\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c></row>"
       // Without stored results the formulas are calculated.
       "<row r=\"3\"><c r=\"A3\"><f>MAX(A1:B1)+MIN(A1:B1)</f></c><c r=\"B3\"><f>IFERROR(1/0,-1)</f></c>"
       "<c r=\"C3\"><f>NOSUCHFUNCTION(1)</f></c><c r=\"D3\"><f>SUM(A:A)</f></c>"
       "<c r=\"E3\" t=\"str\"><f>A1&amp;\"x\"</f></c><c r=\"F3\"><f>ROUND(2.5,0)+ROUND(-2.5,0)</f></c>"
       "<c r=\"G3\"><f>[1]Sheet1!A1</f></c></row>"
       // A shared formula: the first cell holds the text, the others move it.
       "<row r=\"4\"><c r=\"A4\"><f t=\"shared\" ref=\"A4:A6\" si=\"0\">A1+1</f></c></row>"
       "<row r=\"5\"><c r=\"A5\"><f t=\"shared\" si=\"0\"/></c></row>"
       "<row r=\"6\"><c r=\"A6\"><f t=\"shared\" si=\"0\"/></c></row>"}};
  const auto book = openXlsx(dir, spec);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(2, 1), Variant(17.0));
  EXPECT_EQ(s.value(2, 2), Variant(2.5));
  EXPECT_EQ(s.value(2, 3), Variant(7.0));
  EXPECT_EQ(s.value(2, 4), Variant("2026"));
  EXPECT_EQ(s.value(2, 5), Variant(999.0));
  EXPECT_EQ(s.value(2, 6), Variant::boolean(true));
  EXPECT_EQ(s.value(2, 7), errorValue(kErrorDiv0));
  EXPECT_EQ(s.value(3, 1), Variant(7.0));
  EXPECT_EQ(s.value(3, 2), Variant(-1.0));
  EXPECT_EQ(s.value(3, 3), errorValue(kErrorName));
  EXPECT_EQ(s.value(3, 4), Variant(3.0 + 17 + 7 + 4 + 18 + 8));  // A1:A3 and the shared A4:A6
  EXPECT_EQ(s.value(3, 5), Variant("3x"));
  EXPECT_EQ(s.value(3, 6), Variant(0.0));  // halves round away from zero
  EXPECT_EQ(s.value(3, 7), errorValue(kErrorRef));
  EXPECT_EQ(s.value(4, 1), Variant(4.0));
  EXPECT_EQ(s.value(5, 1), Variant(18.0));
  EXPECT_EQ(s.value(6, 1), Variant(8.0));
}

TEST(XlsxReadTest, DeepFormulasAndLongChainsNeitherCrashNorRefuse) {
  TempDir dir;
  XlsxSpec spec;
  const std::string deep = std::string(10000, '(') + "1" + std::string(10000, ')');
  std::string rows = "<row r=\"1\"><c r=\"A1\"><f>" + deep + "</f></c><c r=\"B1\"><f>" + deep +
                     "</f><v>1</v></c><c r=\"C1\"><f>" + std::string(100000, '-') + "1</f></c></row>";
  // 20,000 running totals without stored results, each on the one above.
  rows += "<row r=\"2\"><c r=\"D2\"><v>1</v></c></row>";
  for (int r = 3; r <= 20000; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"D" + std::to_string(r) + "\"><f>D" +
            std::to_string(r - 1) + "+1</f></c></row>";
  spec.sheets = {{"Deep", rows}};
  const auto book = openXlsx(dir, spec);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 1), errorValue(kErrorValue));
  EXPECT_EQ(s.value(1, 2), Variant(1.0));
  EXPECT_EQ(s.value(1, 3), errorValue(kErrorValue));
  EXPECT_EQ(s.value(20000, 4), Variant(19999.0));
}

TEST(XlsxReadTest, DamagedAndForeignFilesAreRefusedInPlainWords) {
  TempDir dir;
  XlsxSpec spec;
  spec.sheets = {{"S", "<row r=\"1\"><c r=\"B7\" t=\"s\"><v>5</v></c></row>"}};
  writeZip(dir.file("strings.xlsx"), test::xlsxParts(spec));
  EXPECT_EQ(
      openError(dir.file("strings.xlsx")),
      "Cannot open \"strings.xlsx\": the file is damaged: cell B7 refers to a text that does not exist in "
      "the sheet \"S\".");

  for (const std::string& bad : {std::string("<row r=\"1\"><c r=\"A1\" t='s\"><v>0</v></c></row>"),
                                 std::string("<row><c><v>&#x110000;</v></c></row>"),
                                 std::string("<row r=\"1\"><c r=\"A1\"><v>1</v></c>")}) {
    spec.sheets = {{"S", bad}};
    writeZip(dir.file("bad.xlsx"), test::xlsxParts(spec));
    const std::string e = openError(dir.file("bad.xlsx"));
    EXPECT_EQ(e.rfind("Cannot open \"bad.xlsx\": the file is damaged: the sheet \"S\": it is not well-formed "
                      "XML (line ",
                      0),
              0u)
        << e;
  }
  spec.sheets = {{"S", "<row r=\"1\"><c r=\"A1\"><v>1e</v></c></row>"}};
  writeZip(dir.file("number.xlsx"), test::xlsxParts(spec));
  EXPECT_EQ(
      openError(dir.file("number.xlsx")),
      "Cannot open \"number.xlsx\": the file is damaged: cell A1 holds \"1e\" where a number belongs in the "
      "sheet \"S\".");

  // A package cut short.
  spec.sheets = {{"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}};
  writeZip(dir.file("whole.xlsx"), test::xlsxParts(spec));
  const std::string whole = readBytes(dir.file("whole.xlsx"));
  writeBytes(dir.file("cut.xlsx"), whole.substr(0, whole.size() / 2));
  EXPECT_EQ(openError(dir.file("cut.xlsx")),
            "Cannot open \"cut.xlsx\": the file is damaged: it is not a complete zip archive.");
  // A zip that holds no workbook, a text file, an .xlsx named .csv.
  writeZip(dir.file("other.xlsx"), {{"readme.txt", "hello"}});
  EXPECT_EQ(openError(dir.file("other.xlsx")),
            "Cannot open \"other.xlsx\": the file is not an .xlsx workbook.");
  writeBytes(dir.file("text.xlsx"), "a,b\n1,2\n");
  EXPECT_EQ(openError(dir.file("text.xlsx")),
            "Cannot open \"text.xlsx\": the file is not an .xlsx workbook.");
  writeZip(dir.file("renamed.csv"), test::xlsxParts(spec));
  const auto renamed = importWorkbook(dir.file("renamed.csv"), kSheetLimits);
  EXPECT_EQ(renamed->sheet(0).name(), "S");
  EXPECT_EQ(renamed->sheet(0).value(1, 1), Variant(1.0));
  EXPECT_EQ(openError(dir.file("none.xlsx")), "Cannot open \"none.xlsx\": the file does not exist.");
}

// A sheet whose inflated data does not match what the archive says of it: longer, shorter,
// another checksum, bytes that are no deflate data. Small sheets and ones large enough to be
// taken apart while they are inflated are refused alike.
TEST(XlsxReadTest, SheetsThatInflateOtherwiseThanTheArchiveSaysAreRefused) {
  TempDir dir;
  const std::string name = "xl/worksheets/sheet1.xml";
  // The field at the given offsets of the sheet's local and central headers, overwritten.
  const auto patched = [&](std::string bytes, std::size_t localOffset, std::size_t centralOffset,
                           const std::function<void(char*)>& change) {
    for (const std::string& signature : {std::string("PK\x03\x04", 4), std::string("PK\x01\x02", 4)}) {
      const bool local = signature[2] == 3;
      const std::size_t nameOffset = local ? 30 : 46;
      for (std::size_t at = bytes.find(signature); at != std::string::npos;
           at = bytes.find(signature, at + 4))
        if (bytes.compare(at + nameOffset, name.size(), name) == 0)
          change(bytes.data() + at + (local ? localOffset : centralOffset));
    }
    return bytes;
  };
  const auto addToSize = [](int delta) {
    return [delta](char* field) {
      std::uint32_t v = 0;
      std::memcpy(&v, field, 4);
      v = static_cast<std::uint32_t>(static_cast<std::int64_t>(v) + delta);
      std::memcpy(field, &v, 4);
    };
  };
  for (const int rows : {3, 60000}) {
    std::string sheetRows;
    for (int r = 1; r <= rows; ++r) {
      const std::string n = std::to_string(r);
      sheetRows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + std::to_string(r / 3.0) +
                   "</v></c><c r=\"B" + n + "\"><v>" + std::to_string(r * 7.0 / 3.0) + "</v></c><c r=\"C" +
                   n + "\"><v>" + std::to_string(r / 9.0) + "</v></c><c r=\"D" + n + "\"><v>" +
                   std::to_string(r / 11.0) + "</v></c><c r=\"E" + n + "\"><v>" + std::to_string(r / 13.0) +
                   "</v></c></row>";
    }
    if (rows > 3) {
      ASSERT_GE(sheetRows.size(), std::size_t{8} << 20) << "large enough for two threads";
    }
    XlsxSpec spec;
    spec.sheets = {{"S", sheetRows}};
    writeZip(dir.file("good.xlsx"), test::xlsxParts(spec));
    const std::string good = readBytes(dir.file("good.xlsx"));
    ASSERT_TRUE(importWorkbook(dir.file("good.xlsx"), kSheetLimits)) << rows;
    const std::string damaged = "Cannot open \"bad.xlsx\": the file is damaged: the sheet \"S\": ";
    const auto refusal = [&](const std::string& bytes) {
      writeBytes(dir.file("bad.xlsx"), bytes);
      return openError(dir.file("bad.xlsx"));
    };
    // Uncompressed size at 22 (local) and 24 (central), checksum at 14 and 16.
    EXPECT_EQ(refusal(patched(good, 22, 24, addToSize(-1))), damaged + "a member is larger than it says.")
        << rows;
    EXPECT_EQ(refusal(patched(good, 22, 24, addToSize(1))), damaged + "a member is shorter than it says.")
        << rows;
    EXPECT_EQ(refusal(patched(good, 14, 16, [](char* crc) { crc[0] ^= 1; })),
              damaged + "a member's compressed data is corrupt.")
        << rows;
    if (rows == 3) {
      // A few packed bytes that say they unpack to a gigabyte: more than deflate can give, so
      // refused before any room is made for it.
      const auto gigabyte = [](char* field) { std::memcpy(field, "\x00\x00\x00\x40", 4); };
      std::uint32_t packed = 0;
      std::memcpy(&packed, good.data() + good.find(std::string("PK\x03\x04", 4)) + 18, 4);
      EXPECT_EQ(refusal(patched(good, 22, 24, gigabyte)),
                damaged + "its part " + name + " says it unpacks to 1073741824 bytes, more than its " +
                    std::to_string(packed) + " packed bytes can hold.");
    }
    // The deflated bytes themselves, overwritten in their middle: refused as damaged, in
    // whichever words the inflate finds.
    std::string garbled = good;
    const std::size_t header = garbled.find(std::string("PK\x03\x04", 4));
    ASSERT_EQ(garbled.compare(header + 30, name.size(), name), 0) << "the sheet is the first member";
    std::uint32_t packedSize = 0;
    std::uint16_t nameLength = 0, extraLength = 0;
    std::memcpy(&packedSize, garbled.data() + header + 18, 4);
    std::memcpy(&nameLength, garbled.data() + header + 26, 2);
    std::memcpy(&extraLength, garbled.data() + header + 28, 2);
    const std::size_t middle = header + 30 + nameLength + extraLength + packedSize / 2;
    for (std::size_t i = 0; i < 16; ++i) garbled[middle + i] = static_cast<char>(0xFF);
    const std::string garbledRefusal = refusal(garbled);
    EXPECT_EQ(garbledRefusal.rfind(damaged, 0), 0u) << rows << " " << garbledRefusal;
  }
  // As compressible as deflate allows (nearly 1,032 to 1): still opens.
  XlsxSpec spec;
  spec.sheets = {
      {"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + std::string(std::size_t{8} << 20, ' ')}};
  writeZip(dir.file("dense.xlsx"), test::xlsxParts(spec));
  const auto workbook = importWorkbook(dir.file("dense.xlsx"), kSheetLimits);
  ASSERT_TRUE(workbook);
  EXPECT_EQ(workbook->sheet(0).number(1, 1), 1.0);
}

TEST(XlsxReadTest, LimitsAreRefusedWithTheLimitsMessage) {
  TempDir dir;
  XlsxSpec spec;
  spec.sheets = {{"S", "<row r=\"65537\"><c r=\"A65537\"><v>1</v></c></row>"}};
  writeZip(dir.file("tall.xlsx"), test::xlsxParts(spec));
  EXPECT_EQ(openError(dir.file("tall.xlsx")),
            "Cannot open \"tall.xlsx\": the sheet has more than 65,536 rows.");
  spec.sheets = {{"S", "<row r=\"1\"><c r=\"IW1\"><v>1</v></c></row>"}};
  writeZip(dir.file("wide.xlsx"), test::xlsxParts(spec));
  EXPECT_EQ(openError(dir.file("wide.xlsx")),
            "Cannot open \"wide.xlsx\": the sheet has more than 256 columns.");
  // Styled but empty cells far out are no data.
  spec.sheets = {
      {"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"XFD1\" s=\"0\"/></row><row r=\"1048576\"/>"}};
  writeZip(dir.file("styled.xlsx"), test::xlsxParts(spec));
  EXPECT_EQ(importWorkbook(dir.file("styled.xlsx"), kSheetLimits)->sheet(0).usedArea(),
            (CellArea{1, 1, 1, 1}));
  spec.sheets.clear();
  for (int i = 0; i <= kMaxSheets; ++i) spec.sheets.emplace_back("S" + std::to_string(i), "");
  writeZip(dir.file("many.xlsx"), test::xlsxParts(spec));
  EXPECT_EQ(openError(dir.file("many.xlsx")),
            "Cannot open \"many.xlsx\": the workbook has more than 1,024 sheets.");
}

// 3,000 random 17-digit doubles (and the extremes) come back bit for bit: read from a file
// that stores them in shortest form, written by us and read again.
TEST(XlsxReadTest, DoublesRoundTripBitExact) {
  TempDir dir;
  std::mt19937_64 random(20261209);
  std::vector<double> values = {std::numeric_limits<double>::max(),
                                -std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::denorm_min(),
                                -0.0,
                                0.1 + 0.2,
                                9007199254740993.0,
                                1e-300};
  while (values.size() < 3000) {
    const double v = std::bit_cast<double>(random());
    if (std::isfinite(v)) values.push_back(v);
  }
  std::string rows;
  char text[40];
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::snprintf(text, sizeof text, "%.17g", values[i]);
    rows += "<row r=\"" + std::to_string(i + 1) + "\"><c r=\"A" + std::to_string(i + 1) + "\"><v>" + text +
            "</v></c></row>";
  }
  XlsxSpec spec;
  spec.sheets = {{"D", rows}};
  const auto book = openXlsx(dir, spec);
  exportWorkbook(*book, dir.file("copy.xlsx"));
  const auto copy = importWorkbook(dir.file("copy.xlsx"), kSheetLimits);
  std::size_t readWrong = 0, writtenWrong = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto r = static_cast<std::int32_t>(i + 1);
    readWrong +=
        std::bit_cast<std::uint64_t>(book->sheet(0).number(r, 1)) != std::bit_cast<std::uint64_t>(values[i]);
    writtenWrong +=
        std::bit_cast<std::uint64_t>(copy->sheet(0).number(r, 1)) != std::bit_cast<std::uint64_t>(values[i]);
  }
  EXPECT_EQ(readWrong, 0u);
  EXPECT_EQ(writtenWrong, 0u);
  EXPECT_EQ(copy->sheet(0).value(1, 1), Variant(std::numeric_limits<double>::max()));
}

TEST(OdsReadTest, ValueTypesTextsAndMergedCells) {
  TempDir dir;
  writeZip(
      dir.file("t.ods"),
      test::odsParts(
          "<table:table table:name=\"T\">"
          "<table:table-row>"
          "<table:table-cell office:value-type=\"float\" "
          "office:value=\"0.1\"><text:p>0.10</text:p></table:table-cell>"
          "<table:table-cell office:value-type=\"date\" office:date-value=\"2000-01-02\"/>"
          "<table:table-cell office:value-type=\"time\" office:time-value=\"PT18H30M00S\"/>"
          "<table:table-cell office:value-type=\"percentage\" office:value=\"0.25\"/>"
          "<table:table-cell office:value-type=\"currency\" office:currency=\"EUR\" office:value=\"-3\"/>"
          "<table:table-cell office:value-type=\"float\" office:value=\"36527\"/>"
          "</table:table-row>"
          "<table:table-row>"
          "<table:table-cell office:value-type=\"string\"><text:p>first</text:p><text:p>a<text:s "
          "text:c=\"3\"/>b"
          "<text:tab/>c<text:line-break/>d <text:span>  e</text:span></text:p></table:table-cell>"
          "<table:table-cell table:number-columns-spanned=\"2\" table:number-rows-spanned=\"2\""
          " office:value-type=\"string\"><text:p>merged</text:p></table:table-cell>"
          "<table:covered-table-cell/>"
          "<table:table-cell table:formula=\"of:=1/0\" office:value-type=\"float\" office:value=\"0\""
          " calcext:value-type=\"error\"><text:p>#DIV/0!</text:p></table:table-cell>"
          "<table:table-cell table:formula=\"of:=[.A1]*10+SUM([.D1:.E1])\"/>"
          "<table:table-cell office:value-type=\"string\" office:string-value=\"attr\"><text:p>shown</text:p>"
          "</table:table-cell>"
          "</table:table-row>"
          "<table:table-row><table:table-cell/><table:covered-table-cell "
          "table:number-columns-repeated=\"2\"/>"
          "<table:table-cell office:value-type=\"float\" "
          "office:value=\"5\"><office:annotation><text:p>note</text:p>"
          "</office:annotation><text:p>5</text:p></table:table-cell></table:table-row>"
          "</table:table>"));
  const auto book = importWorkbook(dir.file("t.ods"), kSheetLimits);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 1), Variant(0.1));
  EXPECT_EQ(s.value(1, 2), Variant::date(36527));
  EXPECT_EQ(s.value(1, 3), Variant::date(18.5 / 24));
  EXPECT_EQ(s.value(1, 4), Variant(0.25));
  EXPECT_EQ(s.value(1, 5), Variant(-3.0));
  EXPECT_EQ(s.value(1, 6), Variant(36527.0));                 // a number, though the file holds dates
  EXPECT_EQ(s.value(2, 1), Variant("first\na   b\tc\nd e"));  // spaces in the XML collapse
  EXPECT_EQ(s.value(2, 2), Variant("merged"));
  EXPECT_TRUE(s.value(2, 3).isEmpty());
  EXPECT_EQ(s.value(2, 4), errorValue(kErrorDiv0));
  EXPECT_EQ(s.value(2, 5), Variant(1.0 + 0.25 - 3));
  EXPECT_EQ(s.value(2, 6), Variant("attr"));
  EXPECT_EQ(s.value(3, 4), Variant(5.0));
  EXPECT_EQ(s.usedArea(), (CellArea{1, 1, 3, 6}));
}

TEST(OdsReadTest, ForeignAndDamagedFiles) {
  TempDir dir;
  writeZip(dir.file("doc.ods"),
           {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", "<a/>"}});
  EXPECT_EQ(openError(dir.file("doc.ods")), "Cannot open \"doc.ods\": the file is not an .ods workbook.");
  writeZip(dir.file("bad.ods"), test::odsParts("<table:table><table:table-row></table:table>"));
  const std::string e = openError(dir.file("bad.ods"));
  EXPECT_EQ(
      e.rfind("Cannot open \"bad.ods\": the file is damaged: the sheet content: it is not well-formed XML",
              0),
      0u)
      << e;
  writeZip(dir.file("date.ods"), test::odsParts("<table:table><table:table-row><table:table-cell "
                                                "office:value-type=\"date\" office:date-value=\"yesterday\"/>"
                                                "</table:table-row></table:table>"));
  EXPECT_EQ(
      openError(dir.file("date.ods")),
      "Cannot open \"date.ods\": the file is damaged: a cell holds \"yesterday\" where a date belongs.");
}

TEST(CsvReadTest, FieldsAreTypedAsASpreadsheetTypesThem) {
  TempDir dir;
  writeBytes(dir.file("c.csv"),
             "\"1,5\",1.5,NaN,inf,1e400,0x10,\"12\",'007,\" 3 \",-1e-5\r\n"
             "\"multi\nline\",\"=1+1\",\"'=2\",\"open quote\n");
  const auto book = importWorkbook(dir.file("c.csv"), kSheetLimits);
  const Sheet& s = book->sheet(0);
  EXPECT_EQ(s.value(1, 1), Variant("1,5"));
  EXPECT_EQ(s.value(1, 2), Variant(1.5));
  for (std::int32_t c = 3; c <= 6; ++c) EXPECT_EQ(s.kind(1, c), CellKind::Text) << c;
  EXPECT_EQ(s.value(1, 5), Variant("1e400"));
  EXPECT_EQ(s.value(1, 7), Variant(12.0));
  EXPECT_EQ(s.value(1, 8), Variant("007"));
  EXPECT_EQ(s.value(1, 9), Variant(3.0));
  EXPECT_EQ(s.value(1, 10), Variant(-1e-5));
  EXPECT_EQ(s.value(2, 1), Variant("multi\nline"));
  EXPECT_EQ(s.value(2, 2), Variant("=1+1"));
  EXPECT_EQ(s.value(2, 3), Variant("=2"));
  EXPECT_EQ(s.value(2, 4), Variant("open quote\n"));

  // A decimal comma with semicolons between fields.
  writeBytes(dir.file("comma.csv"), "1,5;\"2,25\";1.5;x\n");
  ImportOptions comma;
  comma.csv = {';', ','};
  const auto c = importWorkbook(dir.file("comma.csv"), kSheetLimits, comma);
  EXPECT_EQ(c->sheet(0).value(1, 1), Variant(1.5));
  EXPECT_EQ(c->sheet(0).value(1, 2), Variant(2.25));
  EXPECT_EQ(c->sheet(0).value(1, 3), Variant("1.5"));

  // Text in Windows-1252 rather than UTF-8; a BOM is dropped.
  writeBytes(dir.file("latin.csv"), "caf\xE9,\x80\n");
  EXPECT_EQ(importWorkbook(dir.file("latin.csv"), kSheetLimits)->sheet(0).value(1, 1),
            Variant("caf\xC3\xA9"));
  EXPECT_EQ(importWorkbook(dir.file("latin.csv"), kSheetLimits)->sheet(0).value(1, 2),
            Variant("\xE2\x82\xAC"));
  writeBytes(dir.file("bom.csv"), "\xEF\xBB\xBFname\n");
  EXPECT_EQ(importWorkbook(dir.file("bom.csv"), kSheetLimits)->sheet(0).value(1, 1), Variant("name"));
}

TEST(CsvReadTest, EmptyFilesAndLimits) {
  TempDir dir;
  writeBytes(dir.file("empty.csv"), "");
  const auto empty = importWorkbook(dir.file("empty.csv"), kSheetLimits);
  ASSERT_EQ(empty->sheetCount(), 1);
  EXPECT_EQ(empty->sheet(0).name(), "empty");
  EXPECT_FALSE(empty->sheet(0).usedArea());

  std::string wide(256, ',');
  writeBytes(dir.file("wide.csv"), wide + "x\n");
  EXPECT_EQ(openError(dir.file("wide.csv")),
            "Cannot open \"wide.csv\": the sheet has more than 256 columns.");
  writeBytes(dir.file("trailing.csv"), wide + "\n1\n");  // empty fields past the sheet are no data
  EXPECT_EQ(importWorkbook(dir.file("trailing.csv"), kSheetLimits)->sheet(0).value(2, 1), Variant(1.0));
  std::string tall;
  for (int i = 0; i < 65537; ++i) tall += "1\n";
  writeBytes(dir.file("tall.csv"), tall);
  EXPECT_EQ(openError(dir.file("tall.csv")),
            "Cannot open \"tall.csv\": the sheet has more than 65,536 rows.");
  ImportOptions same;
  same.csv = {',', ','};
  EXPECT_EQ(openError(dir.file("empty.csv"), same),
            "Cannot open \"empty.csv\": the field separator and the decimal mark must differ.");
}

Workbook mixedBook() {
  Workbook book("mixed.xlsx", kSheetLimits);
  Sheet& s = book.addSheet("Mixed");
  s.setText(1, 1, "=1+1");
  s.setText(1, 2, "+cmd");
  s.setText(1, 3, "-2");
  s.setText(1, 4, "@SUM(A1)");
  s.setText(1, 5, "'quoted");
  s.setText(1, 6, "12");
  s.setText(1, 7, "TRUE");
  s.setText(1, 8, "1/2/2000");
  s.setText(1, 9, "#N/A");
  s.setText(2, 1, "a;b,c");
  s.setText(2, 2, std::string("nul\0inside", 10));
  s.setNumber(2, 3, 0.1 + 0.2);
  s.setNumber(2, 4, -std::numeric_limits<double>::max());
  s.setDate(2, 5, 36527.75);
  s.setBoolean(2, 6, true);
  s.setError(2, 7, kErrorDiv0);
  s.setText(3, 1, " spaced ");
  s.setText(3, 2, "line\r\nbreak \"q\"");
  book.addSheet("Second/Part").setNumber(1, 1, 2);
  return book;
}

void expectSameCells(const Sheet& a, const Sheet& b) {
  ASSERT_EQ(a.usedArea(), b.usedArea()) << a.name();
  const auto area = a.usedArea();
  if (!area) return;
  for (std::int32_t r = area->top; r <= area->bottom; ++r)
    for (std::int32_t c = area->left; c <= area->right; ++c)
      EXPECT_EQ(a.value(r, c), b.value(r, c)) << a.name() << " " << cellName(r, c);
}

TEST(CsvWriteTest, NothingRunsAsAFormulaAndEveryCellComesBack) {
  TempDir dir;
  const Workbook book = mixedBook();
  for (const CsvOptions csv : {CsvOptions{',', '.'}, CsvOptions{';', ','}, CsvOptions{'\t', '.'}}) {
    ExportOptions options;
    options.csv = csv;
    const std::string path = dir.file("mixed.csv");
    EXPECT_EQ(exportWorkbook(book, path, options), std::vector<std::string>{path});
    const std::string text = readBytes(path);
    // No field starts with a character that would make a spreadsheet run it.
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == csv.separator || text[i] == '\n') {
        if (i > start) {
          EXPECT_EQ(std::string("=+@").find(text[start]), std::string::npos) << text.substr(start, i - start);
        }
        start = i + 1;
      }
    }
    EXPECT_EQ(text.substr(0, 8), std::string("'=1+1") + csv.separator + "'+");
    ImportOptions read;
    read.csv = csv;
    const auto copy = importWorkbook(path, kSheetLimits, read);
    expectSameCells(book.sheet(0), copy->sheet(0));
    // Written again, the file is the same byte for byte.
    exportWorkbook(*copy, dir.file("again.csv"), options);
    EXPECT_EQ(readBytes(dir.file("again.csv")), text);
  }
  ExportOptions bad;
  bad.csv = {',', ','};
  EXPECT_EQ(saveError(book, dir.file("x.csv"), bad),
            "Cannot save \"x.csv\": the field separator and the decimal mark must differ.");
}

TEST(CsvWriteTest, ChosenSheetOrEverySheetInAFileOfItsOwn) {
  TempDir dir;
  const Workbook book = mixedBook();
  ExportOptions all;
  all.sheets = ExportOptions::Sheets::All;
  const auto files = exportWorkbook(book, dir.file("out.csv"), all);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(fs::path(files[0]).filename(), "out-Mixed.csv");
  EXPECT_EQ(fs::path(files[1]).filename(), "out-Second_Part.csv");
  EXPECT_EQ(readBytes(files[1]), "2\r\n");
  EXPECT_FALSE(fs::exists(dir.file("out.csv")));
  ExportOptions named;
  named.sheets = ExportOptions::Sheets::Named;
  named.sheetName = "second/part";
  exportWorkbook(book, dir.file("one.csv"), named);
  EXPECT_EQ(readBytes(dir.file("one.csv")), "2\r\n");
  named.sheetName = "Missing";
  EXPECT_EQ(saveError(book, dir.file("one.csv"), named),
            "Cannot save \"one.csv\": the workbook has no sheet \"Missing\".");
}

TEST(XlsxWriteTest, TextsNamesAndEveryKindSurvive) {
  TempDir dir;
  Workbook book = mixedBook();
  Sheet& s = book.sheet(0);
  s.setText(4, 1, std::string(40000, 'x') + "\xE2\x82\xAC");  // longer than a spreadsheet's cell text
  s.setText(4, 2, "ctrl \x01\x1F tab\t _x000D_ \xEF\xBF\xBE end");
  s.setText(4, 3, "<&>\"'");
  book.addSheet(std::string(40, 'n'));
  book.addSheet(std::string(31, 'n') + "2");  // the same once both are cut
  book.activateSheet(1);
  exportWorkbook(book, dir.file("out.xlsx"));
  const auto copy = importWorkbook(dir.file("out.xlsx"), kSheetLimits);
  ASSERT_EQ(copy->sheetCount(), 4);
  expectSameCells(book.sheet(0), copy->sheet(0));
  EXPECT_EQ(copy->sheet(1).name(), "Second_Part");
  EXPECT_EQ(copy->sheet(2).name(), std::string(31, 'n'));
  EXPECT_EQ(copy->sheet(3).name(), std::string(29, 'n') + "~2");
  EXPECT_EQ(copy->activeSheetIndex(), 1);
}

TEST(SaveTest, TargetsAreReplacedOnlyWhenSafe) {
  TempDir dir;
  const Workbook book = mixedBook();
  EXPECT_EQ(saveError(book, dir.file("no/such/out.xlsx")),
            "Cannot save \"out.xlsx\": the folder does not exist.");
  EXPECT_EQ(saveError(book, dir.file("no/such/out.csv")),
            "Cannot save \"out.csv\": the folder does not exist.");

  // Read-only: refused, untouched.
  writeBytes(dir.file("locked.xlsx"), "old");
  fs::permissions(dir.file("locked.xlsx"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(saveError(book, dir.file("locked.xlsx")), "Cannot save \"locked.xlsx\": the file is read-only.");
  EXPECT_EQ(readBytes(dir.file("locked.xlsx")), "old");

  // A link is written through: the link stays, its target gets the new file and keeps its
  // permissions.
  fs::create_directory(dir.file("real"));
  writeBytes(dir.file("real/data.csv"), "old");
  fs::permissions(dir.file("real/data.csv"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real/data.csv", dir.file("link.csv"));
  exportWorkbook(book, dir.file("link.csv"));
  EXPECT_TRUE(fs::is_symlink(dir.file("link.csv")));
  EXPECT_EQ(readBytes(dir.file("real/data.csv")).substr(0, 5), "'=1+1");
  EXPECT_EQ(fs::status(dir.file("real/data.csv")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // A failure leaves the old file and no temporary file behind.
  Workbook bad("b.xlsx", kSheetLimits);
  bad.addSheet("S").setText(7, 2, "\xFF");
  writeBytes(dir.file("keep.csv"), "old");
  EXPECT_EQ(saveError(bad, dir.file("keep.csv")),
            "Cannot save \"keep.csv\": cell B7: the text is not valid UTF-8 (in the sheet \"S\").");
  EXPECT_EQ(readBytes(dir.file("keep.csv")), "old");
  EXPECT_EQ(saveError(book, dir.file("real")),
            "Cannot save \"real\": workbooks are saved as .xlsx or .csv files.");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"keep.csv", "link.csv", "locked.xlsx", "real"}));
}

}  // namespace
}  // namespace host
