// Reading workbooks with the orcus filters into an orcus document, recalculating formulas with
// ixion, and copying the values into our sheets. A thin layer between the filters and the
// document records what the document itself forgets: which cells were dates, which formulas
// were error literals, and (for .csv) how each field is to be typed.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ixion/address.hpp>
#include <ixion/cell_access.hpp>
#include <ixion/model_context.hpp>
#include <orcus/orcus_csv.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/document.hpp>
#include <orcus/spreadsheet/factory.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/spreadsheet/sheet.hpp>
#include <orcus/spreadsheet/styles.hpp>
#include <unordered_map>
#include <vector>

#include "host/ods_booleans.h"
#include "host/workbook_io.h"
#include "platform/dispatch.h"
#include "platform/variant.h"

namespace host {

namespace {

namespace ss = orcus::spreadsheet;
namespace fs = std::filesystem;

enum class Format { Xlsx, Ods, Csv };

// The largest sheet any of the readers produces; data beyond our own limits is refused after
// reading rather than cut off silently.
constexpr ss::range_size_t kReaderSheetSize = {1048576, 16384};
// Longest worksheet name a workbook file allows.
constexpr std::size_t kMaxSheetName = 31;

struct CellOverride {
  CellKind kind;
  double number;  // OLE date or error number
};

std::uint64_t cellKey(ss::sheet_t sheet, ss::row_t row, ss::col_t col) {
  return (static_cast<std::uint64_t>(sheet) << 40) | (static_cast<std::uint64_t>(row) << 16) |
         static_cast<std::uint64_t>(col);
}

using Overrides = std::unordered_map<std::uint64_t, CellOverride>;

// Captures a formula that is nothing but an error literal ("=#DIV/0!"), which the calculation
// engine does not evaluate to that error.
class FormulaRecorder final : public ss::iface::import_formula {
 public:
  FormulaRecorder(ss::iface::import_formula* inner, ss::sheet_t sheet, Overrides& overrides)
      : inner_(inner), sheet_(sheet), overrides_(overrides) {}
  void set_position(ss::row_t row, ss::col_t col) override {
    row_ = row;
    col_ = col;
    inner_->set_position(row, col);
  }
  void set_formula(ss::formula_grammar_t grammar, std::string_view formula) override {
    std::string_view f = formula;
    if (f.starts_with("of:")) f.remove_prefix(3);
    while (!f.empty() && (f.front() == '=' || f.front() == ' ')) f.remove_prefix(1);
    error_ = errorFromText(f);
    inner_->set_formula(grammar, formula);
  }
  void set_shared_formula_index(std::size_t index) override { inner_->set_shared_formula_index(index); }
  void set_result_string(std::string_view value) override { inner_->set_result_string(value); }
  void set_result_value(double value) override { inner_->set_result_value(value); }
  void set_result_bool(bool value) override { inner_->set_result_bool(value); }
  void set_result_empty() override { inner_->set_result_empty(); }
  void commit() override {
    if (error_) overrides_[cellKey(sheet_, row_, col_)] = {CellKind::Error, static_cast<double>(*error_)};
    error_.reset();
    inner_->commit();
  }

 private:
  ss::iface::import_formula* inner_;
  ss::sheet_t sheet_;
  Overrides& overrides_;
  ss::row_t row_ = 0;
  ss::col_t col_ = 0;
  std::optional<std::int32_t> error_;
};

class SheetRecorder final : public ss::iface::import_sheet {
 public:
  SheetRecorder(ss::iface::import_sheet* inner, ss::sheet_t index, Format format, Overrides& overrides,
                ss::iface::import_shared_strings* strings)
      : inner_(inner), index_(index), format_(format), overrides_(overrides), strings_(strings) {}

  ss::iface::import_sheet* inner() const { return inner_; }

  ss::iface::import_sheet_view* get_sheet_view() override { return inner_->get_sheet_view(); }
  ss::iface::import_sheet_properties* get_sheet_properties() override {
    return inner_->get_sheet_properties();
  }
  ss::iface::import_data_table* get_data_table() override { return inner_->get_data_table(); }
  ss::iface::import_auto_filter* get_auto_filter() override { return inner_->get_auto_filter(); }
  ss::iface::import_table* get_table() override { return inner_->get_table(); }
  ss::iface::import_conditional_format* get_conditional_format() override {
    return inner_->get_conditional_format();
  }
  ss::iface::import_named_expression* get_named_expression() override {
    return inner_->get_named_expression();
  }
  ss::iface::import_array_formula* get_array_formula() override { return inner_->get_array_formula(); }
  ss::iface::import_formula* get_formula() override {
    ss::iface::import_formula* f = inner_->get_formula();
    if (!f) return nullptr;
    if (!formula_ || formulaInner_ != f) {
      formula_ = std::make_unique<FormulaRecorder>(f, index_, overrides_);
      formulaInner_ = f;
    }
    return formula_.get();
  }

