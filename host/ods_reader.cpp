// Reading .ods packages: the tables of content.xml, with repeated rows and cells, covered
// cells, every value type and the text of each cell's paragraphs.
#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "host/number_text.h"
#include "host/workbook_builder.h"
#include "host/xml_reader.h"
#include "host/zip_archive.h"

namespace host {

namespace {

constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kCalcExtNs =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";

struct Damage {
  std::string what;
};

// A repeat count: anything unreadable or below one counts once; a huge one is cut to a
// value past every sheet limit.
std::int64_t repeatCount(std::optional<std::string_view> text) {
  if (!text) return 1;
  std::int64_t n = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), n);
  if (ec == std::errc::result_out_of_range) return std::int64_t{1} << 40;
  if (ec != std::errc() || n < 1) return 1;
  return std::min<std::int64_t>(n, std::int64_t{1} << 40);
}

// The text of one paragraph: white space in the XML collapses to one space (and none at the
// paragraph's start), text:s, text:tab and text:line-break give their characters exactly.
void paragraphText(XmlReader& x, std::string& out) {
  if (x.empty()) return;
  const int depth = x.depth();
  bool collapse = true;  // a following literal space is dropped
  for (;;) {
    const XmlReader::Node n = x.next();
    if (n == XmlReader::Node::Done) throw Damage{"a paragraph ends early"};
    if (n == XmlReader::Node::End && x.depth() == depth) return;
    if (n == XmlReader::Node::Start) {
      if (x.ns() == kTextNs && x.name() == "s") {
        out.append(
            static_cast<std::size_t>(std::min<std::int64_t>(repeatCount(x.attribute(kTextNs, "c")), 65536)),
            ' ');
        collapse = false;
      } else if (x.ns() == kTextNs && x.name() == "tab") {
        out += '\t';
        collapse = false;
      } else if (x.ns() == kTextNs && x.name() == "line-break") {
        out += '\n';
        collapse = false;
      } else if ((x.ns() == kOfficeNs && x.name() == "annotation") ||
                 (x.ns() == kTextNs && (x.name() == "note" || x.name() == "ruby-text"))) {
        x.skipElement();
      }
      if (!x.empty() && x.ns() == kTextNs &&
          (x.name() == "s" || x.name() == "tab" || x.name() == "line-break"))
        x.skipElement();
      continue;
    }
    if (n != XmlReader::Node::Text) continue;
    for (const char c : x.text()) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (!collapse) out += ' ';
        collapse = true;
      } else {
        out += c;
        collapse = false;
      }
    }
  }
}

struct CellContent {
  FormulaValue value;
  bool asDate = false;
  bool hasValue = false;
  std::string formula;
};

