#pragma once

#include <QDialog>

#include "mlp/workbench/vantor_dialogs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The training page's dialogs over their models.

// "Test set redactor": the training count follows the test-count edit as it is typed; the
// block-start and last-count edits are enabled by the chosen mode; OK runs the model's range
// checks in their order and keeps the dialog open on the first refused field.
class TestSetView final : public QDialog {
  Q_OBJECT

 public:
  explicit TestSetView(TestSetDialog& model, QWidget* parent = nullptr);

  QLabel* totalLabel() const { return total_; }
  QLabel* trainingLabel() const { return training_; }
  QLineEdit* testCountEdit() const { return testCount_; }
  QLineEdit* blockStartEdit() const { return blockStart_; }
  QLineEdit* lastCountEdit() const { return lastCount_; }
  QRadioButton* modeButton(TestSetMode mode) const;
  QPushButton* okButton() const { return ok_; }

  void accept() override;

 private:
  void readControls();
  void updateControls();

  TestSetDialog& model_;
  QLabel* total_ = nullptr;
  QLabel* training_ = nullptr;
  QLineEdit* testCount_ = nullptr;
  QLineEdit* blockStart_ = nullptr;
  QLineEdit* lastCount_ = nullptr;
  QRadioButton* modes_[4] = {};
  QPushButton* ok_ = nullptr;
};

// "Stopping criteria": no range checks; a field that is not a number keeps the dialog open.
class StoppingCriteriaView final : public QDialog {
  Q_OBJECT

 public:
  explicit StoppingCriteriaView(StoppingCriteriaDialog& model, QWidget* parent = nullptr);
  QCheckBox* useCheck() const { return use_; }
  QLineEdit* maxEpochsEdit() const { return maxEpochs_; }
  QLineEdit* trainingLimitEdit() const { return trainingLimit_; }
  QLineEdit* testLimitEdit() const { return testLimit_; }
  void accept() override;

 private:
  StoppingCriteriaDialog& model_;
  QCheckBox* use_ = nullptr;
  QLineEdit* maxEpochs_ = nullptr;
  QLineEdit* trainingLimit_ = nullptr;
  QLineEdit* testLimit_ = nullptr;
};

// "Randomization": "What do you want?" with its two choices and the range edit.
class RandomizationView final : public QDialog {
  Q_OBJECT

 public:
  explicit RandomizationView(RandomizationDialog& model, QWidget* parent = nullptr);
  QRadioButton* randomizeButton() const { return randomize_; }
  QRadioButton* noiseButton() const { return noise_; }
  QLineEdit* rangeEdit() const { return range_; }
  void accept() override;

 private:
  RandomizationDialog& model_;
  QRadioButton* randomize_ = nullptr;
  QRadioButton* noise_ = nullptr;
  QLineEdit* range_ = nullptr;
};

// "Select algorithm": its buttons take effect at once through the model.
class SelectAlgorithmView final : public QDialog {
  Q_OBJECT

 public:
  explicit SelectAlgorithmView(SelectAlgorithmDialog& model, QWidget* parent = nullptr);
  QComboBox* algorithmList() const { return list_; }
  QLineEdit* currentEdit() const { return current_; }
  QPlainTextEdit* descriptionEdit() const { return description_; }
  QPushButton* selectNewButton() const { return selectNew_; }
  QPushButton* customizeButton() const { return customize_; }
  QPushButton* closeButton() const { return close_; }

 private:
  void showModel();

  SelectAlgorithmDialog& model_;
  QComboBox* list_ = nullptr;
  QLineEdit* current_ = nullptr;
  QPlainTextEdit* description_ = nullptr;
  QPushButton* selectNew_ = nullptr;
  QPushButton* customize_ = nullptr;
  QPushButton* close_ = nullptr;
};
