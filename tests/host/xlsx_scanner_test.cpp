// The worksheet scanner: what it hands on for the forms spreadsheets write, and what it leaves
// to the general reader; and that both readers give the same workbook for the same package.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/workbook_builder.h"
#include "host/xlsx_sheet_scanner.h"
#include "host/zip_archive.h"
#include "tests/host/workbook_test_support.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using lumivane::test::TempDir;

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\">"
    "<dimension ref=\"A1:C3\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>";

// Every row and cell as one line of text.
struct Recorder final : ScannedSheetSink {
  std::vector<std::string> lines;
  void row(std::optional<std::string_view> number) override {
    lines.push_back("row " + std::string(number.value_or("-")));
  }
  void cell(const ScannedCell& c) override {
    const auto show = [](const std::optional<std::string_view>& v) {
      return v ? "[" + std::string(*v) + "]" : std::string("-");
    };
    std::string line = "c " + show(c.ref) + show(c.type) + show(c.style) + " v" + show(c.value);
    if (c.hasFormula)
      line += " f" + show(c.formula) + " " + std::string(c.formulaType) + "/" + std::string(c.shareIndex);
    if (c.inlineText) line += " is" + show(c.inlineText);
    lines.push_back(line);
  }
};

// The lines, or "declined"; the text is handed over in pieces of the given size.
std::vector<std::string> scan(const std::string& xml, std::size_t piece = 1 << 20) {
  Recorder recorder;
  std::size_t at = 0;
  try {
    scanWorksheet(
        [&](char* buffer, std::size_t capacity) {
          const std::size_t n = std::min({capacity, piece, xml.size() - at});
          std::copy_n(xml.data() + at, n, buffer);
          at += n;
          return n;
        },
        recorder);
  } catch (const SheetScanDeclined&) {
    return {"declined"};
  }
  return recorder.lines;
}

// The lines of a scan of the part held whole; the same as scan() gives.
std::vector<std::string> scanWhole(const std::string& xml) {
  Recorder recorder;
  try {
    scanWorksheet(std::string_view(xml), recorder);
  } catch (const SheetScanDeclined&) {
    return {"declined"};
  }
  return recorder.lines;
}

// A recorder whose cell() throws at the cell of the given reference.
struct FailingRecorder final : ScannedSheetSink {
  Recorder lines;
  std::string failAt;
  void row(std::optional<std::string_view> number) override { lines.row(number); }
  void cell(const ScannedCell& c) override {
    if (c.ref && *c.ref == failAt) throw std::runtime_error("bad cell");
    lines.cell(c);
  }
};

struct SplitScan {
  bool split = false;
  std::vector<std::string> upper, lower;
};
SplitScan scanSplit(const std::string& xml, const std::string& lowerFailsAt = "") {
  Recorder upper;
  FailingRecorder lower;
  lower.failAt = lowerFailsAt;
  SplitScan out;
  out.split = scanWorksheetSplit(xml, upper, lower);
  out.upper = upper.lines;
  out.lower = lower.lines.lines;
  return out;
}

std::string numberedRows(int first, int last) {
  std::string rows;
  for (int r = first; r <= last; ++r) {
    const std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + ".5</v></c><c r=\"B" + n +
            "\" t=\"s\" s=\"1\"><v>0</v></c></row>\n";
  }
  return rows;
}

std::string sheet(const std::string& rows, const std::string& tail = "") {
  return std::string(kHead) + "<sheetData>" + rows + "</sheetData>" + tail + "</worksheet>";
}

