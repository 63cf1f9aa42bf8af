#pragma once

#include <QHash>
#include <QStaticText>
#include <QTableView>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "host/cell_address.h"
#include "host/sheet.h"
#include "host/window/sheet_model.h"

namespace host {

// The grid of one worksheet. Selection works as in a spreadsheet: blocks by mouse or
// Shift+arrows, Ctrl+click adds a block, a header click selects whole columns or rows (Shift
// and Ctrl extend), Ctrl+Space the whole columns and Shift+Space the whole rows of the
// selection, Ctrl+A everything, Ctrl+arrow jumps to the edge of the data (with Shift it
// extends). Enter moves down after an edit, Tab right. Every change of the selection is
// written to the sheet at once (Sheet::select), so the automation Selection is always what the
// grid shows: one block, or when several blocks are selected the one holding the current cell.
class SheetView final : public QTableView {
  Q_OBJECT
 public:
  explicit SheetView(std::shared_ptr<Sheet> sheet, QWidget* parent = nullptr);

  SheetModel& sheetModel() const { return *model_; }
  const std::shared_ptr<Sheet>& sheet() const { return model_->sheet(); }

  // The selected blocks, 1-based (the current cell alone when nothing is selected).
  std::vector<CellArea> selectedAreas() const;
  // The block automation reports as Selection (see the class comment).
  CellArea activeArea() const;
  // Selects one block and makes its top-left cell current.
  void selectArea(const CellArea& area);
  // Widens the used columns to fit what they show (a sample of their first rows).
  void fitColumnsToContents();

 signals:
  void selectionAreasChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void mirrorSelection();
  void selectWholeColumns();
  void selectWholeRows();
  void jumpToDataEdge(int key, bool extend);
  // A text laid out once for drawing, with its width in pixels.
  struct LaidOut {
    QStaticText text;
    QString plain;
    int width = 0;
  };
  // The text laid out (cached; each cache is emptied when it is full). Numbers and dates are
  // kept by their value, so a repaint neither formats nor allocates their text again.
  const LaidOut& laidOut(const QString& text);
  const LaidOut& laidOutValue(const Sheet& sheet, std::int32_t row, std::int32_t col, CellKind kind);
  LaidOut layOut(const QString& text) const;
  // What a number or date too wide for its column shows there: the number rounded to the
  // digits that fit, a date as '#' (cached by value and width).
  const LaidOut& laidOutNarrow(const Sheet& sheet, std::int32_t row, std::int32_t col, CellKind kind,
                               int width);

  SheetModel* model_;
  QModelIndex anchor_;
  bool extending_ = false;
  QHash<QString, LaidOut> textCache_;
  std::unordered_map<std::uint64_t, LaidOut> numberCache_, dateCache_;
  struct NarrowKey {
    std::uint64_t value;
    int width;
    bool date;
    friend bool operator==(const NarrowKey&, const NarrowKey&) = default;
  };
  struct NarrowKeyHash {
    std::size_t operator()(const NarrowKey& key) const {
      return std::hash<std::uint64_t>()(key.value) ^
             (std::hash<int>()(key.width) * 0x9e3779b97f4a7c15ULL + (key.date ? 1 : 0));
    }
  };
  std::unordered_map<NarrowKey, LaidOut, NarrowKeyHash> narrowCache_;
};

}  // namespace host
