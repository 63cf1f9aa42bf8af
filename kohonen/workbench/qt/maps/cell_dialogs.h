#pragma once

#include <QDialog>

class CellDescriptionRequest;
class CellFinderRequest;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Cell description": the combo "Active cell:" and, for the selected cell, its rows, their
// count, its centre and the rows' averages, all read from the request.
class CellDescriptionDialog final : public QDialog {
  Q_OBJECT

 public:
  static constexpr char kActiveCell[] = "Active cell:";
  static constexpr char kDataPoints[] = "Data points in this cell:";
  static constexpr char kPointCount[] = "Number of points:";
  static constexpr char kCentre[] = "Cell center:";
  static constexpr char kAverages[] = "Cell averages:";

  CellDescriptionDialog(CellDescriptionRequest& request, QWidget* parent = nullptr);
  ~CellDescriptionDialog() override;

  const CellDescriptionRequest& request() const { return request_; }
  QComboBox* cellCombo() const { return cells_; }
  QListWidget* pointList() const { return points_; }
  QLabel* countLabel() const { return count_; }
  QListWidget* centreList() const { return centre_; }
  QListWidget* averageList() const { return averages_; }

  // Shows the request's selected cell again (after a map window chose another cell).
  void refresh();

 private:
  CellDescriptionRequest& request_;
  QComboBox* cells_ = nullptr;
  QListWidget* points_ = nullptr;
  QLabel* count_ = nullptr;
  QListWidget* centre_ = nullptr;
  QListWidget* averages_ = nullptr;
};

// "Cell finder": rows found by their IDs and the cell each falls into.
class CellFinderDialog final : public QDialog {
  Q_OBJECT

 public:
  static constexpr char kShowAll[] = "Show all IDs";
  static constexpr char kSubstring[] = "Use IDs that contain substring:";
  static constexpr char kFind[] = "Find";
  static constexpr char kCellOfId[] = "Cell, containing selected ID:";
  static constexpr char kOtherPoints[] = "Other points in the cell:";
  static constexpr char kClose[] = "Close";

  CellFinderDialog(CellFinderRequest& request, QWidget* parent = nullptr);

  QCheckBox* showAllBox() const { return showAll_; }
  QLabel* substringLabel() const { return substringLabel_; }
  QLineEdit* substringEdit() const { return text_; }
  QPushButton* findButton() const { return find_; }
  QListWidget* idList() const { return ids_; }
  QLabel* cellLabel() const { return cell_; }
  QListWidget* otherList() const { return others_; }

 private:
  void fillIds();
  void showSelected(int entry);

  CellFinderRequest& request_;
  QCheckBox* showAll_ = nullptr;
  QLabel* substringLabel_ = nullptr;
  QLineEdit* text_ = nullptr;
  QPushButton* find_ = nullptr;
  QListWidget* ids_ = nullptr;
  QLabel* cell_ = nullptr;
  QListWidget* others_ = nullptr;
};

// The open "Cell description" dialog over request refreshes its lists; nothing when none is
// open (or request is null).
void refreshCellDescriptionView(const CellDescriptionRequest* request);

// Run the dialogs modally over their requests; IDOK (description, finder) or IDCANCEL.
int runCellDescriptionDialog(CellDescriptionRequest& request);
int runCellFinderDialog(CellFinderRequest& request);
