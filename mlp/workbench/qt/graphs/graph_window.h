#pragma once

#include <QSize>

#include "mlp/workbench/graphs/error_viewer_model.h"
#include "mlp/workbench/qt/graphs/graph_picture.h"
#include "mlp/workbench/vantor_session.h"

class QComboBox;
class QLineEdit;

// "Error Viewer": the training and test error of every epoch, growing while training runs. A
// frame window over the sheet; the header strip holds the scale lists, the range edits and the
// window list, the rest is the picture. A full paint pauses the training worker (mayStep) and
// draws everything from the histories; each delivered epoch afterwards only adds its segments,
// unless the y range grows on the shown scale or the curve passes the right end of a linear x
// axis, which paint in full again. It observes the session and deletes itself when closed.
class CGraphWindow final : public CGraphPicture, public VantorSessionObserver {
  Q_OBJECT
 public:
  static constexpr const char* kTitle = "Error Viewer";

  CGraphWindow(VantorSession& session, QWidget* parent);
  ~CGraphWindow() override;

  void sessionChanged(unsigned changes) override;
  // Stops observing the session (the window is about to go); later calls are ignored.
  void detach();

  // Paints everything afresh (pausing the worker) / adds the epochs delivered since.
  void fullPaint() { redraw(); }
  void updateHistories();

  const ErrorViewerModel& model() const { return model_; }
  const ErrorViewerLayout& layout() const { return layout_; }
  // The last epoch drawn, and how many full paints the cache has had (for tests).
  int drawnEpoch() const { return drawnEpoch_; }
  int fullPaints() const { return fullPaints_; }
  QComboBox* yScaleList() const { return yScale_; }
  QComboBox* xScaleList() const { return xScale_; }
  QComboBox* windowList() const { return window_; }
  QLineEdit* bottomEdit() const { return bottom_; }
  QLineEdit* topEdit() const { return top_; }

 protected:
  void render(QPainter& painter, const QSize& size) override;
  void cacheDrawn() override;
  QString pictureName() const override { return QStringLiteral("errors.png"); }
  void resizeEvent(QResizeEvent* event) override;

 private:
  // A list closed its drop-down: re-read both scales and the window, paint in full.
  void listChosen();
  // An edit lost the focus: read both edits into the shown range, paint in full.
  void editLeft();
  void placeControls();

  VantorSession& session_;
  bool detached_ = false;
  QSize screen_;
  ErrorViewerLayout layout_;
  ErrorViewerModel model_;
  // What the last render drew, taken over by the cache (an export leaves the state alone).
  ErrorViewerModel rendered_;
  int renderedEpoch_ = 0;
  int drawnEpoch_ = 0;
  int fullPaints_ = 0;
  QComboBox* yScale_ = nullptr;
  QComboBox* xScale_ = nullptr;
  QComboBox* window_ = nullptr;
  QLineEdit* bottom_ = nullptr;
  QLineEdit* top_ = nullptr;
};
