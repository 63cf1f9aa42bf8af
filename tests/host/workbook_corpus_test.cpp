// A corpus of workbooks written by the spreadsheet application (LibreOffice Calc, run
// headless), read by us and compared cell by cell with the application's own .csv export of
// every sheet of the same files; then our writer's files read back by us and by Calc.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "host/number_text.h"
#include "host/workbook_builder.h"
#include "host/workbook_io.h"
#include "host/xlsx_sheet_scanner.h"
#include "host/zip_archive.h"
#include "platform/variant.h"
#include "tests/host/workbook_test_support.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using lumivane::test::TempDir;

std::string soffice() {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/opt/libreoffice/program"}) {
    const fs::path p = fs::path(dir) / "soffice";
    if (fs::exists(p)) return p.string();
  }
  return {};
}

// Runs the application headless with a profile of its own in the folder; true on success.
bool convert(const TempDir& dir, const std::string& filter, const std::string& input) {
  const std::string command = "cd '" + dir.path().string() + "' && '" + soffice() +
                              "' -env:UserInstallation=file://" + dir.path().string() +
                              "/profile --headless --norestore --convert-to '" + filter + "' '" + input +
                              "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Every sheet of a file as .csv, UTF-8, comma-separated, English numbers, values rather than
// their formatted display; one file "<stem>-<sheet>.csv" per sheet.
constexpr const char* kCsvAllSheets =
    "csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,true,false,false,false,-1";

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = wasQuoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
  if (rows.back().empty()) rows.pop_back();
  (void)wasQuoted;
  return rows;
}

// A date or time as Calc writes it in a .csv file: ISO, or m/d/yyyy with a time.
std::optional<double> calcDate(const std::string& text) {
  if (const auto d = parseIsoDate(text)) return d;
  double d = 0;
  if (platform::parseOleDate(text, d)) return d;
  // A time alone ("07:08:09 AM") is a time of day 0.
  if (platform::parseOleDate("12/30/1899 " + text, d)) return d;
  return std::nullopt;
}

// One of our cells against Calc's text for it.
::testing::AssertionResult sameCell(const Sheet& s, std::int32_t r, std::int32_t c, const std::string& calc) {
  const std::string where = s.name() + "!" + cellName(r, c) + ": ";
  switch (s.kind(r, c)) {
    case CellKind::Empty:
      if (calc.empty()) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << where << "empty, Calc shows \"" << calc << "\"";
    case CellKind::Text:
      if (s.text(r, c) == calc) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure()
             << where << "\"" << s.text(r, c) << "\", Calc shows \"" << calc << "\"";
    case CellKind::Boolean:
      if ((s.number(r, c) != 0 ? "TRUE" : "FALSE") == calc) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << where << "Boolean, Calc shows \"" << calc << "\"";
    case CellKind::Error:
      if (errorText(static_cast<std::int32_t>(s.number(r, c))) == calc) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << where << errorText(static_cast<std::int32_t>(s.number(r, c)))
                                           << ", Calc shows \"" << calc << "\"";
    case CellKind::Date: {
      const auto d = calcDate(calc);
      // Calc writes dates to the second.
      if (d && std::fabs(*d - s.number(r, c)) <= 0.5 / 86400) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure()
             << where << "date " << formatNumber(s.number(r, c)) << ", Calc shows \"" << calc << "\"";
    }
    case CellKind::Number: {
      const auto n = parseNumber(calc);
      const double v = s.number(r, c);
      // Calc's plain number format shows 15 significant digits, and no more than 20 decimals
      // without an exponent: the cell must be within a unit of the last decimal shown.
      double tolerance = 5e-15 * std::fabs(v);
      if (const std::size_t point = calc.find('.');
          point != std::string::npos && calc.find_first_of("eE") == std::string::npos)
        tolerance = std::max(tolerance, std::pow(10.0, -static_cast<double>(calc.size() - point - 1)));
      if (n && (*n == v || std::fabs(*n - v) <= tolerance)) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << where << formatNumber(v) << ", Calc shows \"" << calc << "\"";
    }
  }
  return ::testing::AssertionFailure() << where << "unknown kind";
}

