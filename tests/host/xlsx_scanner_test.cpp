// The worksheet scanner: what it hands on for the forms spreadsheets write, and what it leaves
// to the general reader; and that both readers give the same workbook for the same package.
#include <gtest/gtest.h>

#include <filesystem>
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
  // Handed over a byte at a time, the same.
  EXPECT_EQ(scan(sheet(rows), 1), scan(sheet(rows)));
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

}  // namespace
}  // namespace host