// One table:table-cell or table:covered-table-cell, read to its end.
CellContent readCell(XmlReader& x) {
  CellContent cell;
  const auto type = x.attribute(kOfficeNs, "value-type");
  const auto calcType = x.attribute(kCalcExtNs, "value-type");
  if (const auto f = x.attribute(kTableNs, "formula")) cell.formula = std::string(*f);
  std::optional<std::string> stringValue;
  if (const auto sv = x.attribute(kOfficeNs, "string-value")) stringValue = std::string(*sv);
  auto number = [&](std::string_view attr) -> std::optional<double> {
    const auto v = x.attribute(kOfficeNs, attr);
    if (!v) return std::nullopt;
    const auto n = parseNumber(*v);
    if (!n) throw Damage{"a cell holds \"" + std::string(v->substr(0, 40)) + "\" where a number belongs"};
    return n;
  };
  if (calcType == std::optional<std::string_view>("error")) {
    cell.value = FormulaValue::ofError(kErrorValue);
    cell.hasValue = true;
  } else if (type) {
    cell.hasValue = true;
    if (*type == "float" || *type == "percentage" || *type == "currency") {
      cell.value = FormulaValue::ofNumber(number("value").value_or(0));
    } else if (*type == "date") {
      const auto v = x.attribute(kOfficeNs, "date-value");
      const auto d = v ? parseIsoDate(*v) : std::nullopt;
      if (!d)
        throw Damage{"a cell holds \"" + std::string(v.value_or("").substr(0, 40)) +
                     "\" where a date belongs"};
      cell.value = FormulaValue::ofNumber(*d);
      cell.asDate = true;
    } else if (*type == "time") {
      const auto v = x.attribute(kOfficeNs, "time-value");
      const auto d = v ? parseIsoDuration(*v) : std::nullopt;
      if (!d)
        throw Damage{"a cell holds \"" + std::string(v.value_or("").substr(0, 40)) +
                     "\" where a time belongs"};
      cell.value = FormulaValue::ofNumber(*d);
      cell.asDate = true;
    } else if (*type == "boolean") {
      const auto v = x.attribute(kOfficeNs, "boolean-value");
      cell.value = FormulaValue::ofBoolean(v == std::optional<std::string_view>("true") ||
                                           v == std::optional<std::string_view>("1"));
    } else {
      cell.value.kind = CellKind::Text;  // "string", and types we do not know, show their text
    }
  }
  // The paragraphs, joined by line breaks; other content (shapes, notes, nested tables) is not
  // the cell's text.
  std::string text;
  bool anyParagraph = false;
  if (!x.empty()) {
    const int depth = x.depth();
    for (;;) {
      const XmlReader::Node n = x.next();
      if (n == XmlReader::Node::Done) throw Damage{"a cell ends early"};
      if (n == XmlReader::Node::End && x.depth() == depth) break;
      if (n != XmlReader::Node::Start) continue;
      if (x.depth() == depth + 1 && x.ns() == kTextNs && (x.name() == "p" || x.name() == "h")) {
        if (anyParagraph) text += '\n';
        anyParagraph = true;
        paragraphText(x, text);
        if (text.size() > (std::size_t{1} << 24)) throw Damage{"a cell's text is too long"};
      } else {
        x.skipElement();
      }
    }
  }
  if (calcType == std::optional<std::string_view>("error")) {
    cell.value = FormulaValue::ofError(errorFromText(text).value_or(kErrorValue));
  } else if (cell.value.kind == CellKind::Text || (!type && anyParagraph)) {
    cell.value = FormulaValue::ofText(stringValue ? *stringValue : text);
    cell.hasValue = true;
  }
  return cell;
}

class ContentReader {
 public:
  ContentReader(WorkbookBuilder& book) : book_(book) {}

  void read(XmlReader& x) {
    for (XmlReader::Node n; (n = x.next()) != XmlReader::Node::Done;) {
      if (n == XmlReader::Node::End && x.ns() == kTableNs) {
        if (x.name() == "table") sheet_ = -1;
        if (x.name() == "table-row" && sheet_ >= 0) endRow();
        continue;
      }
      if (n != XmlReader::Node::Start || x.ns() != kTableNs) continue;
      if (x.name() == "table") {
        sheet_ = book_.addSheet(std::string(x.attribute(kTableNs, "name").value_or("")));
        row_ = 0;
        if (x.empty()) sheet_ = -1;
      } else if (sheet_ < 0) {
        continue;
      } else if (x.name() == "table-row") {
        ++row_;
        rowRepeat_ = repeatCount(x.attribute(kTableNs, "number-rows-repeated"));
        col_ = 0;
        filled_.clear();
        if (x.empty()) endRow();
      } else if (x.name() == "table-cell" || x.name() == "covered-table-cell") {
        cell(x);
      } else if (x.name() == "table-column" || x.name() == "table-columns" ||
                 x.name() == "table-header-columns" || x.name() == "table-column-group" ||
                 x.name() == "table-rows" || x.name() == "table-header-rows" ||
                 x.name() == "table-row-group") {
        continue;
      } else {
        x.skipElement();  // shapes, named ranges, filters: nothing for the cells
      }
    }
  }

