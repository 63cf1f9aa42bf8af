#pragma once

#include <QAbstractTableModel>
#include <memory>

#include "host/cell_address.h"
#include "host/sheet.h"

namespace host {

// How a spreadsheet aligns a cell of that kind: numbers and dates right, Booleans and errors
// centred, texts left.
Qt::Alignment cellAlignment(CellKind kind);

// The grid's view of one worksheet: reads the sheet's cells directly (the sheet is never
// copied), one row per sheet row and one column per sheet column up to the sheet's limits.
// Display texts are those of displayText; numbers and dates align right, texts left, Booleans
// and errors centre, as a spreadsheet aligns them. Editing stores a typed value
// (storeTypedValue). Use on the GUI thread.
class SheetModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit SheetModel(std::shared_ptr<Sheet> sheet, QObject* parent = nullptr);

  const std::shared_ptr<Sheet>& sheet() const { return sheet_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Tells the views that the cells of area (1-based, clipped to the sheet) have changed.
  void cellsChanged(const CellArea& area);

 signals:
  // A cell was changed by editing in the grid (not by cellsChanged).
  void edited(const host::CellArea& area);

 private:
  std::shared_ptr<Sheet> sheet_;
};

}  // namespace host
