#include "host/window/sheet_view.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <bit>
#include <cmath>

#include "host/window/cell_format.h"

namespace host {

namespace {

constexpr int kDefaultColumnWidth = 72;
constexpr int kMinimumColumnWidth = 40;
constexpr int kMaximumFittedWidth = 260;
// Space between a cell's border and its text, in pixels.
constexpr int kCellPadding = 3;
// Texts kept laid out for drawing: a few screens' worth.
constexpr qsizetype kTextCacheSize = 8192;
// Rows looked at when a column is fitted to its contents.
constexpr int kFitSampleRows = 200;

CellArea areaOf(const QItemSelectionRange& range) {
  return CellArea{range.top() + 1, range.left() + 1, range.bottom() + 1, range.right() + 1};
}

}  // namespace

SheetView::SheetView(std::shared_ptr<Sheet> sheet, QWidget* parent)
    : QTableView(parent), model_(new SheetModel(std::move(sheet), this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setWordWrap(false);
  setCornerButtonEnabled(true);
  setTabKeyNavigation(true);

  const QFontMetrics metrics(font());
  QHeaderView* rows = verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(metrics.height() + 6);
  rows->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("65536")) + 16);
  rows->setDefaultAlignment(Qt::AlignCenter);
  QHeaderView* cols = horizontalHeader();
  cols->setSectionResizeMode(QHeaderView::Interactive);
  cols->setDefaultSectionSize(
      std::max(kDefaultColumnWidth, metrics.horizontalAdvance(QStringLiteral("0")) * 10));
  cols->setDefaultAlignment(Qt::AlignCenter);
  cols->setHighlightSections(true);
  rows->setHighlightSections(true);
  // Heading letters are one-stroke glyphs centred at whatever fraction of a pixel the centre
  // falls on; unhinted, a stem is smeared grey over two pixel columns and the hook of a "J"
  // fades until it reads as "I". Hinted fully, stems and advances sit on whole pixels.
  for (QHeaderView* header : {rows, cols}) {
    QFont headerFont = header->font();
    headerFont.setHintingPreference(QFont::PreferFullHinting);
    header->setFont(headerFont);
  }

  QPalette colours = palette();
  colours.setColor(QPalette::Highlight, QColor(0xc6, 0xdb, 0xf2));
  colours.setColor(QPalette::HighlightedText, Qt::black);
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  setPalette(colours);

  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { mirrorSelection(); });
  setCurrentIndex(model_->index(0, 0));
  selectArea(model_->sheet()->selection());
}

std::vector<CellArea> SheetView::selectedAreas() const {
  std::vector<CellArea> areas;
  for (const QItemSelectionRange& range : selectionModel()->selection()) areas.push_back(areaOf(range));
  if (areas.empty()) {
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() + 1 : 1,
              col = current.isValid() ? current.column() + 1 : 1;
    areas.push_back(CellArea{row, col, row, col});
  }
  return areas;
}

CellArea SheetView::activeArea() const {
  const std::vector<CellArea> areas = selectedAreas();
  if (areas.size() == 1) return areas.front();
  // Blocks that together fill their bounding rectangle (a drag over several headers gives one
  // range per column) are one block.
  CellArea bounds = areas.front();
  long long cells = 0;
  for (const CellArea& a : areas) {
    bounds.top = std::min(bounds.top, a.top);
    bounds.left = std::min(bounds.left, a.left);
    bounds.bottom = std::max(bounds.bottom, a.bottom);
    bounds.right = std::max(bounds.right, a.right);
    cells += static_cast<long long>(a.rows()) * a.cols();
  }
  if (cells == static_cast<long long>(bounds.rows()) * bounds.cols()) return bounds;
  const QModelIndex current = currentIndex();
  for (const CellArea& a : areas)
    if (current.isValid() && current.row() + 1 >= a.top && current.row() + 1 <= a.bottom &&
        current.column() + 1 >= a.left && current.column() + 1 <= a.right)
      return a;
  return areas.back();
}

void SheetView::selectArea(const CellArea& area) {
  const QModelIndex topLeft = model_->index(area.top - 1, area.left - 1);
  const QModelIndex bottomRight = model_->index(area.bottom - 1, area.right - 1);
  if (!topLeft.isValid() || !bottomRight.isValid()) return;
  selectionModel()->setCurrentIndex(topLeft, QItemSelectionModel::NoUpdate);
  selectionModel()->select(QItemSelection(topLeft, bottomRight), QItemSelectionModel::ClearAndSelect);
  anchor_ = topLeft;
  mirrorSelection();
}

void SheetView::mirrorSelection() {
  model_->sheet()->select(activeArea());
  emit selectionAreasChanged();
}

void SheetView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  // The anchor of Shift extensions stays where the block began.
  if (!extending_ && !(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)) anchor_ = current;
  if (selectionModel()->selection().isEmpty()) mirrorSelection();
}

