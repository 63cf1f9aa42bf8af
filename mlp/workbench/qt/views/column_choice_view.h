#pragma once

#include <QDialog>

#include "mlp/workbench/vantor_dialogs.h"

class QListWidget;
class QPushButton;
class QRadioButton;

// "Select inputs" / "Select outputs" over a ColumnChoiceDialog: the "All Data" list, the chosen
// list (selectable for inputs, display only for outputs), ">>", "<" (inputs only), "Select
// all", "Clear", "Normalization...", OK and Cancel, enabled by the model's rules after every
// change.
class ColumnChoiceView final : public QDialog {
  Q_OBJECT

 public:
  explicit ColumnChoiceView(ColumnChoiceDialog& model, QWidget* parent = nullptr);

  QListWidget* allDataList() const { return allData_; }
  QListWidget* chosenList() const { return chosen_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* removeButton() const { return remove_; }  // null for outputs
  QPushButton* selectAllButton() const { return selectAll_; }
  QPushButton* clearButton() const { return clear_; }
  QPushButton* normaliseButton() const { return normalise_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  void refillChosen();
  void readSelections();
  void showAllDataSelection();
  void updateButtons();

  ColumnChoiceDialog& model_;
  QListWidget* allData_ = nullptr;
  QListWidget* chosen_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* selectAll_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* normalise_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool updating_ = false;
};

// "Inputs normalization" / "Outputs normalization": the group "Kind of normalization" with one
// radio button per option of the model, in the model's order.
class NormalisationView final : public QDialog {
  Q_OBJECT

 public:
  explicit NormalisationView(NormalisationDialog& model, QWidget* parent = nullptr);
  QRadioButton* button(int index) const;
  int buttonCount() const;
  void accept() override;

 private:
  NormalisationDialog& model_;
  std::vector<QRadioButton*> buttons_;
};
