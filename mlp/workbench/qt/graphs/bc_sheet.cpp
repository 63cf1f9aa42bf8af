#include "mlp/workbench/qt/graphs/bc_sheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "mlp/significance/box_counter.h"
#include "mlp/workbench/qt/graphs/graph_renderers.h"

CBCChart::CBCChart(CBCMeaningPage& page, const SignificanceChartModel& model, QWidget* parent)
    : CGraphPicture(parent), page_(page), model_(model) {
  setMouseTracking(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CBCChart::render(QPainter& painter, const QSize& size) {
  renderSignificanceChart(painter, model_.layout(size.width(), size.height()));
}

void CBCChart::mouseMoveEvent(QMouseEvent* event) {
  page_.hoverAt(static_cast<int>(event->position().x()));
  // Handled here: passed on, the page would take it for a move outside the chart.
  event->accept();
}

void CBCChart::leaveEvent(QEvent* event) {
  page_.clearHover();
  CGraphPicture::leaveEvent(event);
}

CBCMeaningPage::CBCMeaningPage(const significance::BoxCounter& results, QWidget* parent)
    : QWidget(parent), model_(SignificanceChartModel::fromBoxCounter(results)) {
  build();
}

CBCMeaningPage::CBCMeaningPage(SignificanceChartModel model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  build();
}

void CBCMeaningPage::build() {
  setWindowTitle(QString::fromLatin1(kTitle));
  setMouseTracking(true);
  chart_ = new CBCChart(*this, model_, this);
  slider_ = new QScrollBar(Qt::Horizontal, this);
  hover_ = new QLabel(this);
  hover_->setMinimumWidth(240);
  output_ = new QComboBox(this);
  for (const std::string& name : model_.outputNames()) output_->addItem(QString::fromStdString(name));
  predictability_ = new QLabel(this);
  spread_ = new QLabel(this);

  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(new QLabel(QStringLiteral("Select output"), this));
  outputRow->addWidget(output_, 1);
  auto* texts = new QHBoxLayout;
  texts->addWidget(predictability_);
  texts->addSpacing(24);
  texts->addWidget(spread_);
  texts->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chart_, 1);
  layout->addWidget(slider_);
  layout->addWidget(hover_);
  layout->addLayout(outputRow);
  layout->addLayout(texts);

  // Page initialisation: the first output, the slider over the inputs beyond 20 or disabled.
  output_->setCurrentIndex(model_.outputCount() > 0 ? 0 : -1);
  model_.setOutput(0);
  slider_->setRange(0, model_.sliderMaximum());
  slider_->setPageStep(SignificanceChartModel::kMaxBars);
  slider_->setEnabled(model_.sliderEnabled());
  slider_->setValue(0);
  connect(output_, &QComboBox::activated, this, &CBCMeaningPage::outputChosen);
  connect(slider_, &QScrollBar::valueChanged, this, &CBCMeaningPage::sliderMoved);
  showTexts();
}

void CBCMeaningPage::showTexts() {
  predictability_->setText(QString::fromStdString(model_.predictabilityText()));
  spread_->setText(QString::fromStdString(model_.varianceText()));
}

void CBCMeaningPage::outputChosen() {
  model_.setOutput(output_->currentIndex());
  chart_->redraw();
  showTexts();
}

void CBCMeaningPage::sliderMoved(int position) {
  model_.setSliderPosition(position);
  chart_->redraw();
}

void CBCMeaningPage::hoverAt(int x) {
  hover_->setText(QString::fromStdString(model_.hoverText(x, chart_->width())));
}

void CBCMeaningPage::clearHover() {
  hover_->clear();
}

void CBCMeaningPage::mouseMoveEvent(QMouseEvent* event) {
  // Over the page but not over the chart (the chart reports its own moves).
  clearHover();
  QWidget::mouseMoveEvent(event);
}

CBCSheet::CBCSheet(const significance::BoxCounter& results, QWidget* parent)
    : QDialog(parent), page_(new CBCMeaningPage(results)) {
  build();
}

CBCSheet::CBCSheet(SignificanceChartModel model, QWidget* parent)
    : QDialog(parent), page_(new CBCMeaningPage(std::move(model))) {
  build();
}

void CBCSheet::build() {
  setWindowTitle(QString::fromLatin1(kTitle));
  setSizeGripEnabled(true);
  auto* tabs = new QTabWidget(this);
  tabs->addTab(page_, QString::fromLatin1(CBCMeaningPage::kTitle));
  // Only OK: the sheet shows results and has nothing to cancel or apply.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs, 1);
  layout->addWidget(buttons);
}