TEST(XlsxScannerTest, CellsAsSpreadsheetsWriteThem) {
  const std::string rows =
      "<row r=\"1\" spans=\"1:3\" x14ac:dyDescent=\"0.25\">"
      "<c r=\"A1\" s=\"2\"><v>-1.5E-3</v></c>"
      "<c r=\"B1\" t=\"s\"><v>7</v></c>\n  "
      "<c r=\"C1\" t=\"str\"><f t=\"shared\" ref=\"C1:C3\" "
      "si=\"0\">A1&amp;&quot;x&quot;</f><v>a&lt;b&#x41;&#66;</v></c>"
      "</row><row r=\"2\"/>"
      "<row><c t=\"inlineStr\"><is><r><rPr><b/></rPr><t>bold </t></r><r><t xml:space=\"preserve\">x_x000D_"
      "</t></r><rPh sb=\"0\" eb=\"1\"><t>PH</t></rPh></is></c><c><f t='shared' si='0'/></c>"
      "<c r=\"C3\" s=\"1\"/><c><v/></c><!-- a comment --></row>";
  EXPECT_EQ(scan(sheet(rows, "<mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>")),
            (std::vector<std::string>{"row 1", "c [A1]-[2] v[-1.5E-3]", "c [B1][s]- v[7]",
                                      "c [C1][str]- v[a<bAB] f[A1&\"x\"] shared/0", "row 2", "row -",
                                      "c -[inlineStr]- v- is[bold x\r]", "c --- v- f[] shared/0",
                                      "c [C3]-[1] v-", "c --- v[]"}));
  // Handed over a byte at a time, or held whole, the same.
  EXPECT_EQ(scan(sheet(rows), 1), scan(sheet(rows)));
  EXPECT_EQ(scanWhole(sheet(rows)), scan(sheet(rows)));
  // Attributes in another order, spaced otherwise, quoted otherwise: the same cells.
  EXPECT_EQ(scan(sheet("<row r=\"1\"><c s=\"2\" r=\"A1\"><v>1</v></c><c  r=\"B1\"><v>2</v></c>"
                       "<c r='C1'><v>3</v></c><c r=\"D1\" t=\"n\"/><c r=\"E1\"></c></row>")),
            (std::vector<std::string>{"row 1", "c [A1]-[2] v[1]", "c [B1]-- v[2]", "c [C1]-- v[3]",
                                      "c [D1][n]- v-", "c [E1]-- v-"}));
  EXPECT_EQ(scan(sheet("")), std::vector<std::string>{});
  EXPECT_EQ(scan(std::string(kHead) + "<sheetData/></worksheet>"), std::vector<std::string>{});
}

