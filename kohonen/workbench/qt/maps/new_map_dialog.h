#pragma once

#include <QDialog>

class NewMapRequest;
class QComboBox;
class QLabel;
class QRadioButton;

// "Create New Map": how the map is coloured, by which column and with how many colours. The
// request's fields are written back on OK.
class NewMapDialog final : public QDialog {
  Q_OBJECT

 public:
  static constexpr char kColouringGroup[] = "The coloring of the map is";
  static constexpr char kFeatureLabel[] = "The following column will be a feature:";
  static constexpr char kColoursLabel[] = "Number of colors in palette:";

  NewMapDialog(NewMapRequest& request, QWidget* parent = nullptr);

  QRadioButton* averageButton() const { return average_; }
  QRadioButton* existenceButton() const { return existence_; }
  QComboBox* featureCombo() const { return feature_; }
  QComboBox* coloursCombo() const { return colours_; }
  QLabel* coloursLabel() const { return coloursLabel_; }

  void accept() override;

 private:
  void modeChanged();

  NewMapRequest& request_;
  QRadioButton* average_ = nullptr;
  QRadioButton* existence_ = nullptr;
  QComboBox* feature_ = nullptr;
  QComboBox* colours_ = nullptr;
  QLabel* coloursLabel_ = nullptr;
};

// The dialog's parent for the hooks: the active window, or the sheet behind an active map
// window (so that the dialog, modal to the sheet, leaves the map windows usable).
QWidget* mapDialogParent();

// Runs the dialog modally over request; IDOK or IDCANCEL.
int runNewMapDialog(NewMapRequest& request);
