#include "mlp/workbench/qt/graphs/scatter_dlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "mlp/workbench/graphs/network_snapshot.h"
#include "mlp/workbench/qt/graphs/graph_renderers.h"

CScatterPicture::CScatterPicture(const ScatterModel& model, const ScatterData& data, QWidget* parent)
    : CGraphPicture(parent), model_(model), data_(data) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CScatterPicture::render(QPainter& painter, const QSize& size) {
  renderScatter(painter, model_.layout(data_, size.width(), size.height()));
}

CScatterDlg::CScatterDlg(VantorSession& session, QWidget* parent) : QDialog(parent), session_(session) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle(QString::fromLatin1(kTitle));
  setSizeGripEnabled(true);

  picture_ = new CScatterPicture(model_, data_, this);
  output_ = new QComboBox(this);
  maximum_ = new QLineEdit(this);
  maximum_->setText(QString::fromStdString(model_.maximumText()));
  apply_ = new QPushButton(tr("Apply"), this);
  close_ = new QPushButton(tr("Close"), this);
  apply_->setAutoDefault(false);
  close_->setAutoDefault(false);

  auto* controls = new QVBoxLayout;
  auto* form = new QFormLayout;
  form->addRow(new QLabel(QStringLiteral("Output #"), this), output_);
  form->addRow(new QLabel(QStringLiteral("Maximum value:"), this), maximum_);
  controls->addLayout(form);
  controls->addWidget(apply_);
  controls->addStretch(1);
  controls->addWidget(close_);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(picture_, 1);
  layout->addLayout(controls);

  connect(output_, &QComboBox::activated, this, &CScatterDlg::outputChosen);
  connect(maximum_, &QLineEdit::editingFinished, this, &CScatterDlg::maximumLeft);
  connect(apply_, &QPushButton::clicked, this, &CScatterDlg::maximumLeft);
  connect(close_, &QPushButton::clicked, this, &QDialog::close);

  deferred_.setSingleShot(true);
  connect(&deferred_, &QTimer::timeout, this, &CScatterDlg::refresh);
  fillOutputs();
  refresh();
  session_.addObserver(this);
}

CScatterDlg::~CScatterDlg() {
  // A detached diagram may outlive the session (deleted later, with the sheet's children).
  if (!detached_) session_.removeObserver(this);
  maximum_->disconnect(this);
}

void CScatterDlg::fillOutputs() {
  const int outputs = session_.dataSet().outputCount();
  if (output_->count() == outputs) return;
  output_->clear();
  for (int j = 1; j <= outputs; ++j) output_->addItem(QString::number(j));
  model_.setOutput(0);
  output_->setCurrentIndex(outputs > 0 ? 0 : -1);
}

void CScatterDlg::refresh() {
  deferred_.stop();
  sinceRefresh_.start();
  fillOutputs();
  data_ = collectScatterData(NetworkSnapshot::take(session_.run()), model_.output());
  picture_->redraw();
}

void CScatterDlg::detach() {
  session_.removeObserver(this);
  detached_ = true;
  deferred_.stop();
}

void CScatterDlg::sessionChanged(unsigned changes) {
  if (detached_) return;
  if (!(changes & (kHistoriesChanged | kNetworkChanged | kTestSetChanged | kDataSetChanged))) return;
  // While the worker runs the deliveries come up to 30 times a second; the diagram follows at
  // its own pace, and the delivery at the end of training always refreshes it.
  if (session_.isTraining() && sinceRefresh_.isValid() && sinceRefresh_.elapsed() < kRefreshInterval) {
    if (!deferred_.isActive()) deferred_.start(static_cast<int>(kRefreshInterval - sinceRefresh_.elapsed()));
    return;
  }
  refresh();
}

void CScatterDlg::outputChosen() {
  model_.setOutput(output_->currentIndex());
  refresh();
}

void CScatterDlg::maximumLeft() {
  // A value outside 0.1 … 100000.0 (or not a number) is refused: the edit shows the kept one.
  model_.setMaximumText(maximum_->text().trimmed().toStdString());
  maximum_->setText(QString::fromStdString(model_.maximumText()));
  picture_->redraw();
}
