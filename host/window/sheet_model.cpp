#include "host/window/sheet_model.h"

#include <algorithm>

#include "host/window/cell_format.h"

namespace host {

Qt::Alignment cellAlignment(CellKind kind) {
  switch (kind) {
    case CellKind::Number:
    case CellKind::Date:
      return Qt::AlignRight | Qt::AlignVCenter;
    case CellKind::Boolean:
    case CellKind::Error:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

SheetModel::SheetModel(std::shared_ptr<Sheet> sheet, QObject* parent)
    : QAbstractTableModel(parent), sheet_(std::move(sheet)) {}

int SheetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : sheet_->limits().rows;
}

int SheetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : sheet_->limits().cols;
}

QVariant SheetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const std::int32_t row = index.row() + 1, col = index.column() + 1;
  switch (role) {
    case Qt::DisplayRole: {
      if (sheet_->kind(row, col) == CellKind::Empty) return {};
      return QString::fromStdString(displayText(*sheet_, row, col));
    }
    case Qt::EditRole:
      return QString::fromStdString(editText(*sheet_, row, col));
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(cellAlignment(sheet_->kind(row, col)));
    default:
      return {};
  }
}

bool SheetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !sheet_->attached()) return false;
  const std::int32_t row = index.row() + 1, col = index.column() + 1;
  storeTypedValue(*sheet_, row, col, value.toString().toStdString());
  emit dataChanged(index, index);
  emit edited(CellArea{row, col, row, col});
  return true;
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QString::fromStdString(columnLetters(section + 1));
  return QString::number(section + 1);
}

Qt::ItemFlags SheetModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void SheetModel::cellsChanged(const CellArea& area) {
  const SheetLimits limits = sheet_->limits();
  const int top = std::max(area.top, 1) - 1, left = std::max(area.left, 1) - 1;
  const int bottom = std::min(area.bottom, limits.rows) - 1, right = std::min(area.right, limits.cols) - 1;
  if (top > bottom || left > right) return;
  emit dataChanged(index(top, left), index(bottom, right));
}

}  // namespace host
