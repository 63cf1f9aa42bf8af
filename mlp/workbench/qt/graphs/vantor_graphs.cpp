#include "mlp/workbench/qt/graphs/vantor_graphs.h"

#include <QPointer>
#include <QWidget>

#include "mlp/workbench/vantor_session.h"

struct VantorGraphs::Windows {};

VantorGraphs::VantorGraphs(VantorSession& session, QWidget* owner)
    : session_(session), owner_(owner), windows_(std::make_unique<Windows>()) {}

VantorGraphs::~VantorGraphs() {
  closeAll();
}

void VantorGraphs::showErrorViewer() {}
void VantorGraphs::showScatteringDiagram() {}
void VantorGraphs::showNetworkAnswers() {}
void VantorGraphs::showBoxcountingResults(const significance::BoxCounter&) {}
void VantorGraphs::closeAll() {}
CGraphWindow* VantorGraphs::errorViewer() const {
  return nullptr;
}
CScatterDlg* VantorGraphs::scatteringDiagram() const {
  return nullptr;
}