// Every cell of every sheet against the .csv files Calc wrote for them.
void compareWithCalc(const Workbook& book, const TempDir& dir, const std::string& stem, std::size_t& cells) {
  for (int i = 0; i < book.sheetCount(); ++i) {
    const Sheet& s = book.sheet(i);
    const std::string csvPath = dir.file(stem + "-" + s.name() + ".csv");
    ASSERT_TRUE(fs::exists(csvPath)) << csvPath;
    const auto rows = parseCsv(test::readBytes(csvPath));
    const auto area = s.usedArea();
    const std::int32_t bottom =
        std::max<std::int32_t>(static_cast<std::int32_t>(rows.size()), area ? area->bottom : 0);
    for (std::int32_t r = 1; r <= bottom; ++r) {
      const std::vector<std::string> empty;
      const auto& row = static_cast<std::size_t>(r) <= rows.size() ? rows[r - 1] : empty;
      const std::int32_t right =
          std::max<std::int32_t>(static_cast<std::int32_t>(row.size()), area ? area->right : 0);
      for (std::int32_t c = 1; c <= right; ++c) {
        const std::string calc = static_cast<std::size_t>(c) <= row.size() ? row[c - 1] : "";
        EXPECT_TRUE(sameCell(s, r, c, calc)) << stem;
        ++cells;
      }
    }
  }
}

std::string cellXml(const std::string& attributes, const std::string& text = "") {
  return "<table:table-cell " + attributes +
         (text.empty() ? "/>" : "><text:p>" + text + "</text:p></table:table-cell>");
}
std::string number(double v) {
  return cellXml("office:value-type=\"float\" office:value=\"" + formatNumber(v) + "\"");
}
std::string formula(const std::string& f, const std::string& style = "") {
  std::string escaped;
  for (const char c : f)
    escaped += c == '"'   ? std::string("&quot;")
               : c == '<' ? std::string("&lt;")
               : c == '&' ? std::string("&amp;")
                          : std::string(1, c);
  return cellXml("table:formula=\"of:=" + escaped + "\"" +
                 (style.empty() ? "" : " table:style-name=\"" + style + "\""));
}
std::string row(const std::string& cells) {
  return "<table:table-row>" + cells + "</table:table-row>";
}

