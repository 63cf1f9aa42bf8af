// Reading .xlsx packages: the workbook part, its relationships, shared strings, the number
// formats of the cell styles and each worksheet, streamed through the XML reader.
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/number_text.h"
#include "host/workbook_builder.h"
#include "host/xlsx_sheet_scanner.h"
#include "host/xml_reader.h"
#include "host/zip_archive.h"
#include "platform/dispatch.h"

namespace host {

namespace {

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictMainNs = "http://purl.oclc.org/ooxml/spreadsheetml/main";
constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRelNs = "http://purl.oclc.org/ooxml/officeDocument/relationships";
// Days from the 1904 system's day 0 (1 January 1904) to the 1900 system's day 0.
constexpr double k1904Offset = 1462;

bool mainNs(const XmlReader& x) {
  return x.ns() == kMainNs || x.ns() == kStrictMainNs;
}

// A damaged part: the reason names the part and what was wrong.
struct Damage {
  std::string what;
};

// The folder of a part name ("xl/worksheets/sheet1.xml" -> "xl/worksheets/").
std::string folderOf(const std::string& part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target resolved against the folder of its source part.
std::string resolve(const std::string& folder, std::string_view target) {
  std::string path = target.starts_with('/') ? std::string(target.substr(1)) : folder + std::string(target);
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::string piece =
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

struct Relationship {
  std::string type;  // the last segment of the type URI ("worksheet", "sharedStrings")
  std::string target;
};

std::unordered_map<std::string, Relationship> readRelationships(const ZipArchive& zip,
                                                                const std::string& part) {
  std::unordered_map<std::string, Relationship> rels;
  const std::string relsPart = folderOf(part) + "_rels/" + part.substr(folderOf(part).size()) + ".rels";
  if (!zip.has(relsPart)) return rels;
  const std::string text = zip.readAll(relsPart);
  XmlReader x(text);
  for (XmlReader::Node n; (n = x.next()) != XmlReader::Node::Done;) {
    if (n != XmlReader::Node::Start || x.name() != "Relationship") continue;
    const auto id = x.attribute("Id");
    const auto type = x.attribute("Type");
    const auto target = x.attribute("Target");
    if (!id || !type || !target) continue;
    if (x.attribute("TargetMode") == std::optional<std::string_view>("External")) continue;
    const std::size_t slash = type->rfind('/');
    rels[std::string(*id)] = {std::string(type->substr(slash == std::string_view::npos ? 0 : slash + 1)),
                              resolve(folderOf(part), *target)};
  }
  return rels;
}

// Text of a string item (<si>, <is>): its <t> and its rich-text runs' <t>, without the
// phonetic runs (<rPh>).
std::string stringItem(XmlReader& x) {
  std::string text;
  if (x.empty()) return text;
  const int depth = x.depth();
  bool inT = false;
  for (;;) {
    const XmlReader::Node n = x.next();
    if (n == XmlReader::Node::Done) throw Damage{"a text ends early"};
    if (n == XmlReader::Node::End && x.depth() == depth) break;
    if (n == XmlReader::Node::Start) {
      if (x.name() == "rPh") {
        x.skipElement();
      } else if (x.name() == "t" && !x.empty()) {
        inT = true;
      }
    } else if (n == XmlReader::Node::End && x.name() == "t") {
      inT = false;
    } else if (n == XmlReader::Node::Text && inT) {
      text += x.text();
    }
  }
  return decodeXlsxEscapes(text);
}

std::vector<std::string> readSharedStrings(const ZipArchive& zip, const std::string& part) {
  std::vector<std::string> strings;
  if (part.empty() || !zip.has(part)) return strings;
  auto stream = zip.stream(part, kMaxZipTextSize);
  XmlReader x([&](char* b, std::size_t n) { return stream->read(b, n); });
  for (XmlReader::Node n; (n = x.next()) != XmlReader::Node::Done;)
    if (n == XmlReader::Node::Start && x.name() == "si") strings.push_back(stringItem(x));
  return strings;
}

// What a cell style's number format shows: a plain number, a date (with or without a time
// of day) or a time alone, which has no date to move between the date systems.
enum class StyleKind : std::uint8_t { Number, Date, Time };

// Date letters outside quoted text, escapes and colour or locale brackets make a date; time
// letters alone a time; "m" without a time is the month. The first section decides.
StyleKind formatCodeKind(std::string_view code) {
  if (platform::equalsNoCase(code, "General")) return StyleKind::Number;
  bool date = false, time = false, month = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      i = code.find('"', i + 1);
      if (i == std::string_view::npos) break;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      const std::size_t end = code.find(']', i);
      if (end == std::string_view::npos) break;
      const std::string_view inside = code.substr(i + 1, end - i - 1);
      // Elapsed-time fields ([h], [mm], [ss]) are times; colours and locales are not.
      if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) time = true;
      i = end;
    } else if (c == ';') {
      break;
    } else if (std::string_view("dDyYeE").find(c) != std::string_view::npos) {
      date = true;
    } else if (std::string_view("hHsS").find(c) != std::string_view::npos) {
      time = true;
    } else if (c == 'm' || c == 'M') {
      month = true;
    }
  }
  if (date || (month && !time)) return StyleKind::Date;
  return time ? StyleKind::Time : StyleKind::Number;
}

// The built-in number formats that show dates (14-17, 22) or times (18-21, 45-47).
StyleKind builtInKind(long id) {
  if ((id >= 14 && id <= 17) || id == 22) return StyleKind::Date;
  if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) return StyleKind::Time;
  return StyleKind::Number;
}

