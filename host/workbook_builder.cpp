#include "host/workbook_builder.h"

#include <algorithm>

#include "platform/dispatch.h"

namespace host {

std::string groupedNumber(std::int64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  const std::size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  out += digits.substr(0, first);
  for (std::size_t i = first; i < digits.size(); i += 3) out += "," + digits.substr(i, 3);
  return out;
}

void refuse(const std::string& fileName, const std::string& why) {
  throw WorkbookFileError("Cannot open \"" + fileName + "\": " + why + ".");
}

WorkbookBuilder::WorkbookBuilder(std::string fileName, SheetLimits limits)
    : fileName_(std::move(fileName)),
      limits_(limits),
      workbook_(std::make_shared<Workbook>(fileName_, limits)) {}

int WorkbookBuilder::addSheet(std::string name) {
  if (workbook_->sheetCount() >= kMaxSheets)
    refuse(fileName_, "the workbook has more than " + groupedNumber(kMaxSheets) + " sheets");
  if (name.empty() || workbook_->findSheet(name)) {
    int n = workbook_->sheetCount() + 1;
    do name = "Sheet" + std::to_string(n++);
    while (workbook_->findSheet(name));
  }
  workbook_->addSheet(std::move(name));
  columnEnds_.emplace_back();
  return workbook_->sheetCount() - 1;
}

void WorkbookBuilder::restartSheet(int s) {
  Sheet& sheet = workbook_->sheet(s);
  sheet = Sheet(sheet.name(), sheet.limits());
  columnEnds_[static_cast<std::size_t>(s)].clear();
  std::erase_if(pending_, [s](const auto& entry) { return static_cast<int>(entry.first >> 44) == s; });
  std::erase_if(order_, [s](std::uint64_t k) { return static_cast<int>(k >> 44) == s; });
}

void WorkbookBuilder::beyondLimits(bool rows) const {
  if (rows) refuse(fileName_, "the sheet has more than " + groupedNumber(limits_.rows) + " rows");
  refuse(fileName_, "the sheet has more than " + groupedNumber(limits_.cols) + " columns");
}

void WorkbookBuilder::checkInside(int, std::int64_t row, std::int64_t col) const {
  if (row > limits_.rows) beyondLimits(true);
  if (col > limits_.cols) beyondLimits(false);
}

Sheet& WorkbookBuilder::at(int sheet, std::int64_t row, std::int64_t col) {
  checkInside(sheet, row, col);
  auto& ends = columnEnds_[static_cast<std::size_t>(sheet)];
  if (ends.size() < static_cast<std::size_t>(col)) ends.resize(static_cast<std::size_t>(col), 0);
  auto& end = ends[static_cast<std::size_t>(col - 1)];
  if (end < row) end = static_cast<std::int32_t>(row);
  if (row < lowestRow_) lowestRow_ = row;
  return workbook_->sheet(sheet);
}

bool WorkbookBuilder::appendRows(int sheet, WorkbookBuilder&& lower) {
  if (lower.sheetCount() != 1 || !lower.pending_.empty()) return false;
  auto& ends = columnEnds_[static_cast<std::size_t>(sheet)];
  std::int32_t last = 0;
  for (const std::int32_t end : ends) last = std::max(last, end);
  if (lower.lowestRow_ <= last) return false;
  workbook_->sheet(sheet).mergeFrom(std::move(lower.workbook_->sheet(0)));
  const auto& theirs = lower.columnEnds_[0];
  if (ends.size() < theirs.size()) ends.resize(theirs.size(), 0);
  for (std::size_t c = 0; c < theirs.size(); ++c) ends[c] = std::max(ends[c], theirs[c]);
  return true;
}

void WorkbookBuilder::setNumber(int s, std::int64_t r, std::int64_t c, double v) {
  at(s, r, c).setNumber(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c), v);
}
void WorkbookBuilder::setDate(int s, std::int64_t r, std::int64_t c, double d) {
  at(s, r, c).setDate(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c), d);
}
void WorkbookBuilder::setBoolean(int s, std::int64_t r, std::int64_t c, bool v) {
  at(s, r, c).setBoolean(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c), v);
}
void WorkbookBuilder::setError(int s, std::int64_t r, std::int64_t c, std::int32_t code) {
  at(s, r, c).setError(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c), code);
}
void WorkbookBuilder::setText(int s, std::int64_t r, std::int64_t c, std::string text) {
  Sheet& sheet = at(s, r, c);
  if (text.size() > kMaxCellTextBytes)
    refuse(fileName_, "cell " + cellName(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)) +
                          " holds a text longer than " + groupedNumber(kMaxCellTextBytes) + " bytes");
  if (!text.empty())
    sheet.setText(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c), std::move(text));
}