 private:
  void cell(XmlReader& x) {
    const std::int64_t repeat = repeatCount(x.attribute(kTableNs, "number-columns-repeated"));
    const std::int64_t first = col_ + 1;
    col_ += repeat;
    CellContent c = readCell(x);
    const bool pending = !c.formula.empty() && !c.hasValue;
    if (!pending && (!c.hasValue || c.value.kind == CellKind::Empty ||
                     (c.value.kind == CellKind::Text && c.value.text.empty())))
      return;
    book_.checkInside(sheet_, row_, col_);
    std::shared_ptr<const WorkbookBuilder::FormulaText> text;
    if (pending) text = book_.formulaText(c.formula, FormulaGrammar::OpenFormula);
    for (std::int64_t col = first; col <= col_; ++col) {
      if (pending)
        book_.addFormula(sheet_, row_, col, text, 0, static_cast<std::int32_t>(col - first), c.asDate);
      else
        book_.setValue(sheet_, row_, col, c.value, c.asDate);
      filled_.push_back(
          {static_cast<std::int32_t>(col), text, static_cast<std::int32_t>(col - first), c.asDate});
    }
  }

  // A repeated row: its copies get every cell of the first.
  void endRow() {
    if (rowRepeat_ > 1 && !filled_.empty()) {
      book_.checkInside(sheet_, row_ + rowRepeat_ - 1, 1);
      for (std::int64_t r = row_ + 1; r < row_ + rowRepeat_; ++r)
        for (const Filled& f : filled_) {
          if (f.formula)
            book_.addFormula(sheet_, r, f.col, f.formula, static_cast<std::int32_t>(r - row_), f.colShift,
                             f.asDate);
          else
            book_.copyCell(sheet_, static_cast<std::int32_t>(row_), f.col, r);
        }
    }
    row_ += rowRepeat_ - 1;
    rowRepeat_ = 1;
    filled_.clear();
  }

  struct Filled {
    std::int32_t col;
    std::shared_ptr<const WorkbookBuilder::FormulaText> formula;
    std::int32_t colShift;
    bool asDate;
  };
  WorkbookBuilder& book_;
  int sheet_ = -1;
  std::int64_t row_ = 0, col_ = 0, rowRepeat_ = 1;
  std::vector<Filled> filled_;
};

std::shared_ptr<Workbook> readContent(XmlReader& x, const std::string& fileName, SheetLimits limits) {
  WorkbookBuilder book(fileName, limits);
  try {
    ContentReader(book).read(x);
  } catch (const Damage& d) {
    refuse(fileName, "the file is damaged: " + d.what);
  } catch (const WorkbookFileError&) {
    throw;
  } catch (const std::runtime_error& e) {
    refuse(fileName, std::string("the file is damaged: the sheet content: ") + e.what());
  }
  if (book.sheetCount() == 0) refuse(fileName, "the file holds no worksheet");
  return book.finish();
}

}  // namespace

std::shared_ptr<Workbook> readOdsContent(std::string_view contentXml, const std::string& fileName,
                                         SheetLimits limits) {
  XmlReader x(contentXml);
  return readContent(x, fileName, limits);
}

std::shared_ptr<Workbook> readOds(const ZipArchive& zip, const std::string& fileName, SheetLimits limits) {
  try {
    if (zip.has("mimetype")) {
      const std::string mime = zip.readAll("mimetype", 256);
      if (!mime.starts_with("application/vnd.oasis.opendocument.spreadsheet"))
        refuse(fileName, "the file is not an .ods workbook");
    }
    if (!zip.has("content.xml")) refuse(fileName, "the file is not an .ods workbook");
    auto stream = zip.stream("content.xml");
    XmlReader x([&](char* b, std::size_t n) { return stream->read(b, n); });
    return readContent(x, fileName, limits);
  } catch (const WorkbookFileError&) {
    throw;
  } catch (const std::runtime_error& e) {
    refuse(fileName, std::string("the file is damaged: ") + e.what());
  }
}

}  // namespace host
