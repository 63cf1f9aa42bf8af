#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>

#include "kohonen/workbench/preferences_request.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

// The swatch of the "Colors" page: the k colours of the selected palette of the request's
// working copy as k vertical stripes filling the widget, stripe i from i·width / k. A double
// click on a stripe (or Enter on the stripe picked with the arrow keys) opens the colour dialog
// at its colour.
class PaletteSwatch final : public QWidget {
  Q_OBJECT

 public:
  explicit PaletteSwatch(PreferencesRequest& request, QWidget* parent = nullptr);

  // Redraws after the palette or the colour count changed.
  void refresh();
  // The swatch as it is shown now.
  const QImage& picture();

  QSize sizeHint() const override;

 signals:
  // A colour of the working copy was changed.
  void colourChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void pickAt(int x);

  PreferencesRequest& request_;
  QImage cache_;
  std::int32_t keyStripe_ = 0;  // the stripe the arrow keys have reached
};

// "Colors": the page's text, the combo box "2" … "10" and the swatch.
class ColoursPage final : public QWidget {
  Q_OBJECT

 public:
  explicit ColoursPage(PreferencesRequest& request, QWidget* parent = nullptr);

 signals:
  void modified();

 private:
  PreferencesRequest& request_;
  QComboBox* count_;
  PaletteSwatch* swatch_;
};

// "Training Parameters": the four fields prefilled from the request. Every edit goes to the
// request's working copy (text that is no number counts as out of range); validate() is the
// check made on leaving the page.
class TrainingParametersPage final : public QWidget {
  Q_OBJECT

 public:
  explicit TrainingParametersPage(PreferencesRequest& request, QWidget* parent = nullptr);

  // With a value out of its range: the standard message, the caret in that field, false.
  bool validate();
  // Puts the caret in the field the request refuses, if any.
  void focusProblemField();

 signals:
  void modified();

 private:
  void store();

  PreferencesRequest& request_;
  std::array<QLineEdit*, 4> fields_{};  // in the order of PreferencesRequest::TrainingField
};

// "Program preferences": the pages "Colors" and "Training Parameters" with OK, Cancel and Apply.
// Apply is enabled while a page is modified and delivers both pages as OK does; OK refuses to
// close while a training value is out of range. Cancel keeps what the last Apply delivered; the
// caller delivers the pages after OK.
class PreferencesSheet final : public QDialog {
  Q_OBJECT

 public:
  explicit PreferencesSheet(PreferencesRequest& request, QWidget* parent = nullptr);

  void accept() override;

 private:
  void updateApply();
  void pageChanged(int index);

  PreferencesRequest& request_;
  QTabWidget* tabs_;
  ColoursPage* colours_;
  TrainingParametersPage* training_;
  QPushButton* apply_;
  int currentPage_ = 0;
  bool returning_ = false;  // set while the sheet turns back to a page that refused to be left
};