void SheetView::selectWholeColumns() {
  const int lastRow = model_->rowCount() - 1;
  QItemSelection columns;
  for (const CellArea& a : selectedAreas())
    columns.select(model_->index(0, a.left - 1), model_->index(lastRow, a.right - 1));
  selectionModel()->select(columns, QItemSelectionModel::ClearAndSelect);
}

void SheetView::selectWholeRows() {
  const int lastCol = model_->columnCount() - 1;
  QItemSelection rows;
  for (const CellArea& a : selectedAreas())
    rows.select(model_->index(a.top - 1, 0), model_->index(a.bottom - 1, lastCol));
  selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
}

void SheetView::jumpToDataEdge(int key, bool extend) {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return;
  const Sheet& sheet = *model_->sheet();
  const int dRow = key == Qt::Key_Down ? 1 : key == Qt::Key_Up ? -1 : 0;
  const int dCol = key == Qt::Key_Right ? 1 : key == Qt::Key_Left ? -1 : 0;
  const SheetLimits limits = sheet.limits();
  const auto filled = [&](int r, int c) { return sheet.kind(r, c) != CellKind::Empty; };
  const auto inside = [&](int r, int c) { return r >= 1 && c >= 1 && r <= limits.rows && c <= limits.cols; };
  int row = current.row() + 1, col = current.column() + 1;
  // Within a run of filled cells go to its last cell; otherwise to the next filled cell or the
  // sheet's edge.
  if (inside(row + dRow, col + dCol) && filled(row, col) && filled(row + dRow, col + dCol)) {
    while (inside(row + dRow, col + dCol) && filled(row + dRow, col + dCol)) row += dRow, col += dCol;
  } else {
    while (inside(row + dRow, col + dCol)) {
      row += dRow, col += dCol;
      if (filled(row, col)) break;
    }
  }
  const QModelIndex target = model_->index(row - 1, col - 1);
  if (extend && anchor_.isValid()) {
    extending_ = true;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    selectionModel()->select(QItemSelection(anchor_, target), QItemSelectionModel::ClearAndSelect);
    extending_ = false;
  } else {
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    anchor_ = target;
  }
  scrollTo(target);
}

void SheetView::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  const int key = event->key();
  if (state() != QAbstractItemView::EditingState) {
    if (key == Qt::Key_Space && mods == Qt::ControlModifier) {
      selectWholeColumns();
      return;
    }
    if (key == Qt::Key_Space && mods == Qt::ShiftModifier) {
      selectWholeRows();
      return;
    }
    if ((key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right) &&
        (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
      jumpToDataEdge(key, mods & Qt::ShiftModifier);
      return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
      const QModelIndex below = moveCursor(QAbstractItemView::MoveDown, Qt::NoModifier);
      if (below.isValid()) selectionModel()->setCurrentIndex(below, QItemSelectionModel::ClearAndSelect);
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

void SheetView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTableView::closeEditor(
      editor, hint == QAbstractItemDelegate::SubmitModelCache ? QAbstractItemDelegate::NoHint : hint);
  if (hint == QAbstractItemDelegate::SubmitModelCache) {
    // Enter in the editor commits the cell and moves down, as a spreadsheet does.
    const QModelIndex below = moveCursor(QAbstractItemView::MoveDown, Qt::NoModifier);
    if (below.isValid()) selectionModel()->setCurrentIndex(below, QItemSelectionModel::ClearAndSelect);
  }
}

SheetView::LaidOut SheetView::layOut(const QString& text) const {
  LaidOut out;
  out.plain = text;
  out.text.setText(text);
  out.text.setTextFormat(Qt::PlainText);
  out.text.setPerformanceHint(QStaticText::AggressiveCaching);
  out.text.prepare(QTransform(), font());
  out.width = static_cast<int>(std::ceil(out.text.size().width()));
  return out;
}

const SheetView::LaidOut& SheetView::laidOut(const QString& text) {
  auto found = textCache_.find(text);
  if (found != textCache_.end()) return *found;
  if (textCache_.size() >= kTextCacheSize) textCache_.clear();
  return *textCache_.insert(text, layOut(text));
}

const SheetView::LaidOut& SheetView::laidOutValue(const Sheet& sheet, std::int32_t row, std::int32_t col,
                                                  CellKind kind) {
  if (kind != CellKind::Number && kind != CellKind::Date)
    return laidOut(QString::fromStdString(displayText(sheet, row, col)));
  auto& cache = kind == CellKind::Number ? numberCache_ : dateCache_;
  const std::uint64_t key = std::bit_cast<std::uint64_t>(sheet.number(row, col));
  const auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  if (cache.size() >= static_cast<std::size_t>(kTextCacheSize)) cache.clear();
  return cache.emplace(key, layOut(QString::fromStdString(displayText(sheet, row, col)))).first->second;
}

const SheetView::LaidOut& SheetView::laidOutNarrow(const Sheet& sheet, std::int32_t row, std::int32_t col,
                                                   CellKind kind, int width) {
  const bool date = kind == CellKind::Date;
  const NarrowKey key{std::bit_cast<std::uint64_t>(sheet.number(row, col)), width, date};
  const auto found = narrowCache_.find(key);
  if (found != narrowCache_.end()) return found->second;
  if (narrowCache_.size() >= static_cast<std::size_t>(kTextCacheSize)) narrowCache_.clear();
  const QFontMetrics metrics(font());
  const FitsColumn fits = [&](std::string_view text) {
    return metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))) <=
           width;
  };
  const std::string text = date ? hashFill(fits) : fittedNumberText(sheet.number(row, col), fits);
  return narrowCache_.emplace(key, layOut(QString::fromStdString(text))).first->second;
}

