#pragma once

#include <QWidget>

#include "mlp/workbench/qt/main_sheet.h"

class QListWidget;
class QPushButton;

// "Data": the chosen inputs and outputs as "name (normalisation)", the two select commands, the
// project commands and "Boxcounting...". While training runs the select and project buttons
// are disabled; "Boxcounting..." never is.
class CDataPage final : public QWidget, public SheetPage, public VantorSessionObserver {
  Q_OBJECT

 public:
  // graphs shows the boxcounting results; null: the command runs and keeps its results only.
  CDataPage(VantorSession& session, VantorGraphs* graphs, QWidget* parent = nullptr);
  ~CDataPage() override;

  void activatePage() override;

  QListWidget* inputsList() const { return inputs_; }
  QListWidget* outputsList() const { return outputs_; }
  QPushButton* selectInputsButton() const { return selectInputs_; }
  QPushButton* selectOutputsButton() const { return selectOutputs_; }
  QPushButton* loadProjectButton() const { return loadProject_; }
  QPushButton* saveProjectButton() const { return saveProject_; }
  QPushButton* boxcountingButton() const { return boxcounting_; }

 private:
  void sessionChanged(unsigned changes) override;
  void updateButtons();
  void refillLists();
  void boxcount();

  VantorSession& session_;
  VantorGraphs* graphs_;
  QListWidget* inputs_;
  QListWidget* outputs_;
  QPushButton* selectInputs_;
  QPushButton* selectOutputs_;
  QPushButton* boxcounting_;
  QPushButton* loadProject_;
  QPushButton* saveProject_;
};
