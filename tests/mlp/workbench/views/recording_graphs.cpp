#include "tests/mlp/workbench/views/recording_graphs.h"

#include "mlp/workbench/qt/graphs/vantor_graphs.h"

namespace lumivane::test {

GraphCalls& graphCalls() {
  static GraphCalls calls;
  return calls;
}

}  // namespace lumivane::test

struct VantorGraphs::Windows {};

VantorGraphs::VantorGraphs(VantorSession& session, QWidget* owner)
    : session_(session), owner_(owner), windows_(std::make_unique<Windows>()) {}
VantorGraphs::~VantorGraphs() = default;
void VantorGraphs::showErrorViewer() {
  ++lumivane::test::graphCalls().errorViewer;
}
void VantorGraphs::showScatteringDiagram() {
  ++lumivane::test::graphCalls().scatteringDiagram;
}
void VantorGraphs::showNetworkAnswers() {
  ++lumivane::test::graphCalls().networkAnswers;
}
void VantorGraphs::showBoxcountingResults(const significance::BoxCounter&) {
  ++lumivane::test::graphCalls().boxcounting;
}
void VantorGraphs::closeAll() {
  ++lumivane::test::graphCalls().closeAll;
}
CGraphWindow* VantorGraphs::errorViewer() const {
  return nullptr;
}
CScatterDlg* VantorGraphs::scatteringDiagram() const {
  return nullptr;
}