void SheetView::paintEvent(QPaintEvent* event) {
  // The grid draws its cells itself, straight from the sheet: a screen of a thousand cells is
  // repainted on every scroll, and the general item drawing (an option object, icons, check
  // boxes and a text layout per cell) costs several times more.
  QPainter painter(viewport());
  const QRect exposed = event->rect();
  // The viewport fills its background itself before it paints (a second fill of the whole
  // screen would cost a tenth of the paint).
  if (!viewport()->autoFillBackground()) painter.fillRect(exposed, palette().color(QPalette::Base));
  const int rows = model_->rowCount(), cols = model_->columnCount();
  int firstRow = rowAt(exposed.top()), lastRow = rowAt(exposed.bottom());
  int firstCol = columnAt(exposed.left()), lastCol = columnAt(exposed.right());
  if (firstRow < 0 || firstCol < 0) return;
  if (lastRow < 0) lastRow = rows - 1;
  if (lastCol < 0) lastCol = cols - 1;

  std::vector<CellArea> selected;
  for (const QItemSelectionRange& range : selectionModel()->selection()) selected.push_back(areaOf(range));
  const auto isSelected = [&](std::int32_t r, std::int32_t c) {
    for (const CellArea& a : selected)
      if (r >= a.top && r <= a.bottom && c >= a.left && c <= a.right) return true;
    return false;
  };

  const Sheet& sheet = *model_->sheet();
  const QFontMetrics metrics(font());
  const QColor textColour = palette().color(QPalette::Text), highlight = palette().color(QPalette::Highlight);
  const QColor highlightedText = palette().color(QPalette::HighlightedText);
  const int ascent = metrics.ascent(), descent = metrics.descent();
  const int gridRight = columnViewportPosition(lastCol) + columnWidth(lastCol);
  const int gridBottom = rowViewportPosition(lastRow) + rowHeight(lastRow);

  // Texts wider than their cell run on over the empty cells to their right; they are drawn once
  // the grid is, over its lines.
  struct Overflow {
    int row, col;
    int right;  // the last pixel column the text may use
    bool selected;
  };
  std::vector<Overflow> overflows;
  const auto overflowRight = [&](int r, int c, int x, int textWidth) {
    int right = columnViewportPosition(c) + columnWidth(c) - 1 - kCellPadding;
    for (int next = c + 1; next < cols && x + textWidth > right; ++next) {
      if (sheet.kind(r + 1, next + 1) != CellKind::Empty) break;
      right = columnViewportPosition(next) + columnWidth(next) - 1 - kCellPadding;
    }
    return right;
  };

  painter.setPen(textColour);
  bool penSelected = false;
  for (int r = firstRow; r <= lastRow; ++r) {
    const int y = rowViewportPosition(r), h = rowHeight(r);
    // A text left of the exposed part may run on into it over empty cells.
    int back = firstCol - 1;
    while (back >= 0 && sheet.kind(r + 1, back + 1) == CellKind::Empty) --back;
    if (back >= 0 && sheet.kind(r + 1, back + 1) == CellKind::Text) {
      const int x = columnViewportPosition(back) + kCellPadding;
      const LaidOut& text = laidOutValue(sheet, r + 1, back + 1, CellKind::Text);
      if (x + text.width > columnViewportPosition(back) + columnWidth(back) - 1 - kCellPadding)
        overflows.push_back({r, back, overflowRight(r, back, x, text.width), isSelected(r + 1, back + 1)});
    }
    for (int c = firstCol; c <= lastCol; ++c) {
      const int x = columnViewportPosition(c), w = columnWidth(c);
      // The cell inside its grid lines (right and bottom edge).
      const QRect cell(x, y, w - 1, h - 1);
      const bool inSelection = isSelected(r + 1, c + 1);
      if (inSelection) painter.fillRect(cell, highlight);
      const CellKind kind = sheet.kind(r + 1, c + 1);
      if (kind == CellKind::Empty) continue;
      const QRect inner = cell.adjusted(kCellPadding, 0, -kCellPadding, 0);
      const LaidOut* text = &laidOutValue(sheet, r + 1, c + 1, kind);
      if (text->width > inner.width()) {
        if (kind == CellKind::Text) {
          overflows.push_back({r, c, overflowRight(r, c, inner.left(), text->width), inSelection});
          continue;
        }
        // A number is rounded to what fits, never cut; a date becomes '#'.
        if (kind == CellKind::Number || kind == CellKind::Date)
          text = &laidOutNarrow(sheet, r + 1, c + 1, kind, inner.width());
      }
      const int width = text->width;
      // Pens change only between selected and other cells.
      if (inSelection != penSelected) {
        painter.setPen(inSelection ? highlightedText : textColour);
        penSelected = inSelection;
      }
      if (width > inner.width()) {
        // A Boolean or an error in a very narrow column: clipped to its cell.
        painter.drawText(inner, static_cast<int>(cellAlignment(kind)), text->plain);
        continue;
      }
      // The text fits: drawn at its place, without a clipped text box.
      int tx = inner.left();
      if (kind == CellKind::Number || kind == CellKind::Date)
        tx = inner.right() + 1 - width;
      else if (kind == CellKind::Boolean || kind == CellKind::Error)
        tx = inner.left() + (inner.width() - width) / 2;
      painter.drawStaticText(QPoint(tx, y + (h - 1 - ascent - descent) / 2), text->text);
    }
  }

  if (showGrid()) {
    painter.setPen(QColor(0xd8, 0xd8, 0xd8));
    for (int c = firstCol; c <= lastCol; ++c) {
      const int x = columnViewportPosition(c) + columnWidth(c) - 1;
      painter.drawLine(x, exposed.top(), x, std::min(exposed.bottom(), gridBottom));
    }
    for (int r = firstRow; r <= lastRow; ++r) {
      const int y = rowViewportPosition(r) + rowHeight(r) - 1;
      painter.drawLine(exposed.left(), y, std::min(exposed.right(), gridRight), y);
    }
  }

  for (const Overflow& o : overflows) {
    const int y = rowViewportPosition(o.row), h = rowHeight(o.row);
    const int left = columnViewportPosition(o.col) + kCellPadding;
    // The grid lines the text runs over are hidden, in the colour of the cell right of each.
    for (int next = o.col + 1; next < cols && columnViewportPosition(next) <= o.right; ++next)
      painter.fillRect(QRect(columnViewportPosition(next) - 1, y, 1, h - 1),
                       isSelected(o.row + 1, next + 1) ? highlight : palette().color(QPalette::Base));
    painter.setPen(o.selected ? highlightedText : textColour);
    painter.save();
    painter.setClipRect(QRect(left, y, o.right + 1 - left, h - 1), Qt::IntersectClip);
    painter.drawStaticText(QPoint(left, y + (h - 1 - ascent - descent) / 2),
                           laidOutValue(sheet, o.row + 1, o.col + 1, CellKind::Text).text);
    painter.restore();
  }

  // The current cell's frame.
  const QModelIndex current = currentIndex();
  if (current.isValid() && current.row() >= firstRow && current.row() <= lastRow &&
      current.column() >= firstCol && current.column() <= lastCol) {
    painter.setPen(QPen(QColor(0x21, 0x73, 0x46), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(columnViewportPosition(current.column()), rowViewportPosition(current.row()),
                           columnWidth(current.column()) - 1, rowHeight(current.row()) - 1)
                         .adjusted(1, 1, -1, -1));
  }
}

void SheetView::changeEvent(QEvent* event) {
  // Laid-out texts belong to the font they were laid out in.
  if (event->type() == QEvent::FontChange) {
    textCache_.clear();
    numberCache_.clear();
    dateCache_.clear();
    narrowCache_.clear();
  }
  QTableView::changeEvent(event);
}

void SheetView::fitColumnsToContents() {
  const auto used = model_->sheet()->usedArea();
  if (!used) return;
  const QFontMetrics metrics(font());
  const Sheet& sheet = *model_->sheet();
  const int lastRow = std::min(used->bottom, used->top + kFitSampleRows - 1);
  for (std::int32_t col = used->left; col <= used->right; ++col) {
    int width = horizontalHeader()->defaultSectionSize();
    for (std::int32_t row = used->top; row <= lastRow; ++row) {
      if (sheet.kind(row, col) == CellKind::Empty) continue;
      width = std::max(width,
                       metrics.horizontalAdvance(QString::fromStdString(displayText(sheet, row, col))) + 14);
    }
    setColumnWidth(col - 1, std::clamp(width, kMinimumColumnWidth, kMaximumFittedWidth));
  }
}

}  // namespace host
