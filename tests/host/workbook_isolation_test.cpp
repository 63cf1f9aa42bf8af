// Workbooks read in a separate, resource-limited process: the same cells as reading them here,
// the readers' refusals word for word, and every way the reading process can fail (crash,
// hang, endless work, no memory, a damaged answer) reported while this process goes on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/workbook_builder.h"
#include "host/workbook_io.h"
#include "host/workbook_transfer.h"
#include "tests/host/workbook_test_support.h"
#include "tests/support/test_support.h"

namespace host {
namespace {

using lumivane::test::TempDir;
using Clock = std::chrono::steady_clock;

ImportLimits quickLimits() {
  ImportLimits limits;
  limits.helper = LUMIVANE_IMPORT_HELPER;
  limits.cpuSeconds = 20;
  limits.deadlineSeconds = 30;
  return limits;
}

std::string isolatedError(const std::string& path, const ImportLimits& limits) {
  try {
    importWorkbookIsolated(path, limits);
  } catch (const WorkbookFileError& e) {
    return e.what();
  }
  return "(opened)";
}

// Sets the child's test fault for the scope.
struct Fault {
  explicit Fault(const char* what) { setenv("LUMIVANE_IMPORT_TEST_FAULT", what, 1); }
  ~Fault() { unsetenv("LUMIVANE_IMPORT_TEST_FAULT"); }
};

TEST(IsolatedImportTest, GivesTheSameCellsAsReadingInProcess) {
  TempDir dir;
  test::XlsxSpec spec;
  spec.sharedStrings = "<si><t>first</t></si><si><t xml:space=\"preserve\">  two\nlines </t></si>";
  spec.numFmts = "<numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/>";
  spec.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"164\"/>";
  spec.sheets = {{"Kinds",
                  "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                  "<c r=\"C1\" t=\"b\"><v>1</v></c><c r=\"D1\" t=\"e\"><v>#DIV/0!</v></c>"
                  "<c r=\"E1\" s=\"1\"><v>40000</v></c><c r=\"F1\"><v>1.7976931348623157E308</v></c>"
                  "<c r=\"G1\"><v>4.9406564584124654E-324</v></c><c r=\"H1\"><f>F1*0</f></c></row>"
                  "<row r=\"9\"><c r=\"C9\" t=\"inlineStr\"><is><t>far</t></is></c></row>"},
                 {"Empty", ""},
                 {"Numbers", "<row r=\"3\"><c r=\"B3\"><v>-0</v></c></row>"}};
  test::writeZip(dir.file("kinds.xlsx"), test::xlsxParts(spec));
  std::vector<std::string> files = {dir.file("kinds.xlsx"), lumivane::test::samplePath("wine.csv"),
                                    lumivane::test::testDataPath("host_sample.ods"),
                                    lumivane::test::testDataPath("host_repeated_rows.ods")};
  // Our own writer's full round of a sample.
  const auto iris = importWorkbook(lumivane::test::samplePath("iris.csv"), kSheetLimits);
  exportWorkbook(*iris, dir.file("iris.xlsx"));
  files.push_back(dir.file("iris.xlsx"));
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const auto here = importWorkbook(file, kSheetLimits);
    const auto there = importWorkbookIsolated(file, quickLimits());
    test::expectSameWorkbook(*here, *there);
  }
  // A .csv read with other separators, and version 7's shorter sheets.
  std::ofstream(dir.file("semi.csv")) << "a;1,5\n2;\"3,25\"\n";
  ImportOptions semicolon;
  semicolon.csv = {';', ','};
  test::expectSameWorkbook(*importWorkbook(dir.file("semi.csv"), kSheetLimits, semicolon),
                           *importWorkbookIsolated(dir.file("semi.csv"), quickLimits(), semicolon));
  ImportLimits version7 = quickLimits();
  version7.sheet = kSheetLimitsVersion7;
  EXPECT_EQ(importWorkbookIsolated(dir.file("kinds.xlsx"), version7)->sheet(0).limits().rows, 16384);
}

TEST(IsolatedImportTest, TheReadersRefusalsComeBackWordForWord) {
  TempDir dir;
  test::XlsxSpec spec;
  spec.sheets = {{"S", "<row r=\"1\"><c r=\"B7\" t=\"s\"><v>5</v></c></row>"}};
  test::writeZip(dir.file("strings.xlsx"), test::xlsxParts(spec));
  std::ofstream(dir.file("text.xlsx")) << "a,b\n";
  std::ofstream(dir.file("tall.csv")) << std::string(16385, '\n') << "1\n";
  ImportLimits version7 = quickLimits();
  version7.sheet = kSheetLimitsVersion7;
  for (const std::string& file : {dir.file("strings.xlsx"), dir.file("text.xlsx"), dir.file("none.xlsx")}) {
    std::string here;
    try {
      importWorkbook(file, kSheetLimits);
    } catch (const WorkbookFileError& e) {
      here = e.what();
    }
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(isolatedError(file, quickLimits()), here);
  }
  EXPECT_EQ(isolatedError(dir.file("tall.csv"), version7),
            "Cannot open \"tall.csv\": the sheet has more than 16,384 rows.");
  ImportLimits missing = quickLimits();
  missing.helper = dir.file("no-such-program");
  EXPECT_EQ(
      isolatedError(dir.file("strings.xlsx"), missing),
      "Cannot open \"strings.xlsx\": the file could not be read: its reading program lumivane-import is "
      "missing beside lumivane.");
}

// Each failure of the reading process is a sentence for the user; this process goes on and
// reads the next file.
TEST(IsolatedImportTest, ACrashAHangEndlessWorkOrNoMemoryIsReportedAndThisProcessGoesOn) {
  TempDir dir;
  const std::string file = lumivane::test::samplePath("iris.csv");
  {
    Fault fault("abort");
    EXPECT_EQ(
        isolatedError(file, quickLimits()),
        "Cannot open \"iris.csv\": the file could not be read: its reading program stopped with signal 6 "
        "(Aborted).");
  }
  {
    Fault fault("hang");
    ImportLimits limits = quickLimits();
    limits.deadlineSeconds = 1;
    const auto start = Clock::now();
    EXPECT_EQ(isolatedError(file, limits),
              "Cannot open \"iris.csv\": the file could not be read: reading it took longer than 1 second.");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  }
  {
    Fault fault("spin");
    ImportLimits limits = quickLimits();
    limits.cpuSeconds = 1;
    EXPECT_EQ(isolatedError(file, limits),
              "Cannot open \"iris.csv\": the file could not be read: reading it took more than 1 second of "
              "processor time.");
  }
  {
    Fault fault("memory");
    ImportLimits limits = quickLimits();
    limits.memoryBytes = std::uint64_t{256} << 20;
    EXPECT_EQ(
        isolatedError(file, limits),
        "Cannot open \"iris.csv\": the file could not be read: reading it needs more than 256 MB of memory.");
  }
  {
    // A header claiming a million sheets: refused before anything is allocated.
    Fault fault("garbage");
    EXPECT_EQ(
        isolatedError(file, quickLimits()),
        "Cannot open \"iris.csv\": the file could not be read: the answer of its reading program is damaged: "
        "it names 1000000 sheets.");
  }
  const auto book = importWorkbookIsolated(file, quickLimits());
  EXPECT_EQ(book->sheet(0).value(1, 1), platform::Variant("id"));
}

// Answers are untrusted: short, absurd or trailing data is refused before anything is
// allocated for it.
TEST(IsolatedImportTest, DamagedAnswersAreRefused) {
  Workbook book("b.xlsx", kSheetLimits);
  Sheet& s = book.addSheet("S");
  s.setNumber(3, 2, 1.5);
  s.setText(4, 2, "text");
  s.setError(1, 1, kErrorNA);
  std::string answer;
  writeWorkbookTransfer(book, [&](const char* p, std::size_t n) { answer.append(p, n); });
  const auto read = [](const std::string& bytes) -> std::string {
    std::size_t at = 0;
    try {
      const auto result = readWorkbookTransfer(
          [&](char* b, std::size_t n) {
            const std::size_t k = std::min(n, bytes.size() - at);
            std::copy_n(bytes.data() + at, k, b);
            at += k;
            return k;
          },
          "b.xlsx", kSheetLimits);
      return result.workbook ? "workbook" : "refusal";
    } catch (const TransferError& e) {
      return e.what();
    }
  };
  EXPECT_EQ(read(answer), "workbook");
  EXPECT_EQ(read(answer.substr(0, answer.size() - 1)), "it ends early");
  EXPECT_EQ(read(answer + "x"), "more follows it");
  EXPECT_EQ(read("LVWX"), "it does not begin as a workbook answer does");
  EXPECT_EQ(read(std::string("LVWB\x02\0\0\0\0\x40\x42\x0F\0\0\0\0\0", 17)), "it names 1000000 sheets");
  // Every column's texts must be exactly its text cells, in row order.
  const auto patched = [&](std::string_view from, std::string_view to) {
    std::string bytes = answer;
    bytes.replace(bytes.find(from), from.size(), to);
    return read(bytes);
  };
  // Column B: rows 3 (a number) and 4 (the text), then one text for row 4.
  const std::string textRow("\x01\0\0\0\x04\0\0\0\x04\0\0\0text", 16);
  EXPECT_EQ(patched(textRow, std::string("\x01\0\0\0\x03\0\0\0\x04\0\0\0text", 16)),
            "a text belongs to no text cell");
  EXPECT_EQ(patched(textRow, std::string("\0\0\0\0", 4)), "its texts do not match its text cells");
  // Column A: one error cell whose number is no error.
  const std::string errorCell = std::string("\x01\0\0\0\x05", 5) + std::string("\0\0\0\0\0\xE8\x9F\x40", 8);
  ASSERT_NE(answer.find(errorCell), std::string::npos);
  EXPECT_EQ(patched(errorCell, std::string("\x01\0\0\0\x05", 5) + std::string(8, '\0')),
            "an error cell is of no known error");
  EXPECT_EQ(patched(errorCell, std::string("\x01\0\0\0\x09", 5) + errorCell.substr(5)),
            "a cell is of no known kind");
  // 1 sheet, active 0, name "S", then a column count of 4 billion.
  std::string wide = answer.substr(0, 9 + 8 + 4 + 1);
  wide += std::string("\xFF\xFF\xFF\xFF", 4);
  EXPECT_EQ(read(wide), "a sheet has too many columns");
  // A text length of 4 GB.
  std::string longText = answer;
  const std::size_t text = longText.find("text");
  longText.replace(text - 4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
  EXPECT_EQ(read(longText), "a text is longer than allowed");
}

// Limits past which a file is refused, quickly and without reading the bulk of it.
TEST(IsolatedImportTest, FilesBeyondTheLimitsAreRefusedQuickly) {
  TempDir dir;
  test::XlsxSpec spec;
  for (int i = 0; i < 10000; ++i) spec.sheets.emplace_back("S" + std::to_string(i), "");
  test::writeZip(dir.file("many.xlsx"), test::xlsxParts(spec));
  auto start = Clock::now();
  EXPECT_EQ(isolatedError(dir.file("many.xlsx"), quickLimits()),
            "Cannot open \"many.xlsx\": the workbook has more than 1,024 sheets.");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

  // A sheet that declares 1.5 GB once unpacked.
  spec.sheets = {{"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}};
  test::writeZip(dir.file("huge.xlsx"), test::xlsxParts(spec));
  std::string bytes = test::readBytes(dir.file("huge.xlsx"));
  const std::string name = "xl/worksheets/sheet1.xml";
  const std::string declared("\x00\x00\x00\x60", 4);  // 0x60000000 bytes
  for (const std::string& signature : {std::string("PK\x03\x04", 4), std::string("PK\x01\x02", 4)}) {
    const std::size_t offset = signature[2] == 3 ? 22 : 24;
    const std::size_t nameOffset = signature[2] == 3 ? 30 : 46;
    for (std::size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 4))
      if (bytes.compare(at + nameOffset, name.size(), name) == 0) bytes.replace(at + offset, 4, declared);
  }
  test::writeBytes(dir.file("huge.xlsx"), bytes);
  start = Clock::now();
  EXPECT_EQ(
      isolatedError(dir.file("huge.xlsx"), quickLimits()),
      "Cannot open \"huge.xlsx\": the file is damaged: the sheet \"S\": its part xl/worksheets/sheet1.xml "
      "unpacks to 1536 MB, more than the 1280 MB a part may hold.");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

  // A text longer than a cell may hold.
  std::ofstream(dir.file("long.csv")) << "a," << std::string(kMaxCellTextBytes + 1, 'x') << "\n";
  EXPECT_EQ(isolatedError(dir.file("long.csv"), quickLimits()),
            "Cannot open \"long.csv\": cell B1 holds a text longer than 1,048,576 bytes.");
}

}  // namespace
}  // namespace host