// The source of the corpus: a flat .ods document in either date system. Calc calculates its
// formulas as it converts it, so the files it writes store their results.
std::string corpusSource(bool date1904) {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document"
      " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
      " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
      " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
      " xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\""
      " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
      " xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\""
      " office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:automatic-styles>"
      "<number:date-style style:name=\"iso\"><number:year number:style=\"long\"/><number:text>-</number:text>"
      "<number:month number:style=\"long\"/><number:text>-</number:text><number:day number:style=\"long\"/>"
      "</number:date-style>"
      "<number:date-style style:name=\"isotime\"><number:year "
      "number:style=\"long\"/><number:text>-</number:text>"
      "<number:month number:style=\"long\"/><number:text>-</number:text><number:day number:style=\"long\"/>"
      "<number:text> </number:text><number:hours number:style=\"long\"/><number:text>:</number:text>"
      "<number:minutes number:style=\"long\"/><number:text>:</number:text><number:seconds "
      "number:style=\"long\"/>"
      "</number:date-style>"
      "<number:time-style style:name=\"clock\"><number:hours "
      "number:style=\"long\"/><number:text>:</number:text>"
      "<number:minutes number:style=\"long\"/><number:text>:</number:text><number:seconds "
      "number:style=\"long\"/>"
      "</number:time-style>"
      "<style:style style:name=\"d\" style:family=\"table-cell\" style:data-style-name=\"iso\"/>"
      "<style:style style:name=\"dt\" style:family=\"table-cell\" style:data-style-name=\"isotime\"/>"
      "<style:style style:name=\"t\" style:family=\"table-cell\" style:data-style-name=\"clock\"/>"
      "</office:automatic-styles><office:body><office:spreadsheet>";
  if (date1904)
    doc +=
        "<table:calculation-settings><table:null-date "
        "table:date-value=\"1904-01-01\"/></table:calculation-settings>";

  // Numbers: 17-digit doubles and the extremes of the format.
  doc += "<table:table table:name=\"Numbers\">";
  std::mt19937_64 random(date1904 ? 1904 : 1900);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int r = 0; r < 300; ++r) {
    std::string cells;
    for (int c = 0; c < 10; ++c) cells += number(mantissa(random) * std::pow(10.0, exponent(random)));
    doc += row(cells);
  }
  doc += row(number(1.7976931348623157e308) + number(-2.2250738585072014e-308) + number(0) + number(-0.5) +
             number(123456789012345));
  doc += "</table:table>";

  // Texts: paragraphs, runs of spaces, tabs, line breaks, characters beyond ASCII, numbers
  // stored as text, and a merged cell with content under it.
  doc += "<table:table table:name=\"Texts\">";
  doc += row(
      cellXml("office:value-type=\"string\"", "one") +
      "<table:table-cell office:value-type=\"string\"><text:p>first</text:p><text:p>second</text:p>"
      "<text:p/></table:table-cell>"
      "<table:table-cell office:value-type=\"string\"><text:p><text:s/>a<text:s text:c=\"4\"/>b<text:tab/>c"
      "<text:line-break/>d</text:p></table:table-cell>" +
      cellXml("office:value-type=\"string\"", "0012") +
      cellXml("office:value-type=\"string\"", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80") +
      cellXml("office:value-type=\"string\"", "=not a formula"));
  doc +=
      row("<table:table-cell table:number-columns-spanned=\"3\" table:number-rows-spanned=\"2\""
          " office:value-type=\"string\"><text:p>merged</text:p></table:table-cell>"
          "<table:covered-table-cell/><table:covered-table-cell office:value-type=\"float\" "
          "office:value=\"5\"/>" +
          number(7) + formula("[.D2]*2"));
  doc += row("<table:covered-table-cell table:number-columns-repeated=\"3\"/>" + number(8));
  doc += "</table:table>";

  // Dates and times in three styles, and dates from formulas.
  doc += "<table:table table:name=\"Dates\">";
  const char* dates[] = {"1900-01-01", "1900-03-01", "1904-01-02", "1999-12-31",
                         "2000-02-29", "2024-06-30", "9999-12-31"};
  for (const char* d : dates)
    doc +=
        row(cellXml("office:value-type=\"date\" office:date-value=\"" + std::string(d) +
                    "\" table:style-name=\"d\"") +
            cellXml("office:value-type=\"date\" office:date-value=\"" + std::string(d) +
                    "T13:45:30\" table:style-name=\"dt\"") +
            cellXml("office:value-type=\"time\" office:time-value=\"PT07H08M09S\" table:style-name=\"t\"") +
            number(36527.25));
  doc += row(formula("DATE(2024;2;29)", "d") + formula("[.A1]+30", "d") + formula("YEAR([.A4])") +
             formula("MONTH([.A5])") + formula("DAY([.A5])") + formula("WEEKDAY([.A6])") +
             formula("INT(TODAY())-INT(TODAY())"));
  doc += "</table:table>";

  // The common functions, over a small table.
  doc += "<table:table table:name=\"Functions\">";
  const char* names[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
  for (int r = 0; r < 5; ++r)
    doc += row(cellXml("office:value-type=\"string\"", names[r]) + number(r * 2.5 - 3) + number(r * r) +
               cellXml("office:value-type=\"boolean\" office:boolean-value=\"" +
                       std::string(r % 2 ? "true" : "false") + "\""));
  const std::vector<std::string> functions = {"SUM([.B1:.B5])",
                                              "AVERAGE([.B1:.C5])",
                                              "MIN([.B1:.B5])",
                                              "MAX([.B1:.C5])",
                                              "COUNT([.A1:.D5])",
                                              "COUNTA([.A1:.D5])",
                                              "COUNTIF([.B1:.B5];\">0\")",
                                              "SUMIF([.B1:.B5];\">0\";[.C1:.C5])",
                                              "IF([.B1]>0;\"pos\";\"neg\")",
                                              "IFERROR(1/0;-1)",
                                              "AND([.B2]<0;[.C2]>0)",
                                              "OR([.B1]>100;[.C5]=16)",
                                              "NOT([.B1]>0)",
                                              "ROUND(2.345;2)",
                                              "ROUNDUP(2.341;2)",
                                              "ROUNDDOWN(-2.349;2)",
                                              "INT(-2.5)",
                                              "ABS(-7.25)",
                                              "SQRT(2)",
                                              "POWER(2;0.5)",
                                              "MOD(-7;3)",
                                              "EXP(1)",
                                              "LN(10)",
                                              "LOG10(1000)",
                                              "LOG(8;2)",
                                              "PI()",
                                              "VLOOKUP(\"gamma\";[.A1:.C5];3;0)",
                                              "HLOOKUP(\"x\";{\"x\";\"y\"};1;0)",
                                              "INDEX([.A1:.C5];4;2)",
                                              "MATCH(\"delta\";[.A1:.A5];0)",
                                              "STDEV([.B1:.B5])",
                                              "VAR([.C1:.C5])",
                                              "MEDIAN([.C1:.C5])",
                                              "PRODUCT([.C2:.C5])",
                                              "CONCATENATE([.A1];\"-\";[.A2])",
                                              "LEFT([.A3];3)",
                                              "RIGHT([.A3];2)",
                                              "MID([.A5];2;3)",
                                              "LEN([.A5])",
                                              "UPPER([.A1])",
                                              "LOWER(\"ABC\")",
                                              "TRIM(\"  a   b  \")",
                                              "SUBSTITUTE([.A2];\"e\";\"E\")",
                                              "VALUE(\"12.5\")",
                                              "ISNUMBER([.B1])",
                                              "ISBLANK([.E1])",
                                              "ISERROR(1/0)",
                                              "CHOOSE(2;\"a\";\"b\";\"c\")",
                                              "SUMPRODUCT([.B1:.B5];[.C1:.C5])",
                                              "LARGE([.C1:.C5];2)",
                                              "SMALL([.B1:.B5];2)",
                                              "RANK([.C3];[.C1:.C5])",
                                              "COUNTBLANK([.A1:.E5])",
                                              "TRUNC(-8.9)",
                                              "1/0",
                                              "NA()",
                                              "[.A1]+1",
                                              "SUM([.B1:.B5])/0.1",
                                              "[.D2]",
                                              "EXACT(\"a\";\"A\")"};
  for (std::size_t i = 0; i < functions.size(); ++i)
    doc += row("<table:table-cell table:number-columns-repeated=\"5\"/>" + formula(functions[i]));
  doc += "</table:table>";

  // Running totals and whole-column sums, as the speed benchmark holds them, smaller.
  doc += "<table:table table:name=\"Totals\">";
  doc += row(number(1) + formula("SUM([.A:.A])"));
  for (int r = 2; r <= 200; ++r)
    doc += row(formula("[.A" + std::to_string(r - 1) + "]+" + std::to_string(r)) + formula("SUM([.A:.A])"));
  doc += "</table:table></office:spreadsheet></office:body></office:document>";
  return doc;
}

class WorkbookCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (soffice().empty())
      GTEST_SKIP() << "soffice (LibreOffice Calc) is not installed; scripts/install-deps installs it. The "
                      "comparison with the spreadsheet application's own reading was skipped.";
  }
};

