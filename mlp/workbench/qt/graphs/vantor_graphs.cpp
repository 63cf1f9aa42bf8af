#include "mlp/workbench/qt/graphs/vantor_graphs.h"

#include <QPointer>
#include <QWidget>

#include "mlp/workbench/qt/graphs/answers_dlg.h"
#include "mlp/workbench/qt/graphs/bc_sheet.h"
#include "mlp/workbench/qt/graphs/graph_window.h"
#include "mlp/workbench/qt/graphs/qt_modal_run.h"
#include "mlp/workbench/qt/graphs/scatter_dlg.h"
#include "mlp/workbench/vantor_session.h"

// The open windows (cleared by Qt when a window deletes itself on closing: that is the sheet's
// open flag) and the observer that closes them when the network is discarded.
struct VantorGraphs::Windows final : VantorSessionObserver {
  explicit Windows(VantorSession& s) : session(s) { session.addObserver(this); }
  ~Windows() override { session.removeObserver(this); }
  void sessionChanged(unsigned changes) override {
    if ((changes & kNetworkChanged) && !session.networkExists()) close();
  }
  // The windows stop observing and vanish at once and are deleted once control returns to the
  // event loop: this may run inside the session's notification, which still holds them in its
  // list of observers to tell.
  void close() {
    if (CGraphWindow* viewer = errorViewer.data()) {
      viewer->detach();
      viewer->hide();
      viewer->deleteLater();
    }
    if (CScatterDlg* diagram = scatteringDiagram.data()) {
      diagram->detach();
      diagram->hide();
      diagram->deleteLater();
    }
    errorViewer.clear();
    scatteringDiagram.clear();
  }
  // Outside any notification (the sheet goes): deleted now.
  void destroy() {
    delete errorViewer.data();
    delete scatteringDiagram.data();
  }

  VantorSession& session;
  QPointer<CGraphWindow> errorViewer;
  QPointer<CScatterDlg> scatteringDiagram;
};

VantorGraphs::VantorGraphs(VantorSession& session, QWidget* owner)
    : session_(session), owner_(owner), windows_(std::make_unique<Windows>(session)) {}

VantorGraphs::~VantorGraphs() {
  closeAll();
}

void VantorGraphs::showErrorViewer() {
  if (windows_->errorViewer) {
    windows_->errorViewer->raise();
    return;
  }
  auto* viewer = new CGraphWindow(session_, owner_);
  windows_->errorViewer = viewer;
  viewer->show();
}

void VantorGraphs::showScatteringDiagram() {
  if (windows_->scatteringDiagram) {
    windows_->scatteringDiagram->raise();
    return;
  }
  auto* diagram = new CScatterDlg(session_, owner_);
  windows_->scatteringDiagram = diagram;
  diagram->show();
}

void VantorGraphs::showNetworkAnswers() {
  CAnswersDlg dialog(session_, owner_);
  if (!dialog.load()) {
    platform::prompter().messageBox(CAnswersDlg::kOutOfMemoryText, "", platform::MB_OK);
    return;
  }
  QtModalRun run(dialog);
  platform::prompter().runModal(run);
}

void VantorGraphs::showBoxcountingResults(const significance::BoxCounter& results) {
  CBCSheet sheet(results, owner_);
  QtModalRun run(sheet);
  platform::prompter().runModal(run);
}

void VantorGraphs::closeAll() {
  windows_->close();
}

CGraphWindow* VantorGraphs::errorViewer() const {
  return windows_->errorViewer.data();
}
CScatterDlg* VantorGraphs::scatteringDiagram() const {
  return windows_->scatteringDiagram.data();
}
