// A second, narrow reading of an .ods file's content.xml that finds the Boolean cells the
// workbook reader drops, and the repeated rows whose copies it leaves empty. It walks tables,
// rows and cells in document order, counting repeated rows and cells as the reader does, so
// each Boolean lands at the position the reader gave its neighbours.
#include "host/ods_booleans.h"

#include <algorithm>
#include <charconv>
#include <orcus/sax_ns_parser.hpp>
#include <orcus/xml_namespace.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>
#include <string_view>

namespace host {

namespace {

constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

bool inNamespace(orcus::xmlns_id_t ns, std::string_view uri) {
  return ns != nullptr && ns != orcus::XMLNS_UNKNOWN_ID && std::string_view(ns) == uri;
}

// A repeat count; anything unreadable or below one counts once, anything huge is cut to
// 2^31-1 and then to the sheet limits by the caller.
std::int64_t repeatCount(std::string_view text) {
  std::int64_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec == std::errc::result_out_of_range) return INT32_MAX;
  if (ec != std::errc() || end != text.data() + text.size() || n < 1) return 1;
  return std::min<std::int64_t>(n, INT32_MAX);
}

class ContentHandler {
 public:
  explicit ContentHandler(SheetLimits limits) : limits_(limits) {}

  OdsBooleans result() && { return std::move(result_); }

  // Attributes arrive before the start of their element.
  void attribute(const orcus::sax_ns_parser_attribute& attr) {
    if (inNamespace(attr.ns, kTableNs)) {
      if (attr.name == "number-rows-repeated")
        rowsRepeated_ = repeatCount(attr.value);
      else if (attr.name == "number-columns-repeated")
        colsRepeated_ = repeatCount(attr.value);
      else if (attr.name == "formula")
        hasFormula_ = true;
    } else if (inNamespace(attr.ns, kOfficeNs)) {
      if (attr.name == "value-type") {
        isBoolean_ = attr.value == "boolean";
        hasValueType_ = true;
      } else if (attr.name == "boolean-value")
        booleanValue_ = parseBoolean(attr.value);
    }
  }

  void start_element(const orcus::sax_ns_parser_element& elem) {
    if (inNamespace(elem.ns, kTableNs)) startTableElement(elem.name);
    resetAttributes();
  }

  void end_element(const orcus::sax_ns_parser_element& elem) {
    if (!inNamespace(elem.ns, kTableNs)) return;
    if (elem.name == "table") {
      if (--tableDepth_ == 0) ++sheet_;
    } else if (tableDepth_ != 1) {
      return;
    } else if (elem.name == "table-row") {
      if (rowHasContent_ && currentRowRepeat_ > 1) recordRepeatedRow();
      row_ += currentRowRepeat_;
    } else if (elem.name == "table-cell") {
      inCell_ = false;
    }
  }

  void doctype(const orcus::sax::doctype_declaration&) {}
  void start_declaration(std::string_view) {}
  void end_declaration(std::string_view) {}

  // Text inside a cell (its paragraphs) is content even without a value type; whitespace
  // between elements is not.
  void characters(std::string_view text, bool) {
    if (inCell_ && text.find_first_not_of(" \t\r\n") != std::string_view::npos) rowHasContent_ = true;
  }
  void attribute(std::string_view, std::string_view) {}

 private:
  static std::optional<bool> parseBoolean(std::string_view v) {
    if (v == "true" || v == "1") return true;
    if (v == "false" || v == "0") return false;
    return std::nullopt;
  }

  void resetAttributes() {
    rowsRepeated_ = 1;
    colsRepeated_ = 1;
    hasFormula_ = false;
    isBoolean_ = false;
    hasValueType_ = false;
    booleanValue_.reset();
  }