void WorkbookBuilder::setValue(int s, std::int64_t r, std::int64_t c, const FormulaValue& v, bool asDate) {
  switch (v.kind) {
    case CellKind::Number:
    case CellKind::Date:
      if (asDate || v.kind == CellKind::Date)
        setDate(s, r, c, v.number);
      else
        setNumber(s, r, c, v.number);
      break;
    case CellKind::Text:
      setText(s, r, c, v.text);
      break;
    case CellKind::Boolean:
      setBoolean(s, r, c, v.number != 0);
      break;
    case CellKind::Error:
      setError(s, r, c, static_cast<std::int32_t>(v.number));
      break;
    case CellKind::Empty:
      break;
  }
}

void WorkbookBuilder::copyCell(int s, std::int32_t fromRow, std::int32_t col, std::int64_t toRow) {
  const Sheet& sheet = workbook_->sheet(s);
  switch (sheet.kind(fromRow, col)) {
    case CellKind::Empty:
      break;
    case CellKind::Number:
      setNumber(s, toRow, col, sheet.number(fromRow, col));
      break;
    case CellKind::Text:
      setText(s, toRow, col, sheet.text(fromRow, col));
      break;
    case CellKind::Boolean:
      setBoolean(s, toRow, col, sheet.number(fromRow, col) != 0);
      break;
    case CellKind::Date:
      setDate(s, toRow, col, sheet.number(fromRow, col));
      break;
    case CellKind::Error:
      setError(s, toRow, col, static_cast<std::int32_t>(sheet.number(fromRow, col)));
      break;
  }
}

std::shared_ptr<const WorkbookBuilder::FormulaText> WorkbookBuilder::formulaText(std::string text,
                                                                                 FormulaGrammar grammar) {
  auto& slot = texts_[text];
  if (!slot) slot = std::make_shared<const FormulaText>(FormulaText{std::move(text), grammar});
  return slot;
}

void WorkbookBuilder::addFormula(int s, std::int64_t row, std::int64_t col,
                                 std::shared_ptr<const FormulaText> text, std::int32_t rowShift,
                                 std::int32_t colShift, bool asDate, std::optional<FormulaValue> fallback) {
  at(s, row, col);
  const std::uint64_t k = key(s, static_cast<std::int32_t>(row), static_cast<std::int32_t>(col));
  Pending p;
  p.text = std::move(text);
  p.rowShift = rowShift;
  p.colShift = colShift;
  p.asDate = asDate;
  p.fallback = std::move(fallback);
  const auto [it, inserted] = pending_.insert_or_assign(k, std::move(p));
  if (inserted) order_.push_back(k);
}

int WorkbookBuilder::sheetIndex(std::string_view name) const {
  for (int i = 0; i < workbook_->sheetCount(); ++i)
    if (platform::equalsNoCase(workbook_->sheet(i).name(), name)) return i;
  return -1;
}

FormulaValue WorkbookBuilder::stored(int s, std::int32_t row, std::int32_t col) const {
  const Sheet& sheet = workbook_->sheet(s);
  FormulaValue v;
  v.kind = sheet.kind(row, col);
  if (v.kind == CellKind::Text)
    v.text = sheet.text(row, col);
  else if (v.kind != CellKind::Empty)
    v.number = sheet.number(row, col);
  if (v.kind == CellKind::Date) v.kind = CellKind::Number;
  return v;
}

