#pragma once

#include <QDialog>
#include <array>

#include "mlp/workbench/vantor_dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The "Network Constructor" over a NetworkConstructorDialog. Layer rows are laid out from the
// bottom up (layer 1 is the bottom row). Moving the up-down, leaving the layer-count edit and
// pressing Enter re-lay out the rows through the model; Enter never closes the dialog. OK
// hands the controls to the model's accept(), whose refusals keep the dialog open with the
// focus on the refused field.
class NetworkConstructorView final : public QDialog {
  Q_OBJECT

 public:
  explicit NetworkConstructorView(NetworkConstructorDialog& model, QWidget* parent = nullptr);

  struct RowWidgets {
    QLabel* label = nullptr;
    QLineEdit* neurons = nullptr;
    QComboBox* order = nullptr;
    QComboBox* function = nullptr;
  };
  // Row of layer `layer` (0-based: 0 is the bottom row).
  const RowWidgets& row(int layer) const { return rows_[static_cast<std::size_t>(layer)]; }
  QSpinBox* layerCountBox() const { return layers_; }
  QLineEdit* inputsEdit() const { return inputs_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

  void accept() override;
  // Reads the controls and re-lays out the rows (what Enter does).
  void relayout();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void readControls();
  void showModel();

  NetworkConstructorDialog& model_;
  QSpinBox* layers_ = nullptr;
  QLineEdit* inputs_ = nullptr;
  std::array<RowWidgets, NetworkDescription::kMaxLayers> rows_{};
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool updating_ = false;
};