TEST_F(WorkbookCorpusTest, CalcsFilesReadAsCalcReadsThem) {
  TempDir dir;
  std::size_t cells = 0;
  for (const bool date1904 : {false, true}) {
    const std::string stem = date1904 ? "corpus1904" : "corpus1900";
    test::writeBytes(dir.file(stem + ".fods"), corpusSource(date1904));
    ASSERT_TRUE(convert(dir, "xlsx", stem + ".fods"));
    ASSERT_TRUE(convert(dir, "ods", stem + ".fods"));
    for (const std::string ext : {"xlsx", "ods"}) {
      // Calc's reading of its own file, every sheet.
      fs::create_directory(dir.file(ext + stem));
      fs::copy_file(dir.file(stem + "." + ext), dir.file(ext + stem + "/" + stem + "." + ext));
      TempDir calc;
      fs::copy_file(dir.file(stem + "." + ext), calc.file(stem + "." + ext));
      ASSERT_TRUE(convert(calc, kCsvAllSheets, stem + "." + ext));
      const auto book = importWorkbook(dir.file(stem + "." + ext), kSheetLimits);
      ASSERT_EQ(book->sheetCount(), 5) << stem << "." << ext;
      compareWithCalc(*book, calc, stem, cells);
      // Read in the reading process, the same cells.
      ImportLimits isolation;
      isolation.helper = LUMIVANE_IMPORT_HELPER;
      test::expectSameWorkbook(*book, *importWorkbookIsolated(dir.file(stem + "." + ext), isolation));
      if (ext == "xlsx") {
        // Calc's sheets are the scanner's to read, and the general reader reads them the same.
        const auto zip = ZipArchive::open(dir.file(stem + ".xlsx"));
        ASSERT_TRUE(zip);
        struct Ignore final : ScannedSheetSink {
          void row(std::optional<std::string_view>) override {}
          void cell(const ScannedCell&) override {}
        } ignore;
        for (int n = 1; zip->has("xl/worksheets/sheet" + std::to_string(n) + ".xml"); ++n) {
          const std::string part = zip->readAll("xl/worksheets/sheet" + std::to_string(n) + ".xml");
          std::string_view rest = part;
          EXPECT_NO_THROW(scanWorksheet(
              [&](char* b, std::size_t size) {
                const std::size_t k = std::min(size, rest.size());
                std::copy_n(rest.data(), k, b);
                rest.remove_prefix(k);
                return k;
              },
              ignore))
              << stem << " sheet" << n;
        }
        const auto general = readXlsx(*zip, stem + ".xlsx", kSheetLimits, XlsxSheetReading::General);
        general->setPath(book->path());
        test::expectSameWorkbook(*book, *general);
      }
      // The 1904 file's dates are the same days as the 1900 file's.
      EXPECT_EQ(book->sheet(2).value(2, 1), platform::Variant::date(1 + 60)) << stem << "." << ext;
    }
  }
  EXPECT_GT(cells, 12000u);
}

