#pragma once

#include <QDialog>
#include <QWidget>

#include "mlp/workbench/graphs/significance_chart_model.h"
#include "mlp/workbench/qt/graphs/graph_picture.h"

class QComboBox;
class QLabel;
class QScrollBar;
class QTabWidget;
class CBCMeaningPage;
namespace significance {
class BoxCounter;
}

// The significance bar chart of the page's chosen output; the mouse over it names the input
// under it in the page's hover text.
class CBCChart final : public CGraphPicture {
  Q_OBJECT
 public:
  CBCChart(CBCMeaningPage& page, const SignificanceChartModel& model, QWidget* parent);
  QSize sizeHint() const override { return {520, 260}; }
  QSize minimumSizeHint() const override { return {200, 100}; }
  SignificanceChartGeometry geometry() const { return model_.layout(width(), height()); }

 protected:
  void render(QPainter& painter, const QSize& size) override;
  QString pictureName() const override { return QStringLiteral("significance.png"); }
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  CBCMeaningPage& page_;
  const SignificanceChartModel& model_;
};

// "Inputs' significance": the chart, the slider over the inputs beyond 20, the hover text, the
// "Select output" list and the output's predictability texts.
class CBCMeaningPage final : public QWidget {
  Q_OBJECT
 public:
  static constexpr const char* kTitle = "Inputs' significance";

  CBCMeaningPage(const significance::BoxCounter& results, QWidget* parent = nullptr);
  // A page over results given as plain figures (the batch mode, tests).
  CBCMeaningPage(SignificanceChartModel model, QWidget* parent = nullptr);

  const SignificanceChartModel& model() const { return model_; }
  CBCChart* chart() const { return chart_; }
  QScrollBar* slider() const { return slider_; }
  QLabel* hoverLabel() const { return hover_; }
  QComboBox* outputList() const { return output_; }
  QLabel* predictabilityLabel() const { return predictability_; }
  QLabel* spreadLabel() const { return spread_; }

  // The hover rule for a mouse at x over the chart (empty outside the bars' band).
  void hoverAt(int x);
  void clearHover();

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void build();
  void outputChosen();
  void sliderMoved(int position);
  void showTexts();

  SignificanceChartModel model_;
  CBCChart* chart_ = nullptr;
  QScrollBar* slider_ = nullptr;
  QLabel* hover_ = nullptr;
  QComboBox* output_ = nullptr;
  QLabel* predictability_ = nullptr;
  QLabel* spread_ = nullptr;
};

// "Boxcounting results": a modal sheet with the one page and only an OK button.
class CBCSheet final : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kTitle = "Boxcounting results";

  CBCSheet(const significance::BoxCounter& results, QWidget* parent = nullptr);
  CBCSheet(SignificanceChartModel model, QWidget* parent = nullptr);
  CBCMeaningPage* page() const { return page_; }

 private:
  void build();
  CBCMeaningPage* page_ = nullptr;
};