// A cell's number. Numbers as spreadsheets write them ("-12.5", "1E-3") go straight to
// from_chars, which rounds exactly; anything else (a '+', spaces, "inf") takes the full grammar
// of parseNumber, which reads what both accept through from_chars as well.
std::optional<double> cellNumber(std::string_view v) {
  const char* begin = v.data();
  const char* end = begin + v.size();
  const char* digit = begin < end && *begin == '-' ? begin + 1 : begin;
  if (digit < end && *digit >= '0' && *digit <= '9') {
    double x = 0;
    const auto [stop, ec] = std::from_chars(begin, end, x);
    if (ec == std::errc() && stop == end && std::isfinite(x)) return x;
  }
  return parseNumber(v);
}

long toLong(std::optional<std::string_view> s, long fallback) {
  if (!s) return fallback;
  long v = 0;
  const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), v);
  return ec == std::errc() ? v : fallback;
}

// For each cell style (cellXfs index) what its number format shows.
std::vector<StyleKind> readStyleKinds(const ZipArchive& zip, const std::string& part) {
  std::vector<StyleKind> kinds;
  if (part.empty() || !zip.has(part)) return kinds;
  const std::string text = zip.readAll(part);
  XmlReader x(text);
  std::unordered_map<long, StyleKind> custom;
  bool inCellXfs = false;
  for (XmlReader::Node n; (n = x.next()) != XmlReader::Node::Done;) {
    if (n == XmlReader::Node::End && x.name() == "cellXfs") inCellXfs = false;
    if (n != XmlReader::Node::Start) continue;
    if (x.name() == "numFmt") {
      custom[toLong(x.attribute("numFmtId"), -1)] = formatCodeKind(x.attribute("formatCode").value_or(""));
    } else if (x.name() == "cellXfs") {
      inCellXfs = !x.empty();
    } else if (x.name() == "xf" && inCellXfs) {
      const long id = toLong(x.attribute("numFmtId"), 0);
      const auto it = custom.find(id);
      kinds.push_back(it != custom.end() ? it->second : builtInKind(id));
      if (kinds.size() > 1'000'000) throw Damage{"the styles hold too many cell formats"};
    }
  }
  return kinds;
}