TEST_F(WorkbookCorpusTest, OurFilesReadBackExactlyByUsAndAsWrittenByCalc) {
  TempDir dir;
  test::writeBytes(dir.file("source.fods"), corpusSource(false));
  ASSERT_TRUE(convert(dir, "xlsx", "source.fods"));
  ASSERT_TRUE(convert(dir, "ods", "source.fods"));
  for (const std::string from : {"source.xlsx", "source.ods"}) {
    const auto original = importWorkbook(dir.file(from), kSheetLimits);
    // xlsx -> xlsx and ods -> xlsx through our writer: every cell, bit for bit.
    exportWorkbook(*original, dir.file("ours.xlsx"));
    const auto copy = importWorkbook(dir.file("ours.xlsx"), kSheetLimits);
    ASSERT_EQ(copy->sheetCount(), original->sheetCount());
    for (int i = 0; i < original->sheetCount(); ++i) {
      const Sheet& a = original->sheet(i);
      const Sheet& b = copy->sheet(i);
      ASSERT_EQ(a.usedArea(), b.usedArea()) << from << " " << a.name();
      const auto area = a.usedArea();
      if (!area) continue;
      for (std::int32_t r = area->top; r <= area->bottom; ++r)
        for (std::int32_t c = area->left; c <= area->right; ++c) {
          ASSERT_EQ(a.kind(r, c), b.kind(r, c)) << from << " " << a.name() << "!" << cellName(r, c);
          EXPECT_EQ(std::bit_cast<std::uint64_t>(a.number(r, c)),
                    std::bit_cast<std::uint64_t>(b.number(r, c)))
              << from << " " << a.name() << "!" << cellName(r, c);
          EXPECT_EQ(a.text(r, c), b.text(r, c)) << from << " " << a.name() << "!" << cellName(r, c);
        }
    }
    // Calc reads our file as we do.
    TempDir calc;
    fs::copy_file(dir.file("ours.xlsx"), calc.file("ours.xlsx"));
    ASSERT_TRUE(convert(calc, kCsvAllSheets, "ours.xlsx"));
    std::size_t cells = 0;
    compareWithCalc(*copy, calc, "ours", cells);
    // csv -> csv: every sheet in a file of its own, read back and written again, the same bytes.
    ExportOptions all;
    all.sheets = ExportOptions::Sheets::All;
    for (const std::string& file : exportWorkbook(*copy, dir.file("ours.csv"), all)) {
      const auto sheet = importWorkbook(file, kSheetLimits);
      exportWorkbook(*sheet, dir.file("again.csv"));
      EXPECT_EQ(test::readBytes(dir.file("again.csv")), test::readBytes(file)) << file;
    }
  }
}

}  // namespace
}  // namespace host
