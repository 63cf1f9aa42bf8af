// Writing workbooks: .xlsx through libxlsxwriter, .csv by hand. Both write a temporary file
// beside the target and rename it over the target only when the new file is complete.
#include <xlsxwriter.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>

#include "host/workbook_io.h"
#include "platform/variant.h"

namespace host {

namespace {

namespace fs = std::filesystem;

// Number formats for date cells with and without a time of day.
constexpr const char* kDateFormat = "m/d/yyyy";
constexpr const char* kDateTimeFormat = "m/d/yyyy h:mm:ss";

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A temporary file beside the target that is removed unless it was committed.
class TempFile {
 public:
  explicit TempFile(const fs::path& target) : target_(target) {
    std::random_device rd;
    path_ = target;
    path_ += ".tmp" + std::to_string(rd());
  }
  ~TempFile() {
    std::error_code ec;
    if (!committed_) fs::remove(path_, ec);
  }
  const fs::path& path() const { return path_; }
  void commit(const std::string& fileName) {
    std::error_code ec;
    fs::rename(path_, target_, ec);
    if (ec) throw WorkbookFileError("Cannot save \"" + fileName + "\": " + ec.message() + ".");
    committed_ = true;
  }

 private:
  fs::path target_, path_;
  bool committed_ = false;
};

// The shortest text that reads back as the same double.
std::string exactNumber(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : platform::formatGeneralNumber(value);
}

std::string csvField(const Sheet& sheet, std::int32_t row, std::int32_t col) {
  switch (sheet.kind(row, col)) {
    case CellKind::Number:
      return exactNumber(sheet.number(row, col));
    case CellKind::Date:
      return platform::formatOleDate(sheet.number(row, col));
    case CellKind::Boolean:
      return sheet.number(row, col) != 0 ? "TRUE" : "FALSE";
    case CellKind::Error:
      return std::string(errorText(static_cast<std::int32_t>(sheet.number(row, col))));
    case CellKind::Text: {
      const std::string& text = sheet.text(row, col);
      const bool quote =
          text.find_first_of(",\"\r\n") != std::string::npos || text.front() == ' ' || text.back() == ' ';
      if (!quote) return text;
      std::string quoted = "\"";
      for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
      }
      return quoted + "\"";
    }
    case CellKind::Empty:
      break;
  }
  return {};
}

void exportCsv(const Workbook& workbook, const fs::path& target, const std::string& fileName) {
  const Sheet* sheet = workbook.activeSheet();
  if (!sheet) throw WorkbookFileError("Cannot save \"" + fileName + "\": the workbook has no worksheet.");
  TempFile temp(target);
  {
    std::ofstream out(temp.path(), std::ios::binary | std::ios::trunc);
    if (!out) throw WorkbookFileError("Cannot save \"" + fileName + "\": the folder cannot be written to.");
    if (const auto area = sheet->usedArea()) {
      std::string line;
      for (std::int32_t row = 1; row <= area->bottom; ++row) {
        line.clear();
        for (std::int32_t col = 1; col <= area->right; ++col) {
          if (col > 1) line += ',';
          line += csvField(*sheet, row, col);
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
      }
    }
    out.flush();
    if (!out) throw WorkbookFileError("Cannot save \"" + fileName + "\": writing the file failed.");
  }
  temp.commit(fileName);
}

// Owns a libxlsxwriter workbook until it is closed.
class XlsxWriter {
 public:
  explicit XlsxWriter(const fs::path& path) {
    // Not the streaming mode: it writes texts inline, which the orcus reader does not read back.
    book_ = workbook_new(path.c_str());
  }
  ~XlsxWriter() {
    if (book_) workbook_close(book_);
  }
  lxw_workbook* get() const { return book_; }
  lxw_error close() { return workbook_close(std::exchange(book_, nullptr)); }

 private:
  lxw_workbook* book_ = nullptr;
};

lxw_error writeCell(lxw_worksheet* ws, const Sheet& sheet, std::int32_t row, std::int32_t col,
                    lxw_format* date, lxw_format* dateTime) {
  const lxw_row_t r = static_cast<lxw_row_t>(row - 1);
  const lxw_col_t c = static_cast<lxw_col_t>(col - 1);
  switch (sheet.kind(row, col)) {
    case CellKind::Number:
      return worksheet_write_number(ws, r, c, sheet.number(row, col), nullptr);
    case CellKind::Date: {
      const double d = sheet.number(row, col);
      return worksheet_write_number(ws, r, c, d, d == std::trunc(d) ? date : dateTime);
    }
    case CellKind::Boolean:
      return worksheet_write_boolean(ws, r, c, sheet.number(row, col) != 0, nullptr);
    case CellKind::Error: {
      // An error value is stored as a formula that is that error literal.
      const std::string text(errorText(static_cast<std::int32_t>(sheet.number(row, col))));
      return worksheet_write_formula_str(ws, r, c, ("=" + text).c_str(), nullptr, text.c_str());
    }
    case CellKind::Text:
      return worksheet_write_string(ws, r, c, sheet.text(row, col).c_str(), nullptr);
    case CellKind::Empty:
      break;
  }
  return LXW_NO_ERROR;
}

void exportXlsx(const Workbook& workbook, const fs::path& target, const std::string& fileName) {
  TempFile temp(target);
  XlsxWriter writer(temp.path());
  auto fail = [&](const std::string& why) {
    return WorkbookFileError("Cannot save \"" + fileName + "\": " + why);
  };
  if (!writer.get()) throw fail("the file cannot be created.");
  lxw_format* date = workbook_add_format(writer.get());
  format_set_num_format(date, kDateFormat);
  lxw_format* dateTime = workbook_add_format(writer.get());
  format_set_num_format(dateTime, kDateTimeFormat);
  for (int s = 0; s < workbook.sheetCount(); ++s) {
    const Sheet& sheet = workbook.sheet(s);
    lxw_worksheet* ws = workbook_add_worksheet(writer.get(), sheet.name().c_str());
    if (!ws) throw fail("the worksheet name \"" + sheet.name() + "\" cannot be stored in an xlsx file.");
    if (s == workbook.activeSheetIndex()) worksheet_activate(ws);
    const auto area = sheet.usedArea();
    if (!area) continue;
    for (std::int32_t row = area->top; row <= area->bottom; ++row) {
      for (std::int32_t col = area->left; col <= area->right; ++col) {
        const lxw_error e = writeCell(ws, sheet, row, col, date, dateTime);
        if (e != LXW_NO_ERROR)
          throw fail("cell " + cellName(row, col) + " of \"" + sheet.name() + "\": " + lxw_strerror(e) + ".");
      }
    }
  }
  const lxw_error e = writer.close();
  if (e != LXW_NO_ERROR) throw fail(std::string(lxw_strerror(e)) + ".");
  temp.commit(fileName);
}

}  // namespace

void exportWorkbook(const Workbook& workbook, const std::string& path) {
  const fs::path target(path);
  const std::string fileName = target.filename().string();
  const std::string ext = lower(target.extension().string());
  if (ext == ".csv" || ext == ".txt") return exportCsv(workbook, target, fileName);
  if (ext == ".xlsx") return exportXlsx(workbook, target, fileName);
  throw WorkbookFileError("Cannot save \"" + fileName + "\": workbooks are saved as .xlsx or .csv files.");
}

}  // namespace host
