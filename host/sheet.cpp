#include "host/sheet.h"

#include <algorithm>
#include <stdexcept>

#include "platform/dispatch.h"

namespace host {

namespace {

struct ErrorName {
  std::int32_t code;
  std::string_view text;
};
constexpr ErrorName kErrorNames[] = {
    {kErrorNull, "#NULL!"}, {kErrorDiv0, "#DIV/0!"}, {kErrorValue, "#VALUE!"}, {kErrorRef, "#REF!"},
    {kErrorName, "#NAME?"}, {kErrorNum, "#NUM!"},    {kErrorNA, "#N/A"}};

const std::string kNoText;

// The spreadsheet error number inside a VT_ERROR code; #VALUE! for codes of other origins.
std::int32_t errorNumber(std::int32_t scode) {
  const std::int64_t n = static_cast<std::int64_t>(scode) - platform::kSpreadsheetErrorBase;
  for (const auto& e : kErrorNames)
    if (e.code == n) return e.code;
  return kErrorValue;
}

}  // namespace

std::string_view errorText(std::int32_t code) {
  for (const auto& e : kErrorNames)
    if (e.code == code) return e.text;
  return "#VALUE!";
}

std::optional<std::int32_t> errorFromText(std::string_view text) {
  for (const auto& e : kErrorNames)
    if (platform::equalsNoCase(e.text, text)) return e.code;
  return std::nullopt;
}

Sheet::Sheet(std::string name, SheetLimits limits) : name_(std::move(name)), limits_(limits) {}

CellKind Sheet::kind(std::int32_t row, std::int32_t col) const {
  if (col < 1 || static_cast<std::size_t>(col) > columns_.size() || row < 1) return CellKind::Empty;
  const Column& c = columns_[col - 1];
  return static_cast<std::size_t>(row) <= c.kinds.size() ? c.kinds[row - 1] : CellKind::Empty;
}

double Sheet::number(std::int32_t row, std::int32_t col) const {
  return kind(row, col) == CellKind::Empty ? 0.0 : columns_[col - 1].numbers[row - 1];
}

const std::string& Sheet::text(std::int32_t row, std::int32_t col) const {
  if (kind(row, col) != CellKind::Text) return kNoText;
  return columns_[col - 1].texts.at(row - 1);
}

platform::Variant Sheet::value(std::int32_t row, std::int32_t col) const {
  switch (kind(row, col)) {
    case CellKind::Number:
      return platform::Variant(number(row, col));
    case CellKind::Date:
      return platform::Variant::date(number(row, col));
    case CellKind::Boolean:
      return platform::Variant::boolean(number(row, col) != 0);
    case CellKind::Error:
      return platform::Variant::error(platform::kSpreadsheetErrorBase +
                                      static_cast<std::int32_t>(number(row, col)));
    case CellKind::Text:
      return platform::Variant(text(row, col));
    case CellKind::Empty:
      break;
  }
  return platform::Variant();
}

Sheet::Column& Sheet::writableColumn(std::int32_t row, std::int32_t col) {
  if (!contains(row, col))
    throw std::out_of_range("cell " + cellName(row, col) + " is outside the sheet " + name_);
  if (columns_.size() < static_cast<std::size_t>(col)) columns_.resize(col);
  Column& c = columns_[col - 1];
  if (c.kinds.size() < static_cast<std::size_t>(row)) {
    c.kinds.resize(row, CellKind::Empty);
    c.numbers.resize(row, 0.0);
  }
  return c;
}

bool Sheet::storable(const platform::Variant& value) {
  using namespace platform;
  switch (value.vt()) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UI1:
      return true;
    default:
      return false;
  }
}