// What the general reader reads (or refuses with its own words) is left to it; nothing that
// is not well-formed passes.
TEST(XlsxScannerTest, LeavesEverythingIrregularToTheGeneralReader) {
  const std::vector<std::string> declined = {"declined"};
  for (const std::string& rows : {
           std::string("<row r=\"1\"><c r=\"A1\" t='s\"><v>0</v></c></row>"),  // quotes that differ
           std::string("<row><c><v>&#x110000;</v></c></row>"),                 // beyond Unicode
           std::string("<row><c><v>&#1;</v></c></row>"),                       // not an XML character
           std::string("<row><c><v>&nbsp;</v></c></row>"),                     // an undeclared entity
           std::string("<row><c><v>1</v></c>"),                                // no end tag
           std::string("<row><c><v>1</c></row>"),                              // crossed tags
           std::string("<row><c r=\"A1\" r=\"B1\"><v>1</v></c></row>"),        // a repeated attribute
           std::string("<row><c r=A1><v>1</v></c></row>"),                     // no quotes
           std::string("<row><c><v>\xC3\x28</v></c></row>"),                   // invalid UTF-8
           std::string("<row><c><v>\xED\xA0\x80</v></c></row>"),               // a surrogate
           std::string("<row><c><v>1\r\n</v></c></row>"),                      // text the parser rewrites
           std::string("<row><c><v><![CDATA[1]]></v></c></row>"),              // a CDATA value
           std::string("<row><x:c xmlns:x=\"urn:x\"/></row>"),                 // namespaces declared inside
           std::string("<row><y:c/></row>"),                                   // an undeclared prefix
           std::string("<row><c><v>1</v><v>]]></v></c></row>"),
       }) {
    EXPECT_EQ(scan(sheet(rows)), declined) << rows;
  }
  // Another encoding, a document type, a prefix for the sheet's own namespace, no sheet
  // namespace at all, content after the document.
  EXPECT_EQ(scan("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet "
                 "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>"),
            declined);
  EXPECT_EQ(scan("<?xml version=\"1.0\"?><!DOCTYPE worksheet><worksheet "
                 "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>"),
            declined);
  EXPECT_EQ(scan("<?xml version=\"1.0\" & ?><worksheet "
                 "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>"),
            declined);
  EXPECT_EQ(scan("<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                 "<x:sheetData/></x:worksheet>"),
            declined);
  EXPECT_EQ(scan("<worksheet><sheetData/></worksheet>"), declined);
  EXPECT_EQ(scan(sheet("") + "<extra/>"), declined);
  EXPECT_EQ(scan(sheet("").substr(0, sheet("").size() - 3)), declined);
  // Rows outside <sheetData> mean something only to the general reader.
  EXPECT_EQ(scan(sheet("", "<row/>")), declined);
}

// Both readers give the same cells for the same package, whichever of them reads it; the
// packages of the file suites and the spreadsheet corpus are compared in the file tests.
TEST(XlsxScannerTest, BothReadersGiveTheSameWorkbook) {
  TempDir dir;
  test::XlsxSpec spec;
  spec.sharedStrings = "<si><t>one</t></si><si><t>two</t></si>";
  spec.numFmts = "<numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/>";
  spec.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"20\"/>";
  std::string rows;
  for (int r = 1; r <= 300; ++r) {
    const std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + std::to_string(r * 0.125) + "</v></c><c r=\"B" +
            n + "\" t=\"s\"><v>" + std::to_string(r % 2) + "</v></c><c r=\"C" + n + "\" s=\"1\"><v>" +
            std::to_string(40000 + r) + "</v></c><c r=\"D" + n + "\" s=\"2\"><v>0.5</v></c><c r=\"E" + n +
            "\"><f>A" + n + "*2</f><v>" + std::to_string(r * 0.25) + "</v></c><c r=\"F" + n + "\"><f>A" + n +
            "+1</f></c><c r=\"G" + n + "\" t=\"b\"><v>1</v></c><c r=\"H" + n +
            "\" t=\"e\"><v>#N/A</v></c></row>";
  }
  spec.sheets = {{"Data", rows}, {"Other", "<row r=\"2\"><c r=\"B2\"><v>1</v></c></row>"}};
  spec.workbookPr = "date1904=\"1\"";
  test::writeZip(dir.file("both.xlsx"), test::xlsxParts(spec));
  const auto zip = ZipArchive::open(dir.file("both.xlsx"));
  ASSERT_TRUE(zip);
  // The scanner takes these sheets itself.
  for (const char* part : {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"})
    EXPECT_NE(scan(zip->readAll(part)), std::vector<std::string>{"declined"}) << part;
  const auto fast = readXlsx(*zip, "both.xlsx", kSheetLimits, XlsxSheetReading::Fast);
  const auto general = readXlsx(*zip, "both.xlsx", kSheetLimits, XlsxSheetReading::General);
  ASSERT_EQ(fast->sheetCount(), general->sheetCount());
  for (int s = 0; s < fast->sheetCount(); ++s)
    for (std::int32_t r = 1; r <= 301; ++r)
      for (std::int32_t c = 1; c <= 9; ++c)
        ASSERT_EQ(fast->sheet(s).value(r, c), general->sheet(s).value(r, c)) << s << " " << cellName(r, c);
  EXPECT_EQ(fast->sheet(0).value(10, 6), platform::Variant(2.25));
}

// Two scans at once hand on together exactly what one scan does, split at a row; where the
// middle falls inside something that only looks like a row, or the lower scan fails, the upper
// one hands on every row itself.
TEST(XlsxScannerTest, TwoScansAtOnceHandOnWhatOneDoes) {
  const std::string tail = "<mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>";
  const std::string plain = sheet(numberedRows(1, 400), tail);
  const SplitScan halves = scanSplit(plain);
  ASSERT_TRUE(halves.split);
  ASSERT_FALSE(halves.upper.empty());
  ASSERT_FALSE(halves.lower.empty());
  EXPECT_EQ(halves.lower.front().substr(0, 4), "row ");
  std::vector<std::string> joined = halves.upper;
  joined.insert(joined.end(), halves.lower.begin(), halves.lower.end());
  EXPECT_EQ(joined, scan(plain));

  // Elements named row inside an element a cell does not know, across the middle.
  std::string nested;
  for (int r = 101; r <= 500; ++r) nested += "<row r=\"" + std::to_string(r) + "\"><v>1</v></row>\n";
  const std::string inCell = sheet(numberedRows(1, 100) + "<row r=\"200\"><c r=\"C200\"><x>" + nested +
                                       "</x><v>2</v></c></row>" + numberedRows(501, 510),
                                   tail);
  const SplitScan one = scanSplit(inCell);
  EXPECT_FALSE(one.split);
  EXPECT_EQ(one.upper, scan(inCell));
  EXPECT_NE(one.upper, std::vector<std::string>{"declined"});

  // The lower scan's sink fails: the upper scan reads those rows itself.
  const SplitScan failed = scanSplit(plain, "A390");
  EXPECT_FALSE(failed.split);
  EXPECT_EQ(failed.upper, scan(plain));

  // What is not well-formed below the middle is declined, as by one scan.
  Recorder upper, lower;
  EXPECT_THROW(scanWorksheetSplit(sheet(numberedRows(1, 400) + "<row><c><v>1</c></row>"), upper, lower),
               SheetScanDeclined);
  // The first row past the middle: the lower scan takes every row.
  const std::string oneRow = sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", tail);
  const SplitScan single = scanSplit(oneRow);
  EXPECT_TRUE(single.split);
  EXPECT_TRUE(single.upper.empty());
  EXPECT_EQ(single.lower, scan(oneRow));
  // No row past the middle: one scan.
  std::string merges;
  for (int i = 0; i < 100; ++i) merges += "<mergeCell ref=\"A1:B1\"/>";
  const std::string longTail = sheet(numberedRows(1, 3), "<mergeCells>" + merges + "</mergeCells>");
  const SplitScan none = scanSplit(longTail);
  EXPECT_FALSE(none.split);
  EXPECT_EQ(none.upper, scan(longTail));
}

// The upper scan follows a part as it is filled, a few bytes at a time; a filling that fails
// is what the caller hears of.
TEST(XlsxScannerTest, TheUpperScanFollowsThePartAsItIsFilled) {
  const std::string whole =
      sheet(numberedRows(1, 400), "<mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>");
  std::string part(whole.size(), '\0');
  const auto fillInSteps = [&](std::size_t failAt) {
    return [&, failAt](const std::function<void(std::size_t)>& ready) {
      for (std::size_t at = 0; at < whole.size(); at += 997) {
        if (at >= failAt) throw std::runtime_error("the data is corrupt");
        const std::size_t n = std::min(whole.size(), at + 997);
        std::copy(whole.begin() + static_cast<std::ptrdiff_t>(at),
                  whole.begin() + static_cast<std::ptrdiff_t>(n),
                  part.begin() + static_cast<std::ptrdiff_t>(at));
        ready(n);
      }
    };
  };
  for (const double share : {0.3, 0.72, 0.99}) {
    Recorder upper, lower;
    std::fill(part.begin(), part.end(), '\0');
    const bool split = scanWorksheetWhileFilled(part, share, fillInSteps(whole.size()), upper, lower);
    EXPECT_TRUE(split) << share;
    std::vector<std::string> joined = upper.lines;
    joined.insert(joined.end(), lower.lines.begin(), lower.lines.end());
    EXPECT_EQ(joined, scan(whole)) << share;
  }
  Recorder upper, lower;
  std::fill(part.begin(), part.end(), '\0');
  EXPECT_THROW(scanWorksheetWhileFilled(part, 0.72, fillInSteps(whole.size() / 2), upper, lower),
               std::runtime_error);
}

// A worksheet large enough to be read in two parts at once gives what the general reader
// gives: plain, with a formula or a row out of order below the middle (read again in one
// part), and damaged in both parts (the damage nearer the top is the one named).
TEST(XlsxScannerTest, LargeSheetsReadInTwoPartsGiveTheSameWorkbook) {
  constexpr int kRows = 65536;
  const auto row = [](int r) {
    const std::string n = std::to_string(r);
    return "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + std::to_string(r / 7.0) + "</v></c><c r=\"B" + n +
           "\" t=\"s\"><v>" + std::to_string(r % 2) + "</v></c><c r=\"C" + n + "\" s=\"1\"><v>" +
           std::to_string(40000 + r % 1000) + "</v></c><c r=\"D" + n + "\" t=\"b\"><v>1</v></c></row>";
  };
  std::vector<std::string> rows;
  for (int r = 1; r <= kRows; ++r) rows.push_back(row(r));
  const auto join = [&] {
    std::string all;
    for (const std::string& r : rows) all += r;
    return all;
  };
  TempDir dir;
  const auto read = [&](const std::string& sheetRows, XlsxSheetReading reading) -> std::shared_ptr<Workbook> {
    test::XlsxSpec spec;
    spec.sharedStrings = "<si><t>even</t></si><si><t>odd</t></si>";
    spec.numFmts = "<numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/>";
    spec.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"164\"/>";
    spec.sheets = {{"Data", sheetRows}};
    const std::string path = dir.file("large.xlsx");
    test::writeZip(path, test::xlsxParts(spec));
    const auto zip = ZipArchive::open(path);
    if (!zip) return nullptr;
    return readXlsx(*zip, "large.xlsx", kSheetLimits, reading);
  };
  const auto same = [&](const std::string& what) {
    const std::string all = join();
    ASSERT_GE(all.size(), std::size_t{8} << 20) << "large enough to be read in two parts";
    const auto fast = read(all, XlsxSheetReading::Fast);
    const auto general = read(all, XlsxSheetReading::General);
    ASSERT_TRUE(fast && general);
    const Sheet& a = fast->sheet(0);
    const Sheet& b = general->sheet(0);
    ASSERT_EQ(a.usedArea(), b.usedArea()) << what;
    for (std::int32_t c = 1; c <= 5; ++c)
      for (std::int32_t r = 1; r <= kRows; ++r)
        ASSERT_EQ(a.value(r, c), b.value(r, c)) << what << " " << cellName(r, c);
  };
  same("plain");
  rows[60000] =
      "<row r=\"60001\"><c r=\"A60001\"><f>A1*2</f><v>3</v></c><c r=\"E60001\"><f>1+1</f></c></row>";
  same("a formula");
  rows.back() += "<row r=\"5\"><c r=\"A5\"><v>7</v></c></row>";
  same("a row out of order");

  rows[99] = "<row r=\"100\"><c r=\"A100\"><v>1e</v></c></row>";
  rows[50000] = "<row r=\"50001\"><c r=\"A50001\"><v>2e</v></c></row>";
  const auto refusal = [&](XlsxSheetReading reading) {
    try {
      read(join(), reading);
    } catch (const WorkbookFileError& e) {
      return std::string(e.what());
    }
    return std::string("read");
  };
  EXPECT_EQ(
      refusal(XlsxSheetReading::Fast),
      "Cannot open \"large.xlsx\": the file is damaged: cell A100 holds \"1e\" where a number belongs in the "
      "sheet \"Data\".");
  EXPECT_EQ(refusal(XlsxSheetReading::General), refusal(XlsxSheetReading::Fast));
}

}  // namespace
}  // namespace host