  void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override {
    if (format_ == Format::Csv) {
      // The text reader leaves the carriage return of a CRLF line on the last field.
      if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
      setTyped(row, col, s);
    } else if (strings_) {
      // Text in a workbook file stays text even when it looks like a number.
      inner_->set_string(row, col, strings_->add(s));
    } else {
      inner_->set_auto(row, col, s);
    }
  }
  void set_string(ss::row_t row, ss::col_t col, ss::string_id_t id) override {
    inner_->set_string(row, col, id);
  }
  void set_value(ss::row_t row, ss::col_t col, double value) override { inner_->set_value(row, col, value); }
  void set_bool(ss::row_t row, ss::col_t col, bool value) override { inner_->set_bool(row, col, value); }
  void set_date_time(ss::row_t row, ss::col_t col, int year, int month, int day, int hour, int minute,
                     double second) override {
    platform::DateParts parts{year, month, day, hour, minute, static_cast<int>(std::lround(second))};
    double date = 0;
    if (parts.second == 60) parts.second = 59;
    if (platform::oleDateFromParts(parts, date))
      overrides_[cellKey(index_, row, col)] = {CellKind::Date, date};
    inner_->set_date_time(row, col, year, month, day, hour, minute, second);
  }
  void set_format(ss::row_t row, ss::col_t col, std::size_t xf) override { inner_->set_format(row, col, xf); }
  void set_format(ss::row_t row0, ss::col_t col0, ss::row_t row1, ss::col_t col1, std::size_t xf) override {
    inner_->set_format(row0, col0, row1, col1, xf);
  }
  void fill_down_cells(ss::row_t row, ss::col_t col, ss::row_t size) override {
    inner_->fill_down_cells(row, col, size);
  }
  ss::range_size_t get_sheet_size() const override { return inner_->get_sheet_size(); }

 private:
  // A .csv field: number, Boolean, date, error text or text, as a spreadsheet types it.
  void setTyped(ss::row_t row, ss::col_t col, std::string_view s) {
    if (s.empty()) return;
    platform::Variant number;
    if (platform::SUCCEEDED(platform::VariantChangeType(number, platform::Variant(s), 0, platform::VT_R8))) {
      inner_->set_value(row, col, number.dblVal());
    } else if (platform::equalsNoCase(s, "TRUE") || platform::equalsNoCase(s, "FALSE")) {
      inner_->set_bool(row, col, platform::equalsNoCase(s, "TRUE"));
    } else if (double date = 0; platform::parseOleDate(s, date)) {
      overrides_[cellKey(index_, row, col)] = {CellKind::Date, date};
      inner_->set_value(row, col, date);
    } else if (const auto error = errorFromText(s)) {
      overrides_[cellKey(index_, row, col)] = {CellKind::Error, static_cast<double>(*error)};
      inner_->set_auto(row, col, s);
    } else {
      inner_->set_auto(row, col, s);
    }
  }

  ss::iface::import_sheet* inner_;
  ss::sheet_t index_;
  Format format_;
  Overrides& overrides_;
  ss::iface::import_shared_strings* strings_;
  std::unique_ptr<FormulaRecorder> formula_;
  ss::iface::import_formula* formulaInner_ = nullptr;
};

class FactoryRecorder final : public ss::iface::import_factory {
 public:
  FactoryRecorder(ss::import_factory& inner, Format format) : inner_(inner), format_(format) {}
  const Overrides& overrides() const { return overrides_; }