void Sheet::store(Column& c, std::size_t i, const platform::Variant& value) {
  using namespace platform;
  if (c.kinds[i] == CellKind::Text) c.texts.erase(static_cast<std::int32_t>(i));
  CellKind kind = CellKind::Number;
  double number = 0;
  switch (value.vt()) {
    case VT_I2:
      number = value.iVal();
      break;
    case VT_I4:
      number = value.lVal();
      break;
    case VT_R4:
      number = value.fltVal();
      break;
    case VT_R8:
      number = value.dblVal();
      break;
    case VT_UI1:
      number = value.bVal();
      break;
    case VT_CY:
      number = static_cast<double>(value.cyVal()) / kCurrencyScale;
      break;
    case VT_DATE:
      kind = CellKind::Date;
      number = value.dateVal();
      break;
    case VT_BOOL:
      kind = CellKind::Boolean;
      number = value.boolVal() ? 1 : 0;
      break;
    case VT_ERROR:
      kind = CellKind::Error;
      number = errorNumber(value.scode());
      break;
    case VT_BSTR:
      if (value.bstrVal().empty()) {
        kind = CellKind::Empty;
      } else {
        kind = CellKind::Text;
        c.texts[static_cast<std::int32_t>(i)] = value.bstrVal();
      }
      break;
    default:
      kind = CellKind::Empty;
      break;
  }
  c.kinds[i] = kind;
  c.numbers[i] = number;
}

bool Sheet::setValue(std::int32_t row, std::int32_t col, const platform::Variant& value) {
  if (!storable(value)) return false;
  if ((value.vt() == platform::VT_EMPTY || value.vt() == platform::VT_NULL) &&
      kind(row, col) == CellKind::Empty) {
    if (!contains(row, col))
      throw std::out_of_range("cell " + cellName(row, col) + " is outside the sheet " + name_);
    return true;  // nothing to clear; do not grow the column for it
  }
  Column& c = writableColumn(row, col);
  store(c, static_cast<std::size_t>(row - 1), value);
  return true;
}

void Sheet::setNumber(std::int32_t row, std::int32_t col, double value) {
  storeNumber(row, col, CellKind::Number, value);
}

void Sheet::setDate(std::int32_t row, std::int32_t col, double oleDate) {
  storeNumber(row, col, CellKind::Date, oleDate);
}

void Sheet::storeNumber(std::int32_t row, std::int32_t col, CellKind kind, double value) {
  Column& c = writableColumn(row, col);
  const auto i = static_cast<std::size_t>(row - 1);
  if (c.kinds[i] == CellKind::Text) c.texts.erase(static_cast<std::int32_t>(i));
  c.kinds[i] = kind;
  c.numbers[i] = value;
}

void Sheet::setBoolean(std::int32_t row, std::int32_t col, bool value) {
  setValue(row, col, platform::Variant::boolean(value));
}

void Sheet::setError(std::int32_t row, std::int32_t col, std::int32_t code) {
  setValue(row, col, platform::Variant::error(platform::kSpreadsheetErrorBase + code));
}

void Sheet::setText(std::int32_t row, std::int32_t col, std::string text) {
  setValue(row, col, platform::Variant(std::string_view(text)));
}

void Sheet::clear(std::int32_t row, std::int32_t col) {
  setValue(row, col, platform::Variant());
}

bool Sheet::assignBlock(const CellArea& area, const platform::SafeArray& block) {
  if (!contains(area.top, area.left) || !contains(area.bottom, area.right) || area.top > area.bottom ||
      area.left > area.right)
    return false;
  for (const auto& v : block.elements())
    if (!storable(v)) return false;
  const platform::Variant notAvailable = platform::Variant::error(platform::kSpreadsheetErrorBase + kErrorNA);
  // As a spreadsheet assigns a smaller array to a block: a one-dimensional array is a row; a
  // single row is repeated down the block and a single column across it; any other cell past
  // the array's edge gets #N/A.
  const bool flat = block.dims() == 1;
  const std::uint32_t blockRows = flat ? 1 : block.rows();
  const std::uint32_t blockCols = flat ? block.rows() : block.cols();
  for (std::int32_t col = area.left; col <= area.right; ++col) {
    Column& c = writableColumn(area.bottom, col);
    const std::uint32_t j = static_cast<std::uint32_t>(col - area.left);
    const std::uint32_t k = blockCols == 1 ? 0 : j;
    for (std::int32_t row = area.top; row <= area.bottom; ++row) {
      const std::uint32_t i = static_cast<std::uint32_t>(row - area.top);
      const std::uint32_t r = blockRows == 1 ? 0 : i;
      const bool inside = r < blockRows && k < blockCols;
      store(c, static_cast<std::size_t>(row - 1),
            !inside ? notAvailable : flat ? block.at(k, 0) : block.at(r, k));
    }
  }
  return true;
}

