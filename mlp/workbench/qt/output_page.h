#pragma once

#include <QWidget>

#include "mlp/workbench/qt/main_sheet.h"
#include "shared/output_writer.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Output": where the answers go (the active sheet, or a workbook and worksheet chosen from
// the host's lists), what goes there (only the answers, or inputs, outputs and answers) and
// the upper-left cell; "Output" writes through the session. The lists are filled when the
// page is first shown; "Output" is disabled while training runs.
class COutputPage final : public QWidget, public SheetPage, public VantorSessionObserver {
  Q_OBJECT

 public:
  COutputPage(VantorSession& session, ExcelConnection& connection, QWidget* parent = nullptr);
  ~COutputPage() override;

  void activatePage() override;
  // What "Output" hands to the session, as the controls show it now.
  OutputPlace placeFromControls() const;
  OutputKind kindFromControls() const;
  // "Output": the session's output on the controls' place; the controls then show the place
  // as the command left it (the active names, the upper-cased cell).
  OutputWriter::Outcome output();

  QCheckBox* useActiveCheck() const { return useActive_; }
  QComboBox* workbookList() const { return workbooks_; }
  QComboBox* worksheetList() const { return worksheets_; }
  QRadioButton* answersOnlyButton() const { return answersOnly_; }
  QRadioButton* allDataButton() const { return allData_; }
  QLineEdit* firstCellEdit() const { return firstCell_; }
  QPushButton* outputButton() const { return output_; }

 private:
  void sessionChanged(unsigned changes) override;
  void useActiveClicked();
  void workbookChosen();
  void showPlace(const OutputPlace& place);

  VantorSession& session_;
  ExcelConnection& connection_;
  QCheckBox* useActive_;
  QComboBox* workbooks_;
  QComboBox* worksheets_;
  QRadioButton* answersOnly_;
  QRadioButton* allData_;
  QLineEdit* firstCell_;
  QPushButton* output_;
  bool filled_ = false;
};
