// Reading .csv text: fields split as spreadsheets split them (quotes, doubled quotes, line
// breaks inside quotes, CRLF, LF or CR line ends) and typed as a spreadsheet types them.
#include <string>

#include "host/number_text.h"
#include "host/workbook_builder.h"
#include "platform/dispatch.h"
#include "platform/variant.h"

namespace host {

namespace {

// A field as a cell: an apostrophe makes the rest text; quoted fields are numbers when they
// read as one, else text; unquoted ones may also be Booleans, dates and error texts.
void typeField(WorkbookBuilder& book, std::int64_t row, std::int64_t col, std::string& field, bool quoted,
               const CsvOptions& options) {
  if (field.empty()) return;
  book.checkInside(0, row, col);
  if (field.front() == '\'') {
    book.setText(0, row, col, field.substr(1));
    return;
  }
  if (const auto n = parseNumber(field, options.decimalMark)) {
    book.setNumber(0, row, col, *n);
    return;
  }
  if (!quoted) {
    if (platform::equalsNoCase(field, "TRUE") || platform::equalsNoCase(field, "FALSE")) {
      book.setBoolean(0, row, col, platform::equalsNoCase(field, "TRUE"));
      return;
    }
    if (double date = 0; platform::parseOleDate(field, date)) {
      book.setDate(0, row, col, date);
      return;
    }
    if (const auto error = errorFromText(field)) {
      book.setError(0, row, col, *error);
      return;
    }
  }
  book.setText(0, row, col, std::move(field));
}

}  // namespace

std::shared_ptr<Workbook> readCsv(std::string_view bytes, const std::string& fileName,
                                  const std::string& sheetName, SheetLimits limits,
                                  const CsvOptions& options) {
  if (options.separator == options.decimalMark || options.separator == '"' || options.separator == '\n' ||
      options.separator == '\r')
    refuse(fileName, "the field separator and the decimal mark must differ");
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::string converted;
  if (invalidUtf8At(bytes) != std::string_view::npos) {
    converted = windows1252ToUtf8(bytes);
    bytes = converted;
  }
  WorkbookBuilder book(fileName, limits);
  book.addSheet(sheetName);
  const char sep = options.separator;
  std::int64_t row = 1, col = 1;
  std::string field;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    // One field.
    field.clear();
    bool quoted = false;
    if (bytes[i] == '"') {
      quoted = true;
      ++i;
      for (;;) {
        if (i >= n) break;  // an unclosed quote runs to the end, as spreadsheets read it
        const char c = bytes[i++];
        if (c == '"') {
          if (i < n && bytes[i] == '"') {
            field += '"';
            ++i;
          } else {
            break;
          }
        } else {
          field += c;
        }
      }
      // Anything between the closing quote and the separator belongs to the field.
      while (i < n && bytes[i] != sep && bytes[i] != '\n' && bytes[i] != '\r') field += bytes[i++];
    } else {
      const std::size_t start = i;
      while (i < n && bytes[i] != sep && bytes[i] != '\n' && bytes[i] != '\r') ++i;
      field.assign(bytes.data() + start, i - start);
    }
    typeField(book, row, col, field, quoted, options);
    if (i >= n) break;
    if (bytes[i] == sep) {
      ++i;
      ++col;
      continue;
    }
    // A line end: CRLF, LF or CR.
    if (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
    ++i;
    ++row;
    col = 1;
  }
  return book.finish();
}

}  // namespace host
