#pragma once

#include <QWidget>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/qt/sheet_command.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class MapWindowSet;

// The "Results" page of the main sheet: "Create New Map...", "Cell Description..." and
// "Find Cell...", and the "Output to Excel Worksheet" group over the session's output target.
// A thin view: the controls show the session's target and every change goes to the session.
// When first shown it fills the lists with the active workbook and sheet.
class ResultsPage final : public QWidget, public GridwiseObserver {
  Q_OBJECT

 public:
  ResultsPage(GridwiseSession& session, MapWindowSet& maps, CommandRunner run, QWidget* parent = nullptr);
  ~ResultsPage() override;

  void sessionChanged(unsigned changes) override;
  void refresh();

  QPushButton* newMapButton() const { return newMap_; }
  QPushButton* cellDescriptionButton() const { return cellDescription_; }
  QPushButton* findCellButton() const { return findCell_; }
  QCheckBox* useActiveBox() const { return useActive_; }
  QComboBox* workbookList() const { return workbooks_; }
  QComboBox* worksheetList() const { return worksheets_; }
  QCheckBox* outputIdsBox() const { return outputIds_; }
  QLineEdit* firstCellField() const { return firstCell_; }
  QPushButton* outputButton() const { return output_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void runCommand(const std::function<void()>& command);
  void refreshEnabling();
  void refreshOutputPlace();

  GridwiseSession& session_;
  MapWindowSet& maps_;
  CommandRunner run_;
  bool placeFilled_ = false;
  // Set while the controls are filled from the session, so their signals do not echo back.
  bool updating_ = false;
  QPushButton* newMap_ = nullptr;
  QPushButton* cellDescription_ = nullptr;
  QPushButton* findCell_ = nullptr;
  QCheckBox* useActive_ = nullptr;
  QComboBox* workbooks_ = nullptr;
  QComboBox* worksheets_ = nullptr;
  QCheckBox* outputIds_ = nullptr;
  QLineEdit* firstCell_ = nullptr;
  QPushButton* output_ = nullptr;
};