std::span<const CellKind> Sheet::columnKinds(std::int32_t col) const {
  if (col < 1 || static_cast<std::size_t>(col) > columns_.size()) return {};
  return columns_[col - 1].kinds;
}

std::span<const double> Sheet::columnNumbers(std::int32_t col) const {
  if (col < 1 || static_cast<std::size_t>(col) > columns_.size()) return {};
  return columns_[col - 1].numbers;
}

void Sheet::setColumn(std::int32_t col, std::vector<CellKind> kinds, std::vector<double> numbers,
                      std::unordered_map<std::int32_t, std::string> texts) {
  if (col < 1 || col > limits_.cols || kinds.size() != numbers.size() ||
      kinds.size() > static_cast<std::size_t>(limits_.rows))
    throw std::invalid_argument("a column that does not fit the sheet " + name_);
  std::size_t textCells = 0;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (kinds[i] > CellKind::Error)
      throw std::invalid_argument("a cell of no known kind in the sheet " + name_);
    if (kinds[i] == CellKind::Empty) numbers[i] = 0;
    if (kinds[i] != CellKind::Text) continue;
    numbers[i] = 0;
    const auto it = texts.find(static_cast<std::int32_t>(i));
    if (it == texts.end() || it->second.empty())
      throw std::invalid_argument("a text cell without its text in the sheet " + name_);
    ++textCells;
  }
  if (textCells != texts.size())
    throw std::invalid_argument("a text for a cell that holds none in the sheet " + name_);
  if (columns_.size() < static_cast<std::size_t>(col)) columns_.resize(col);
  Column& c = columns_[col - 1];
  c.kinds = std::move(kinds);
  c.numbers = std::move(numbers);
  c.texts = std::move(texts);
}

void Sheet::mergeFrom(Sheet&& other) {
  if (columns_.size() < other.columns_.size()) columns_.resize(other.columns_.size());
  for (std::size_t col = 0; col < other.columns_.size(); ++col) {
    Column& mine = columns_[col];
    Column& theirs = other.columns_[col];
    // The cells of the shorter column go into the longer one, which is kept.
    if (mine.kinds.size() < theirs.kinds.size()) std::swap(mine, theirs);
    for (std::size_t i = 0; i < theirs.kinds.size(); ++i) {
      if (theirs.kinds[i] == CellKind::Empty) continue;
      mine.kinds[i] = theirs.kinds[i];
      mine.numbers[i] = theirs.numbers[i];
    }
    mine.texts.merge(theirs.texts);
    theirs = Column();
  }
  other.columns_.clear();
}

std::optional<CellArea> Sheet::usedArea() const {
  std::optional<CellArea> area;
  for (std::size_t col = 0; col < columns_.size(); ++col) {
    const auto& kinds = columns_[col].kinds;
    std::size_t first = 0;
    while (first < kinds.size() && kinds[first] == CellKind::Empty) ++first;
    if (first == kinds.size()) continue;
    std::size_t last = kinds.size() - 1;
    while (kinds[last] == CellKind::Empty) --last;
    const auto c = static_cast<std::int32_t>(col + 1);
    const auto top = static_cast<std::int32_t>(first + 1), bottom = static_cast<std::int32_t>(last + 1);
    if (!area) {
      area = CellArea{top, c, bottom, c};
    } else {
      area->top = std::min(area->top, top);
      area->bottom = std::max(area->bottom, bottom);
      area->right = c;
    }
  }
  return area;
}

}  // namespace host