// "B7" -> row 7, column 2; false unless letters then digits.
bool cellRef(std::string_view s, std::int64_t& row, std::int64_t& col) {
  std::size_t i = 0;
  col = 0;
  while (i < s.size() && ((s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z')) && i < 4)
    col = col * 26 + ((s[i] | 0x20) - 'a' + 1), ++i;
  if (i == 0) return false;
  const std::size_t digits = i;
  row = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - digits < 8) row = row * 10 + (s[i] - '0'), ++i;
  return i == s.size() && i > digits && row >= 1;
}

std::string cellLabel(std::int64_t row, std::int64_t col) {
  if (row >= 1 && col >= 1 && row <= 1048576 && col <= 16384)
    return cellName(static_cast<std::int32_t>(row), static_cast<std::int32_t>(col));
  return "R" + std::to_string(row) + "C" + std::to_string(col);
}

// A cell the lower part of a sheet read in two parts cannot place on its own (a formula, a row
// numbered by the rows before it): that part is read again after the upper one.
struct NotOnItsOwn {};

struct SharedFormula {
  std::shared_ptr<const WorkbookBuilder::FormulaText> text;
  std::int64_t row = 0, col = 0;
};

// Places the cells of one worksheet, from either reader: the scanner's cells, or the general
// reader's (read(), for parts the scanner declines).
class SheetReader final : public ScannedSheetSink {
 public:
  // With onItsOwn, the reader of the lower part of a sheet read in two parts: it refuses what
  // depends on the rows above (NotOnItsOwn).
  SheetReader(WorkbookBuilder& book, int sheet, const std::vector<std::string>& strings,
              const std::vector<StyleKind>& styles, double dateOffset, bool recalculate,
              bool onItsOwn = false)
      : book_(book),
        sheet_(sheet),
        strings_(strings),
        styles_(styles),
        dateOffset_(dateOffset),
        recalculate_(recalculate),
        onItsOwn_(onItsOwn) {}

  void read(XmlReader& x) {
    for (XmlReader::Node n; (n = x.next()) != XmlReader::Node::Done;) {
      if (n != XmlReader::Node::Start || !mainNs(x)) continue;
      if (x.name() == "row") {
        row(x.attribute("r"));
      } else if (x.name() == "c") {
        readCell(x);
      }
    }
  }

  void row(std::optional<std::string_view> number) override {
    if (onItsOwn_ && row_ == 0 && !number) throw NotOnItsOwn{};
    row_ = toLong(number, row_ + 1);
    if (row_ < 1) throw Damage{"a row has the number " + std::to_string(row_)};
    col_ = 0;
  }

  void cell(const ScannedCell& c) override {
    if (onItsOwn_ && c.hasFormula) throw NotOnItsOwn{};
    std::int64_t row = row_, col = col_ + 1;
    if (c.ref) {
      if (!cellRef(*c.ref, row, col))
        throw Damage{"a cell has the reference \"" + std::string(c.ref->substr(0, 20)) + "\""};
    }
    if (row_ == 0) row_ = row;
    col_ = col;
    const std::string_view type = c.type.value_or("n");
    const long style = toLong(c.style, 0);
    const StyleKind styleKind =
        style >= 0 && static_cast<std::size_t>(style) < styles_.size() ? styles_[style] : StyleKind::Number;
    const bool asDate = styleKind != StyleKind::Number;
    // Times alone are the same in both date systems.
    const double offset = styleKind == StyleKind::Date ? dateOffset_ : 0.0;
    if (c.hasFormula && c.formulaType == "shared") {
      // The first cell of a shared formula carries its text; the others refer to it.
      if (c.formula && !c.formula->empty()) {
        shared_[std::string(c.shareIndex)] = {book_.formulaText(std::string(*c.formula), FormulaGrammar::A1),
                                              row, col};
      }
    }
    const bool stored = c.value.has_value() || c.inlineText.has_value();
    if (c.hasFormula && (!stored || recalculate_) && c.formulaType != "array" &&
        c.formulaType != "dataTable") {
      std::shared_ptr<const WorkbookBuilder::FormulaText> text;
      std::int32_t rowShift = 0, colShift = 0;
      if (c.formulaType == "shared") {
        if (const auto it = shared_.find(std::string(c.shareIndex)); it != shared_.end()) {
          text = it->second.text;
          rowShift = static_cast<std::int32_t>(row - it->second.row);
          colShift = static_cast<std::int32_t>(col - it->second.col);
        }
      } else if (c.formula) {
        text = book_.formulaText(std::string(*c.formula), FormulaGrammar::A1);
      }
      if (text) {
        std::optional<FormulaValue> fallback;
        if (stored) {
          fallback = storedValue(type, c.value, c.inlineText, row, col);
          if (asDate && type == "n" && fallback->kind == CellKind::Number) fallback->number += offset;
        }
        book_.addFormula(sheet_, row, col, std::move(text), rowShift, colShift, asDate, std::move(fallback));
        return;
      }
    }
    if (!stored) return;
    if (type == "n" && c.value && !c.value->empty()) {
      // The common case, a plain number, without a value object on the way.
      const auto n = cellNumber(*c.value);
      if (!n)
        throw Damage{where(row, col) + " holds \"" + std::string(c.value->substr(0, 40)) +
                     "\" where a number belongs"};
      if (asDate)
        book_.setDate(sheet_, row, col, *n + offset);
      else
        book_.setNumber(sheet_, row, col, *n);
      return;
    }
    FormulaValue v = storedValue(type, c.value, c.inlineText, row, col);
    if (asDate && type == "n" && v.kind == CellKind::Number) v.number += offset;
    if (type == "d") {
      if (v.kind == CellKind::Number)
        book_.setDate(sheet_, row, col, v.number);
      else
        book_.setValue(sheet_, row, col, v, false);
    } else {
      book_.setValue(sheet_, row, col, v, asDate && v.kind == CellKind::Number);
    }
  }

 private:
  // One <c> through the general reader, handed to cell() as the scanner hands it.
  void readCell(XmlReader& x) {
    std::optional<std::string> ref, type, style, value, formula, inlineText;
    const auto copy = [](std::optional<std::string_view> a) {
      return a ? std::optional<std::string>(std::string(*a)) : std::nullopt;
    };
    ref = copy(x.attribute("r"));
    type = copy(x.attribute("t"));
    style = copy(x.attribute("s"));
    std::string formulaType = "normal", shareIndex;
    bool hasFormula = false;
    if (!x.empty()) {
      const int depth = x.depth();
      for (;;) {
        const XmlReader::Node n = x.next();
        if (n == XmlReader::Node::Done) {
          std::int64_t row = row_, col = col_ + 1;
          if (ref) cellRef(*ref, row, col);
          throw Damage{"cell " + cellLabel(row, col) + " ends early"};
        }
        if (n == XmlReader::Node::End && x.depth() == depth) break;
        if (n != XmlReader::Node::Start) continue;
        if (x.name() == "v") {
          value = x.elementText();
        } else if (x.name() == "f") {
          hasFormula = true;
          formulaType = std::string(x.attribute("t").value_or("normal"));
          shareIndex = std::string(x.attribute("si").value_or(""));
          formula = x.elementText();
        } else if (x.name() == "is") {
          inlineText = stringItem(x);
        } else {
          x.skipElement();
        }
      }
    }
    const auto view = [](const std::optional<std::string>& a) {
      return a ? std::optional<std::string_view>(*a) : std::nullopt;
    };
    ScannedCell c;
    c.ref = view(ref);
    c.type = view(type);
    c.style = view(style);
    c.value = view(value);
    c.formula = view(formula);
    c.inlineText = view(inlineText);
    c.hasFormula = hasFormula;
    c.formulaType = formulaType;
    c.shareIndex = shareIndex;
    cell(c);
  }

  static std::string where(std::int64_t row, std::int64_t col) { return "cell " + cellLabel(row, col); }

  FormulaValue storedValue(std::string_view type, const std::optional<std::string_view>& value,
                           const std::optional<std::string_view>& inlineText, std::int64_t row,
                           std::int64_t col) {
    if (type == "inlineStr")
      return FormulaValue::ofText(std::string(inlineText.value_or(value.value_or(""))));
    const std::string_view v = value ? *value : inlineText.value();
    if (type == "s") {
      const long index = toLong(v, -1);
      if (index < 0 || static_cast<std::size_t>(index) >= strings_.size())
        throw Damage{where(row, col) + " refers to a text that does not exist"};
      return FormulaValue::ofText(strings_[static_cast<std::size_t>(index)]);
    }
    if (type == "str") return FormulaValue::ofText(decodeXlsxEscapes(v));
    if (type == "b") return FormulaValue::ofBoolean(v == "1" || platform::equalsNoCase(v, "true"));
    if (type == "e") return FormulaValue::ofError(errorFromText(v).value_or(kErrorValue));
    if (type == "d") {
      if (const auto d = parseIsoDate(v)) return FormulaValue::ofNumber(*d);
      throw Damage{where(row, col) + " holds \"" + std::string(v.substr(0, 40)) + "\" where a date belongs"};
    }
    if (type != "n")
      throw Damage{where(row, col) + " has the unknown type \"" + std::string(type.substr(0, 20)) + "\""};
    if (v.empty()) return {};
    const auto n = cellNumber(v);
    if (!n)
      throw Damage{where(row, col) + " holds \"" + std::string(v.substr(0, 40)) +
                   "\" where a number belongs"};
    return FormulaValue::ofNumber(*n);
  }

  WorkbookBuilder& book_;
  int sheet_;
  const std::vector<std::string>& strings_;
  const std::vector<StyleKind>& styles_;
  double dateOffset_;
  bool recalculate_;
  bool onItsOwn_;
  std::int64_t row_ = 0, col_ = 0;
  std::unordered_map<std::string, SharedFormula> shared_;
};

// Worksheet parts at least this large are taken apart on two threads.
constexpr std::size_t kTwoPartSheet = std::size_t{8} << 20;
// The share of such a part whose rows are taken apart while it is inflated. Inflating a full
// sheet takes about 0.45 of the time taking it apart does (I = 0.45 S); the upper scan takes
// share * S, the other thread I + (1 - share) * S, which are equal at (1 + 0.45) / 2.
constexpr double kUpperShare = 0.72;

struct SheetEntry {
  std::string name;
  std::string part;
};

}  // namespace

std::shared_ptr<Workbook> readXlsx(const ZipArchive& zip, const std::string& fileName, SheetLimits limits,
                                   XlsxSheetReading reading) {
  try {
    // The workbook part, named by the package's root relationships.
    std::string workbookPart = "xl/workbook.xml";
    for (const auto& [id, rel] : readRelationships(zip, ""))
      if (rel.type == "officeDocument") workbookPart = rel.target;
    if (!zip.has(workbookPart)) refuse(fileName, "the file is not an .xlsx workbook");
    const auto rels = readRelationships(zip, workbookPart);
    std::string stringsPart, stylesPart;
    for (const auto& [id, rel] : rels) {
      if (rel.type == "sharedStrings") stringsPart = rel.target;
      if (rel.type == "styles") stylesPart = rel.target;
    }

    std::vector<SheetEntry> sheets;
    bool date1904 = false, recalculate = false;
    int activeTab = 0;
    {
      const std::string text = zip.readAll(workbookPart);
      XmlReader x(text);
      for (XmlReader::Node n; (n = x.next()) != XmlReader::Node::Done;) {
        if (n != XmlReader::Node::Start) continue;
        if (x.name() == "workbookPr") {
          const auto v = x.attribute("date1904");
          date1904 =
              v == std::optional<std::string_view>("1") || v == std::optional<std::string_view>("true");
        } else if (x.name() == "calcPr") {
          const auto v = x.attribute("fullCalcOnLoad");
          recalculate =
              v == std::optional<std::string_view>("1") || v == std::optional<std::string_view>("true");
        } else if (x.name() == "workbookView") {
          activeTab = static_cast<int>(toLong(x.attribute("activeTab"), 0));
        } else if (x.name() == "sheet" && mainNs(x)) {
          auto id = x.attribute(kRelNs, "id");
          if (!id) id = x.attribute(kStrictRelNs, "id");
          if (!id) continue;
          const auto it = rels.find(std::string(*id));
          // Chart sheets and dialog sheets hold no cells.
          if (it == rels.end() || it->second.type != "worksheet") continue;
          if (sheets.size() >= static_cast<std::size_t>(kMaxSheets))
            refuse(fileName, "the workbook has more than " + groupedNumber(kMaxSheets) + " sheets");
          sheets.push_back({std::string(x.attribute("name").value_or("")), it->second.target});
        }
      }
    }
    if (sheets.empty()) refuse(fileName, "the file holds no worksheet");

    const std::vector<std::string> strings = readSharedStrings(zip, stringsPart);
    const std::vector<StyleKind> styles = readStyleKinds(zip, stylesPart);
    WorkbookBuilder book(fileName, limits);
    for (const SheetEntry& entry : sheets) {
      const int index = book.addSheet(entry.name);
      if (!zip.has(entry.part)) throw Damage{"the sheet \"" + entry.name + "\" is missing"};
      const double dateOffset = date1904 ? k1904Offset : 0.0;
      try {
        bool general = reading == XlsxSheetReading::General;
        if (!general) {
          try {
            // Inflated whole into memory and taken apart where it lies.
            ZipArchive::Bytes part = zip.room(entry.part);
            SheetReader reader(book, index, strings, styles, dateOffset, recalculate);
            if (part.size < kTwoPartSheet) {
              zip.inflateInto(entry.part, part, {});
              scanWorksheet(part.view(), reader);
            } else {
              // The upper rows taken apart while the part is inflated, the lower ones once it
              // is, into a builder of their own.
              WorkbookBuilder lowerBook(fileName, limits);
              lowerBook.addSheet(entry.name);
              SheetReader lower(lowerBook, 0, strings, styles, dateOffset, recalculate, true);
              const PartFiller inflate = [&](const std::function<void(std::size_t)>& ready) {
                zip.inflateInto(entry.part, part, ready);
              };
              if (scanWorksheetWhileFilled(part.view(), kUpperShare, inflate, reader, lower) &&
                  !book.appendRows(index, std::move(lowerBook))) {
                // Rows out of order: read once, in order.
                book.restartSheet(index);
                SheetReader again(book, index, strings, styles, dateOffset, recalculate);
                scanWorksheet(part.view(), again);
              }
            }
          } catch (const SheetScanDeclined&) {
            // XML the scanner leaves to the general reader: the sheet starts over.
            book.restartSheet(index);
            general = true;
          }
        }
        if (general) {
          auto stream = zip.stream(entry.part);
          XmlReader x([&](char* b, std::size_t n) { return stream->read(b, n); });
          SheetReader reader(book, index, strings, styles, dateOffset, recalculate);
          reader.read(x);
        }
      } catch (const Damage& d) {
        throw Damage{d.what + " in the sheet \"" + entry.name + "\""};
      } catch (const std::runtime_error& e) {
        if (dynamic_cast<const WorkbookFileError*>(&e)) throw;
        throw Damage{"the sheet \"" + entry.name + "\": " + e.what()};
      }
    }
    auto workbook = book.finish();
    if (activeTab >= 0 && activeTab < workbook->sheetCount()) workbook->activateSheet(activeTab);
    return workbook;
  } catch (const Damage& d) {
    refuse(fileName, "the file is damaged: " + d.what);
  } catch (const WorkbookFileError&) {
    throw;
  } catch (const std::runtime_error& e) {
    refuse(fileName, std::string("the file is damaged: ") + e.what());
  }
}

}  // namespace host