void WorkbookBuilder::calculate(std::uint64_t k, Pending& p) {
  const int s = static_cast<int>(k >> 44);
  const auto row = static_cast<std::int32_t>((k >> 16) & 0xFFFFFFF);
  const auto col = static_cast<std::int32_t>(k & 0xFFFF);
  p.state = Pending::State::Running;
  FormulaValue v;
  bool uncalculable = true;
  if (chain_ >= kMaxFormulaChain) {
    v = FormulaValue::ofError(kErrorValue);
  } else {
    ++chain_;
    struct Unwind {
      int& chain;
      ~Unwind() { --chain; }
    } unwind{chain_};
    v = evaluateFormula(p.text->text, p.text->grammar, s, *this, p.rowShift, p.colShift, &uncalculable);
  }
  if (uncalculable && p.fallback) v = *p.fallback;
  p.state = Pending::State::Done;
  Sheet& sheet = workbook_->sheet(s);
  sheet.clear(row, col);
  setValue(s, row, col, v, p.asDate);
}

FormulaValue WorkbookBuilder::cell(int s, std::int32_t row, std::int32_t col) {
  if (s < 0 || s >= workbook_->sheetCount()) return FormulaValue::ofError(kErrorRef);
  if (!pending_.empty()) {
    const std::uint64_t k = key(s, row, col);
    if (const auto it = pending_.find(k); it != pending_.end()) {
      if (it->second.state == Pending::State::Running) return FormulaValue::ofError(kErrorValue);  // circular
      if (it->second.state == Pending::State::Waiting) calculate(k, it->second);
    }
  }
  return stored(s, row, col);
}

void WorkbookBuilder::forEach(const FormulaRange& range,
                              const std::function<bool(const FormulaValue&)>& visit) {
  if (range.sheet < 0 || range.sheet >= workbook_->sheetCount()) return;
  const auto& ends = columnEnds_[static_cast<std::size_t>(range.sheet)];
  const Sheet& sheet = workbook_->sheet(range.sheet);
  for (std::int32_t c = range.left; c <= range.right && static_cast<std::size_t>(c) <= ends.size(); ++c) {
    const std::int32_t last = std::min(range.bottom, ends[static_cast<std::size_t>(c - 1)]);
    for (std::int32_t r = range.top; r <= last; ++r) {
      spend(1);
      if (pending_.empty() && sheet.kind(r, c) == CellKind::Empty) continue;
      const FormulaValue v = cell(range.sheet, r, c);
      if (v.kind == CellKind::Empty) continue;
      if (!visit(v)) return;
    }
  }
}

void WorkbookBuilder::spend(std::uint64_t units) {
  spent_ += units;
  if (spent_ > kFormulaBudget) throw FormulaBudgetExceeded{};
}

std::shared_ptr<Workbook> WorkbookBuilder::finish() {
  for (const std::uint64_t k : order_) {
    Pending& p = pending_.at(k);
    if (p.state != Pending::State::Waiting) continue;
    try {
      calculate(k, p);
    } catch (const FormulaBudgetExceeded&) {
      // Out of time: every formula not yet calculated shows its stored result or #VALUE!.
      chain_ = 0;
      for (auto& [key2, q] : pending_) {
        if (q.state == Pending::State::Done) continue;
        q.state = Pending::State::Done;
        const int s = static_cast<int>(key2 >> 44);
        const auto row = static_cast<std::int32_t>((key2 >> 16) & 0xFFFFFFF);
        const auto col = static_cast<std::int32_t>(key2 & 0xFFFF);
        workbook_->sheet(s).clear(row, col);
        setValue(s, row, col, q.fallback.value_or(FormulaValue::ofError(kErrorValue)), q.asDate);
      }
      break;
    }
  }
  pending_.clear();
  return workbook_;
}

}  // namespace host