  ss::iface::import_global_settings* get_global_settings() override { return inner_.get_global_settings(); }
  ss::iface::import_shared_strings* get_shared_strings() override { return inner_.get_shared_strings(); }
  ss::iface::import_styles* get_styles() override { return inner_.get_styles(); }
  ss::iface::import_named_expression* get_named_expression() override {
    return inner_.get_named_expression();
  }
  ss::iface::import_reference_resolver* get_reference_resolver(ss::formula_ref_context_t cxt) override {
    return inner_.get_reference_resolver(cxt);
  }
  ss::iface::import_pivot_cache_definition* create_pivot_cache_definition(ss::pivot_cache_id_t id) override {
    return inner_.create_pivot_cache_definition(id);
  }
  ss::iface::import_pivot_cache_records* create_pivot_cache_records(ss::pivot_cache_id_t id) override {
    return inner_.create_pivot_cache_records(id);
  }
  ss::iface::import_sheet* append_sheet(ss::sheet_t index, std::string_view name) override {
    return wrap(inner_.append_sheet(index, name), index);
  }
  ss::iface::import_sheet* get_sheet(std::string_view name) override { return find(inner_.get_sheet(name)); }
  ss::iface::import_sheet* get_sheet(ss::sheet_t index) override { return find(inner_.get_sheet(index)); }
  void finalize() override { inner_.finalize(); }

 private:
  ss::iface::import_sheet* wrap(ss::iface::import_sheet* sheet, ss::sheet_t index) {
    if (!sheet) return nullptr;
    sheets_.push_back(
        std::make_unique<SheetRecorder>(sheet, index, format_, overrides_, inner_.get_shared_strings()));
    return sheets_.back().get();
  }
  ss::iface::import_sheet* find(ss::iface::import_sheet* sheet) {
    for (auto& s : sheets_)
      if (s->inner() == sheet) return s.get();
    return nullptr;
  }

