#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/formula.h"
#include "host/workbook.h"
#include "host/workbook_io.h"

namespace host {

// Most worksheets a workbook file may bring; more is refused before any sheet is read.
inline constexpr int kMaxSheets = 1024;
// Longest text a cell may hold, in bytes of UTF-8 (a spreadsheet's own cells hold 32,767
// characters); a longer one refuses the file with the cell's name.
inline constexpr std::size_t kMaxCellTextBytes = std::size_t{1} << 20;
// Formula work (cells visited) spent on the formulas a file leaves without results; what
// is left when it runs out shows #VALUE!.
inline constexpr std::uint64_t kFormulaBudget = 50'000'000;
// Formula cells calculated inside one another before the chain is cut with #VALUE!.
inline constexpr int kMaxFormulaChain = 200;

// Collects what a reader finds into a new workbook: cells checked against the limits, and
// formulas that the file leaves without a stored result (or asks to recalculate), calculated
// once everything is read.
class WorkbookBuilder final : public FormulaCells {
 public:
  // fileName is the name shown in messages ("Cannot open \"fileName\": ...").
  WorkbookBuilder(std::string fileName, SheetLimits limits);

  // Throws WorkbookFileError past kMaxSheets; an empty or repeated name becomes "SheetN".
  int addSheet(std::string name);
  Sheet& sheet(int index) { return workbook_->sheet(index); }
  int sheetCount() const { return workbook_->sheetCount(); }
  Workbook& workbook() { return *workbook_; }

  // Outside the limits these throw WorkbookFileError with the limits message. Rows and
  // columns are 1-based; col/row may be any positive 64-bit count the file states.
  void setNumber(int sheet, std::int64_t row, std::int64_t col, double v);
  void setDate(int sheet, std::int64_t row, std::int64_t col, double oleDate);
  void setBoolean(int sheet, std::int64_t row, std::int64_t col, bool v);
  void setError(int sheet, std::int64_t row, std::int64_t col, std::int32_t code);
  void setText(int sheet, std::int64_t row, std::int64_t col, std::string text);
  void setValue(int sheet, std::int64_t row, std::int64_t col, const FormulaValue& v, bool asDate);
  // Copies a cell of a sheet to another row of the same column.
  void copyCell(int sheet, std::int32_t fromRow, std::int32_t col, std::int64_t toRow);
  // Empties a sheet again (its cells and pending formulas), for a reader that starts it over.
  void restartSheet(int sheet);
  // Moves the cells of lower's only sheet into sheet, for a sheet read in two parts at once:
  // lower must hold no formulas and place nothing at or above the last row placed here. False,
  // nothing changed, when it does.
  bool appendRows(int sheet, WorkbookBuilder&& lower);
  // Refuses a position past the limits (used for repeated rows and columns).
  void checkInside(int sheet, std::int64_t row, std::int64_t col) const;

  // A formula to calculate after reading. The text is shared by every cell that uses it
  // (shift moves its relative references). With a fallback (the file's stored result), a
  // formula we cannot calculate keeps the stored result.
  struct FormulaText {
    std::string text;
    FormulaGrammar grammar;
  };
  std::shared_ptr<const FormulaText> formulaText(std::string text, FormulaGrammar grammar);
  void addFormula(int sheet, std::int64_t row, std::int64_t col, std::shared_ptr<const FormulaText> text,
                  std::int32_t rowShift, std::int32_t colShift, bool asDate,
                  std::optional<FormulaValue> fallback = std::nullopt);
  std::size_t formulaCount() const { return pending_.size(); }

  // Calculates the formulas and hands over the workbook.
  std::shared_ptr<Workbook> finish();

  [[noreturn]] void beyondLimits(bool rows) const;

  // FormulaCells
  int sheetIndex(std::string_view name) const override;
  SheetLimits limits() const override { return limits_; }
  FormulaValue cell(int sheet, std::int32_t row, std::int32_t col) override;
  void forEach(const FormulaRange& range, const std::function<bool(const FormulaValue&)>& visit) override;
  void spend(std::uint64_t units) override;

 private:
  struct Pending {
    std::shared_ptr<const FormulaText> text;
    std::int32_t rowShift = 0, colShift = 0;
    bool asDate = false;
    enum class State : std::uint8_t { Waiting, Running, Done } state = State::Waiting;
    std::optional<FormulaValue> fallback;
  };
  static std::uint64_t key(int sheet, std::int32_t row, std::int32_t col) {
    return (static_cast<std::uint64_t>(sheet) << 44) | (static_cast<std::uint64_t>(row) << 16) |
           static_cast<std::uint64_t>(col);
  }
  Sheet& at(int sheet, std::int64_t row, std::int64_t col);
  void calculate(std::uint64_t k, Pending& p);
  FormulaValue stored(int sheet, std::int32_t row, std::int32_t col) const;

  std::string fileName_;
  SheetLimits limits_;
  std::shared_ptr<Workbook> workbook_;
  // Per sheet, per column: the last row a cell or formula was placed in.
  std::vector<std::vector<std::int32_t>> columnEnds_;
  std::unordered_map<std::uint64_t, Pending> pending_;
  std::vector<std::uint64_t> order_;
  std::unordered_map<std::string, std::shared_ptr<const FormulaText>> texts_;
  // The topmost row anything was placed in, on any sheet.
  std::int64_t lowestRow_ = std::numeric_limits<std::int64_t>::max();
  std::uint64_t spent_ = 0;
  int chain_ = 0;
};

// Formats 65536 as "65,536" for the limits messages.
std::string groupedNumber(std::int64_t n);

// The readers behind importWorkbook; fileName is the name for messages. Every failure is a
// WorkbookFileError whose text is complete ("Cannot open ...").
// Worksheets of an .xlsx package are read by a scanner made for their size, which hands what
// it does not handle to the general XML reader; General reads every sheet with that reader
// (for comparing the two).
enum class XlsxSheetReading { Fast, General };
class ZipArchive;
std::shared_ptr<Workbook> readXlsx(const ZipArchive& archive, const std::string& fileName, SheetLimits limits,
                                   XlsxSheetReading reading = XlsxSheetReading::Fast);
std::shared_ptr<Workbook> readOds(const ZipArchive& archive, const std::string& fileName, SheetLimits limits);
// The content.xml of an .ods file alone (for the tests and the fuzzers).
std::shared_ptr<Workbook> readOdsContent(std::string_view contentXml, const std::string& fileName,
                                         SheetLimits limits);
std::shared_ptr<Workbook> readCsv(std::string_view bytes, const std::string& fileName,
                                  const std::string& sheetName, SheetLimits limits,
                                  const CsvOptions& options);

// "Cannot open \"name\": why" as a WorkbookFileError.
[[noreturn]] void refuse(const std::string& fileName, const std::string& why);

}  // namespace host
