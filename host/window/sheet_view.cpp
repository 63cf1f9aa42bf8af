#include "host/window/sheet_view.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "host/window/cell_format.h"

namespace host {

namespace {

constexpr int kDefaultColumnWidth = 72;
constexpr int kMinimumColumnWidth = 40;
constexpr int kMaximumFittedWidth = 260;
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

  QPalette colours = palette();
  colours.setColor(QPalette::Highlight, QColor(0xc6, 0xdb, 0xf2));
  colours.setColor(QPalette::HighlightedText, Qt::black);
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  setPalette(colours);
  setStyleSheet(QStringLiteral("QTableView { gridline-color: #d8d8d8; }"));

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