  ss::import_factory& inner_;
  Format format_;
  Overrides overrides_;
  std::vector<std::unique_ptr<SheetRecorder>> sheets_;
};

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::optional<Format> formatOf(const fs::path& path) {
  const std::string ext = lower(path.extension().string());
  if (ext == ".xlsx" || ext == ".xlsm") return Format::Xlsx;
  if (ext == ".ods") return Format::Ods;
  if (ext == ".csv" || ext == ".txt") return Format::Csv;
  std::ifstream in(path, std::ios::binary);
  std::string head((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
  if (orcus::orcus_xlsx::detect(bytes, head.size())) return Format::Xlsx;
  if (orcus::orcus_ods::detect(bytes, head.size())) return Format::Ods;
  return std::nullopt;
}

const char* formatName(Format f) {
  switch (f) {
    case Format::Xlsx:
      return "xlsx";
    case Format::Ods:
      return "ods";
    case Format::Csv:
      return "csv";
  }
  return "";
}

// Number-format codes that show a date or a time: any of the date and time letters outside
// quoted text, escapes and colour or locale brackets.
bool isDateFormatCode(std::string_view code) {
  if (platform::equalsNoCase(code, "General")) return false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      i = code.find('"', i + 1);
      if (i == std::string_view::npos) return false;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      const std::size_t end = code.find(']', i);
      if (end == std::string_view::npos) return false;
      const std::string_view inside = code.substr(i + 1, end - i - 1);
      // Elapsed-time fields ([h], [mm], [ss]) are times; colours and locales are not.
      if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) return true;
      i = end;
    } else if (std::string_view("dDmMyYhHsS").find(c) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

// Built-in number formats of the xlsx format that show dates or times.
bool isBuiltInDateFormat(std::size_t id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

class DateFormats {
 public:
  explicit DateFormats(const ss::styles& styles) : styles_(styles) {
    for (std::size_t i = 0; i < styles.get_number_format_count(); ++i) {
      const ss::number_format_t* nf = styles.get_number_format(i);
      if (nf && isDateFormatCode(nf->format_string)) dateIds_.push_back(nf->identifier);
    }
  }
  bool isDate(std::size_t xf) const {
    const ss::cell_format_t* cf = styles_.get_cell_format(xf);
    if (!cf) return false;
    if (isBuiltInDateFormat(cf->number_format)) return true;
    for (std::size_t id : dateIds_)
      if (id == cf->number_format) return true;
    return false;
  }

 private:
  const ss::styles& styles_;
  std::vector<std::size_t> dateIds_;
};

std::int32_t errorOf(ixion::formula_error_t e) {
  switch (e) {
    case ixion::formula_error_t::ref_result_not_available:
      return kErrorRef;
    case ixion::formula_error_t::division_by_zero:
      return kErrorDiv0;
    case ixion::formula_error_t::name_not_found:
      return kErrorName;
    case ixion::formula_error_t::no_range_intersection:
      return kErrorNull;
    default:
      return kErrorValue;
  }
}

// Days from the workbook's date origin to the OLE origin, added to date serials.
double originOffset(const ss::document& doc) {
  const orcus::date_time_t origin = doc.get_origin_date();
  platform::DateParts parts{origin.year, origin.month, origin.day, 0, 0, 0};
  double offset = 0;
  return platform::oleDateFromParts(parts, offset) ? offset : 0.0;
}

void copySheet(const ss::document& doc, ss::sheet_t index, const Overrides& overrides,
               const DateFormats& dates, double dateOffset, Sheet& target) {
  const ss::sheet* source = doc.get_sheet(index);
  const ixion::abs_range_t range = source->get_data_range();
  if (!range.valid()) return;
  const ixion::model_context& cxt = doc.get_model_context();
  for (ss::col_t col = range.first.column; col <= range.last.column; ++col) {
    for (ss::row_t row = range.first.row; row <= range.last.row; ++row) {
      const ixion::cell_access cell = cxt.get_cell_access(ixion::abs_address_t(index, row, col));
      const std::int32_t r = row + 1, c = col + 1;
      if (const auto it = overrides.find(cellKey(index, row, col)); it != overrides.end()) {
        if (it->second.kind == CellKind::Date)
          target.setDate(r, c, it->second.number);
        else
          target.setError(r, c, static_cast<std::int32_t>(it->second.number));
        continue;
      }
      switch (cell.get_value_type()) {
        case ixion::cell_value_t::numeric:
          if (dates.isDate(source->get_cell_format(row, col)))
            target.setDate(r, c, cell.get_numeric_value() + dateOffset);
          else
            target.setNumber(r, c, cell.get_numeric_value());
          break;
        case ixion::cell_value_t::string:
          target.setText(r, c, std::string(cell.get_string_value()));
          break;
        case ixion::cell_value_t::boolean:
          target.setBoolean(r, c, cell.get_boolean_value());
          break;
        case ixion::cell_value_t::error:
          target.setError(r, c, errorOf(cell.get_error_value()));
          break;
        default:
          break;
      }
    }
  }
}

// A text file has one sheet, named after the file as a spreadsheet names it.
std::string sheetName(const ss::document& doc, ss::sheet_t index, Format format, const fs::path& path) {
  if (format == Format::Csv) return path.stem().string().substr(0, kMaxSheetName);
  return std::string(doc.get_sheet_name(index));
}

[[noreturn]] void throwBeyondLimits(const ss::document& doc, ss::sheet_t s, Format format,
                                    const fs::path& path, SheetLimits limits) {
  throw WorkbookFileError("Cannot open \"" + path.filename().string() + "\": the worksheet \"" +
                          sheetName(doc, s, format, path) + "\" has data beyond " +
                          cellName(limits.rows, limits.cols) + ", the last cell of a worksheet here.");
}

void checkLimits(const ss::document& doc, Format format, const fs::path& path, SheetLimits limits) {
  for (ss::sheet_t s = 0; s < static_cast<ss::sheet_t>(doc.get_sheet_count()); ++s) {
    const ixion::abs_range_t range = doc.get_sheet(s)->get_data_range();
    if (range.valid() && (range.last.row >= limits.rows || range.last.column >= limits.cols))
      throwBeyondLimits(doc, s, format, path, limits);
  }
}

// The .ods reader drops Boolean cells; a second reading of the file finds them. Should that
// reading fail, the workbook keeps what the reader loaded rather than failing to open.
OdsBooleans odsBooleans(const ss::document& doc, const fs::path& path, SheetLimits limits) {
  OdsBooleans found;
  try {
    found = readOdsBooleans(path.string(), limits);
  } catch (const std::exception&) {
    return {};
  }
  if (found.sheetBeyondLimits && *found.sheetBeyondLimits < static_cast<std::int32_t>(doc.get_sheet_count()))
    throwBeyondLimits(doc, *found.sheetBeyondLimits, Format::Ods, path, limits);
  return found;
}

void applyBooleans(const OdsBooleans& found, Workbook& workbook) {
  for (const OdsBooleanRun& run : found.runs) {
    if (run.sheet < 0 || run.sheet >= workbook.sheetCount()) continue;
    Sheet& sheet = workbook.sheet(run.sheet);
    for (std::int32_t c = run.col; c < run.col + run.cols; ++c)
      for (std::int32_t r = run.row; r < run.row + run.rows; ++r) sheet.setBoolean(r, c, run.value);
  }
}

// Copies one cell, of any kind, to another place of the same sheet.
void copyCell(Sheet& sheet, std::int32_t fromRow, std::int32_t col, std::int32_t toRow) {
  switch (sheet.kind(fromRow, col)) {
    case CellKind::Empty:
      break;
    case CellKind::Number:
      sheet.setNumber(toRow, col, sheet.number(fromRow, col));
      break;
    case CellKind::Text:
      sheet.setText(toRow, col, sheet.text(fromRow, col));
      break;
    case CellKind::Boolean:
      sheet.setBoolean(toRow, col, sheet.number(fromRow, col) != 0);
      break;
    case CellKind::Date:
      sheet.setDate(toRow, col, sheet.number(fromRow, col));
      break;
    case CellKind::Error:
      sheet.setError(toRow, col, static_cast<std::int32_t>(sheet.number(fromRow, col)));
      break;
  }
}

// The .ods reader puts a repeated row's cells only in its first row; the copies below it are
// filled here from that row. Only rows with content were listed, so the long runs of empty
// rows a file ends with cost nothing.
void applyRepeatedRows(const OdsBooleans& found, Workbook& workbook) {
  std::vector<std::int32_t> filledCols;
  for (const OdsRepeatedRow& repeated : found.repeatedRows) {
    if (repeated.sheet < 0 || repeated.sheet >= workbook.sheetCount()) continue;
    Sheet& sheet = workbook.sheet(repeated.sheet);
    filledCols.clear();
    for (std::int32_t c = 1; c <= sheet.limits().cols; ++c)
      if (sheet.kind(repeated.row, c) != CellKind::Empty) filledCols.push_back(c);
    for (const std::int32_t c : filledCols)
      for (std::int32_t r = repeated.row + 1; r < repeated.row + repeated.rows; ++r)
        if (sheet.contains(r, c)) copyCell(sheet, repeated.row, c, r);
  }
}

}  // namespace

std::shared_ptr<Workbook> importWorkbook(const std::string& path, SheetLimits limits) {
  const fs::path p(path);
  const std::string fileName = p.filename().string();
  std::error_code ec;
  if (!fs::is_regular_file(p, ec))
    throw WorkbookFileError("Cannot open \"" + fileName + "\": the file does not exist.");
  const auto format = formatOf(p);
  if (!format)
    throw WorkbookFileError("Cannot open \"" + fileName +
                            "\": it is not a workbook this program reads (xlsx, ods or csv).");

  ss::document doc(kReaderSheetSize);
  ss::import_factory factory(doc);
  factory.set_recalc_formula_cells(true);
  FactoryRecorder recorder(factory, *format);
  try {
    switch (*format) {
      case Format::Xlsx: {
        orcus::orcus_xlsx reader(&recorder);
        reader.read_file(path);
        break;
      }
      case Format::Ods: {
        orcus::orcus_ods reader(&recorder);
        reader.read_file(path);
        break;
      }
      case Format::Csv: {
        orcus::orcus_csv reader(&recorder);
        reader.read_file(path);
        break;
      }
    }
  } catch (const std::exception& e) {
    throw WorkbookFileError("Cannot open \"" + fileName + "\": the file is damaged or not an " +
                            formatName(*format) + " workbook (" + e.what() + ").");
  }
  checkLimits(doc, *format, p, limits);
  const OdsBooleans booleans = *format == Format::Ods ? odsBooleans(doc, p, limits) : OdsBooleans{};

  auto workbook = std::make_shared<Workbook>(fileName, limits);
  workbook->setPath(fs::absolute(p, ec).string());
  const DateFormats dates(doc.get_styles());
  const double dateOffset = originOffset(doc);
  for (ss::sheet_t s = 0; s < static_cast<ss::sheet_t>(doc.get_sheet_count()); ++s) {
    std::string name = sheetName(doc, s, *format, p);
    if (name.empty() || workbook->findSheet(name)) name = "Sheet" + std::to_string(s + 1);
    Sheet& sheet = workbook->addSheet(name);
    copySheet(doc, s, recorder.overrides(), dates, dateOffset, sheet);
  }
  applyBooleans(booleans, *workbook);
  applyRepeatedRows(booleans, *workbook);
  if (workbook->sheetCount() == 0)
    throw WorkbookFileError("Cannot open \"" + fileName + "\": the file holds no worksheet.");
  return workbook;
}

}  // namespace host
