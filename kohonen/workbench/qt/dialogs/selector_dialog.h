#pragma once

#include <QDialog>
#include <cstdint>
#include <vector>

class ColumnSelectionRequest;
class NormalisationRequest;
class QCheckBox;
class QListWidget;
class QPushButton;
class QRadioButton;

// "Select relevant columns": the columns not selected ("All columns") on the left, the selected
// ones on the right, both in table order, the move buttons between them, "Normalize..." and
// "Extract principal components". Every change goes to the request at once; the lists and the
// enabling are rebuilt from it after each move.
class SelectorDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit SelectorDialog(ColumnSelectionRequest& request, QWidget* parent = nullptr);

  void accept() override;

 private:
  void rebuildLists();
  void updateButtons();
  static std::vector<std::int32_t> highlighted(const QListWidget& list);

  ColumnSelectionRequest& request_;
  QListWidget* available_;
  QListWidget* selected_;
  QPushButton* select_;
  QPushButton* selectAll_;
  QPushButton* deselect_;
  QPushButton* deselectAll_;
  QPushButton* normalise_;
  QPushButton* ok_;
  QCheckBox* extract_;
};

// "Inputs normalization": the group "Kind of normalization" with one radio button per kind.
// OK stores the checked button in the request; Cancel leaves it.
class GridwiseNormalisationDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit GridwiseNormalisationDialog(NormalisationRequest& request, QWidget* parent = nullptr);

  void accept() override;

 private:
  NormalisationRequest& request_;
  std::vector<QRadioButton*> buttons_;
};
