#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "mlp/workbench/graphs/scatter_model.h"
#include "mlp/workbench/qt/graphs/graph_picture.h"
#include "mlp/workbench/vantor_session.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// The scattering diagram's drawing area: the network's answer against the target of every
// example for the chosen output.
class CScatterPicture final : public CGraphPicture {
  Q_OBJECT
 public:
  CScatterPicture(const ScatterModel& model, const ScatterData& data, QWidget* parent);
  QSize sizeHint() const override { return {360, 360}; }
  QSize minimumSizeHint() const override { return {120, 120}; }
  // The picture's geometry at its current size (for tests).
  ScatterGeometry geometry() const { return model_.layout(data_, width(), height()); }

 protected:
  void render(QPainter& painter, const QSize& size) override;
  QString pictureName() const override { return QStringLiteral("scattering.png"); }

 private:
  const ScatterModel& model_;
  const ScatterData& data_;
};

// "Scattering Diagram": modeless, at most one per sheet. Evaluates a copy of the network on every
// example when it opens and after epochs (at most kRefreshInterval apart while training runs, so
// the evaluations never take the worker's time) and when the output or the maximum changes.
class CScatterDlg final : public QDialog, public VantorSessionObserver {
  Q_OBJECT
 public:
  static constexpr const char* kTitle = "Scattering Diagram";
  static constexpr int kRefreshInterval = 250;  // milliseconds

  CScatterDlg(VantorSession& session, QWidget* parent);
  ~CScatterDlg() override;

  void sessionChanged(unsigned changes) override;
  // Stops observing the session (the window is about to go); later calls are ignored.
  void detach();
  // Evaluates the network afresh and repaints.
  void refresh();

  const ScatterModel& model() const { return model_; }
  const ScatterData& data() const { return data_; }
  CScatterPicture* picture() const { return picture_; }
  QComboBox* outputList() const { return output_; }
  QLineEdit* maximumEdit() const { return maximum_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* closeButton() const { return close_; }

 private:
  void outputChosen();
  void maximumLeft();
  void fillOutputs();

  VantorSession& session_;
  bool detached_ = false;
  ScatterModel model_;
  ScatterData data_;
  CScatterPicture* picture_ = nullptr;
  QComboBox* output_ = nullptr;
  QLineEdit* maximum_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* close_ = nullptr;
  QTimer deferred_;
  QElapsedTimer sinceRefresh_;
};
