#include "kohonen/workbench/qt/dialogs/pc_analyzer_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/qt/dialogs/dialog_support.h"
#include "kohonen/workbench/qt/dialogs/pc_curve_renderer.h"

using gridwise_dialogs::qs;

namespace {
// The picture's size when the dialog opens; it grows with the dialog.
constexpr QSize kPictureSize(330, 230);
// Below this the plot rectangle (30 pixels of margins across, 40 down) would vanish.
constexpr QSize kSmallestPicture(120, 90);
}  // namespace

PcCurveView::PcCurveView(std::vector<double> cumulative, std::optional<std::int32_t> selected,
                         QWidget* parent)
    : QWidget(parent), cumulative_(std::move(cumulative)), selected_(selected) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PcCurveView::setSelected(std::optional<std::int32_t> selected) {
  if (selected == selected_) return;
  selected_ = selected;
  cache_ = QImage();
  update();
}

const QImage& PcCurveView::picture() {
  if (cache_.isNull() || cache_.size() != size()) cache_ = pcCurveImage(size(), cumulative_, selected_);
  return cache_;
}

QSize PcCurveView::sizeHint() const {
  return kPictureSize;
}

QSize PcCurveView::minimumSizeHint() const {
  return kSmallestPicture;
}

void PcCurveView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture());
}

void PcCurveView::resizeEvent(QResizeEvent*) {
  cache_ = QImage();
}

PcAnalyzerDialog::PcAnalyzerDialog(PcAnalyzerRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setWindowTitle(qs(request.dialogTitle()));
  const std::int32_t d = request_.componentCount();
  const bool known = request_.selectedEntry && *request_.selectedEntry >= 0 && *request_.selectedEntry < d;
  const std::optional<std::int32_t> start = known ? request_.selectedEntry : std::nullopt;

  auto* prompt = new QLabel(QString::fromUtf8(PcAnalyzerRequest::kPrompt), this);
  count_ = new QComboBox(this);
  for (std::int32_t k = 1; k <= d; ++k) count_->addItem(QString::number(k));
  count_->setCurrentIndex(start ? *start : -1);
  prompt->setBuddy(count_);
  curve_ = new PcCurveView(request_.cumulative(), start, this);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(count_, &QComboBox::currentIndexChanged, this, [this](int index) {
    request_.selectedEntry = index >= 0 ? std::optional<std::int32_t>(index) : std::nullopt;
    curve_->setSelected(request_.selectedEntry);
  });

  auto* top = new QHBoxLayout;
  top->addWidget(prompt, 1);
  top->addWidget(count_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(curve_, 1);
  layout->addWidget(buttons);
  count_->setFocus();
}
