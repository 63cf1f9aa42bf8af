#pragma once

#include <memory>

class QWidget;
class VantorSession;
namespace significance {
class BoxCounter;
}

class CGraphWindow;
class CScatterDlg;

// The training page's graph windows of one Vantor sheet: the error viewer and the scattering
// diagram (each open at most once; a second command while one is open only raises it), the
// modal answers view, and the modal boxcounting results sheet. Every window reads the session
// and never changes it. The callers run the session's readiness check before each command.
//
// GUI thread only. owner is the sheet that parents the windows; it must outlive this object
// or call closeAll() first.
class VantorGraphs {
 public:
  VantorGraphs(VantorSession& session, QWidget* owner);
  ~VantorGraphs();
  VantorGraphs(const VantorGraphs&) = delete;
  VantorGraphs& operator=(const VantorGraphs&) = delete;

  // "Errors history": opens the error viewer unless one is open.
  void showErrorViewer();
  // "Scattering diagram": opens the modeless diagram unless one is open.
  void showScatteringDiagram();
  // "Network answers...": runs the answers view modally.
  void showNetworkAnswers();  // modal
  // The results of a boxcounting run in the modal "Boxcounting results" sheet.
  void showBoxcountingResults(const significance::BoxCounter& results);  // modal sheet
  // Closes the error viewer and the scattering diagram (network discarded, sheet closing). Safe
  // inside a session notification: the windows stop observing at once and are deleted by the
  // event loop (or with their parent); after it nothing of them touches the session again.
  void closeAll();

  // The open windows, or null (tests, screenshots).
  CGraphWindow* errorViewer() const;
  CScatterDlg* scatteringDiagram() const;

 private:
  struct Windows;
  VantorSession& session_;
  QWidget* owner_;
  std::unique_ptr<Windows> windows_;
};