  void startTableElement(std::string_view name) {
    if (name == "table") {
      // A table nested in a cell is not a worksheet; only the outermost level is counted.
      if (tableDepth_++ == 0) row_ = 1;
    } else if (tableDepth_ != 1) {
      return;
    } else if (name == "table-row") {
      col_ = 1;
      currentRowRepeat_ = rowsRepeated_;
      rowHasContent_ = false;
      inCell_ = false;
    } else if (name == "table-cell") {
      inCell_ = true;
      if (hasValueType_) rowHasContent_ = true;
      // Covered cells (those hidden under a merged cell) take no column here: the workbook
      // reader skips them and lays the following cells out without them, and a Boolean must
      // land where the reader put its neighbours, not on top of one of them.
      if (isBoolean_ && booleanValue_ && !hasFormula_) record(*booleanValue_);
      col_ += colsRepeated_;
    }
  }

  // Counts stay in 64 bits, so a run of huge repeats cannot wrap before it is cut.
  void record(bool value) {
    const std::int64_t lastRow = std::min<std::int64_t>(row_ + currentRowRepeat_ - 1, limits_.rows);
    const std::int64_t lastCol = std::min<std::int64_t>(col_ + colsRepeated_ - 1, limits_.cols);
    const bool cut = row_ + currentRowRepeat_ - 1 > limits_.rows || col_ + colsRepeated_ - 1 > limits_.cols;
    if (cut && !result_.sheetBeyondLimits) result_.sheetBeyondLimits = sheet_;
    if (row_ > lastRow || col_ > lastCol) return;
    result_.runs.push_back({sheet_, static_cast<std::int32_t>(row_),
                            static_cast<std::int32_t>(lastRow - row_ + 1), static_cast<std::int32_t>(col_),
                            static_cast<std::int32_t>(lastCol - col_ + 1), value});
  }

  // A repeated row starting inside the sheet, its copies cut at the last row. A row starting
  // beyond it has nothing the reader kept to copy.
  void recordRepeatedRow() {
    // Copies that would run past the last row are data beyond the sheet: the file is refused
    // like any other such file rather than opened with rows silently missing.
    const std::int64_t room = limits_.rows - row_ + 1;
    if (currentRowRepeat_ > room && !result_.sheetBeyondLimits) result_.sheetBeyondLimits = sheet_;
    const std::int64_t rows = std::min<std::int64_t>(currentRowRepeat_, room);
    if (rows < 2) return;
    result_.repeatedRows.push_back(
        {sheet_, static_cast<std::int32_t>(row_), static_cast<std::int32_t>(rows)});
  }

  SheetLimits limits_;
  OdsBooleans result_;
  std::int32_t sheet_ = 0;
  int tableDepth_ = 0;
  std::int64_t row_ = 1;
  std::int64_t col_ = 1;
  std::int64_t currentRowRepeat_ = 1;
  bool rowHasContent_ = false;  // a cell of the current row has a value type or text
  bool inCell_ = false;         // between the start and end of a worksheet cell
  // Attributes of the element about to start.
  std::int64_t rowsRepeated_ = 1;
  std::int64_t colsRepeated_ = 1;
  bool hasFormula_ = false;
  bool isBoolean_ = false;
  bool hasValueType_ = false;
  std::optional<bool> booleanValue_;
};

}  // namespace

OdsBooleans scanOdsContent(std::string_view content, SheetLimits limits) {
  orcus::xmlns_repository repo;
  orcus::xmlns_context cxt = repo.create_context();
  ContentHandler handler(limits);
  orcus::sax_ns_parser<ContentHandler> parser(content.data(), content.size(), cxt, handler);
  parser.parse();
  return std::move(handler).result();
}

OdsBooleans readOdsBooleans(const std::string& path, SheetLimits limits) {
  orcus::zip_archive_stream_fd stream(path.c_str());
  orcus::zip_archive archive(&stream);
  archive.load();
  std::vector<unsigned char> content;
  if (!archive.read_file_entry("content.xml", content)) return {};
  return scanOdsContent(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
                        limits);
}

}  // namespace host
