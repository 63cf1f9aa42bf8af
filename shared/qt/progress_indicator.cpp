#include "shared/qt/progress_indicator.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const char* const kPlainCaption = "Progress indicator";
const char* const kTrainingCaption = "Training process...";
const char* const kOutputCaption = " ";
const char* const kInitialPercentage = " 0 %";

bool hasPercentage(ProgressIndicator::Variant v) {
  return v != ProgressIndicator::Variant::Vantor;
}
bool hasMessage(ProgressIndicator::Variant v) {
  return v != ProgressIndicator::Variant::GridwiseCancellable;
}
bool hasCancel(ProgressIndicator::Variant v) {
  return v == ProgressIndicator::Variant::GridwiseCancellable ||
         v == ProgressIndicator::Variant::GridwiseOutput;
}

QString defaultCaption(ProgressIndicator::Variant v) {
  switch (v) {
    case ProgressIndicator::Variant::GridwiseCancellable:
      return kTrainingCaption;
    case ProgressIndicator::Variant::GridwiseOutput:
      return kOutputCaption;
    default:
      return kPlainCaption;
  }
}

}  // namespace

ProgressIndicator::ProgressIndicator(Variant variant, const QString& caption) : variant_(variant) {
  setWindowTitle(caption.isEmpty() ? defaultCaption(variant) : caption);
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  layout->addWidget(bar_);
  if (hasPercentage(variant)) {
    percentage_ = new QLabel(kInitialPercentage, this);
    percentage_->setAlignment(Qt::AlignCenter);
    layout->addWidget(percentage_);
  }
  if (hasMessage(variant)) {
    message_ = new QLabel(this);
    layout->addWidget(message_);
  }
  if (hasCancel(variant)) {
    cancel_ = new QPushButton(tr("Cancel"), this);
    // Cancel only raises the flag; the operation decides when to stop and closes the window.
    connect(cancel_, &QPushButton::clicked, this, [this] { requestCancel(); });
    layout->addWidget(cancel_);
  }
  setMinimumWidth(300);
}

ProgressIndicator::~ProgressIndicator() {
  destroyIndicator();
}

bool ProgressIndicator::create(QWidget* parent) {
  owner_ = parent ? parent->window() : QApplication::activeWindow();
  if (owner_ == this) owner_ = nullptr;
  if (owner_ && owner_->isEnabled()) {
    owner_->setEnabled(false);
    ownerDisabled_ = true;
  }
  bar_->setRange(minimum_, maximum_);
  bar_->setValue(minimum_);
  show();
  if (!isVisible() && !testAttribute(Qt::WA_WState_Created)) {
    destroyIndicator();
    return false;
  }
  pumpEvents();
  return true;
}

void ProgressIndicator::destroyIndicator() {
  if (ownerDisabled_) {
    if (owner_) owner_->setEnabled(true);
    ownerDisabled_ = false;
  }
  hide();
}

void ProgressIndicator::setText(const std::string& text) {
  if (message_) message_->setText(QString::fromStdString(text));
}

void ProgressIndicator::setPosition(int position) {
  pumpEvents();
  bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
  if (percentage_) {
    const QString text = formatPercentage(position, minimum_, maximum_);
    if (percentage_->text() != text) percentage_->setText(text);
  }
}

bool ProgressIndicator::cancelRequested() {
  pumpEvents();
  const bool requested = cancelFlag_;
  cancelFlag_ = false;
  return requested;
}

void ProgressIndicator::setRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
  bar_->setRange(minimum, maximum);
}

QString ProgressIndicator::messageText() const {
  return message_ ? message_->text() : QString();
}
QString ProgressIndicator::percentageText() const {
  return percentage_ ? percentage_->text() : QString();
}
int ProgressIndicator::position() const {
  return bar_->value();
}

QString ProgressIndicator::formatPercentage(int p, int minimum, int maximum) {
  // An empty range has nothing left to do: show it as complete rather than divide by zero.
  const long long span = static_cast<long long>(maximum) - minimum;
  const long long q = span == 0 ? 100 : (static_cast<long long>(p) - minimum) * 100 / span;
  return QString::asprintf("%d%c", static_cast<int>(q == 100 ? q : q % 100), '%');
}

void ProgressIndicator::pumpEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ProgressIndicator::waitPumping(std::chrono::milliseconds pause) {
  pumpEvents();
  if (pause.count() <= 0) return;
  // A nested loop that a timer ends: events are delivered as they come, without polling.
  QEventLoop loop;
  QTimer::singleShot(pause, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::AllEvents);
}
