#include "mlp/workbench/qt/training_notifier.h"

#include <QMetaObject>

TrainingNotifier::TrainingNotifier(VantorSession& session, QObject* parent)
    : QObject(parent), session_(session) {
  deferred_.setSingleShot(true);
  connect(&deferred_, &QTimer::timeout, this, [this] { deliverEpochs(); });
  session_.setTrainingRelay(this);
}

TrainingNotifier::~TrainingNotifier() {
  session_.setTrainingRelay(nullptr);
}

void TrainingNotifier::epochFinished() {
  // One delivery in flight at a time: the epochs it has not yet shown are shown by it.
  if (epochPosted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { deliverEpochs(); }, Qt::QueuedConnection);
}

void TrainingNotifier::trainingEnded() {
  QMetaObject::invokeMethod(
      this, [this] { deliverEnd(); }, Qt::QueuedConnection);
}

void TrainingNotifier::deliverEpochs() {
  if (!epochPosted_.load()) return;  // the end came first and showed everything
  if (sinceDelivery_.isValid()) {
    const auto elapsed = std::chrono::milliseconds(sinceDelivery_.elapsed());
    if (elapsed < interval_) {
      if (!deferred_.isActive()) deferred_.start(interval_ - elapsed);
      return;
    }
  }
  sinceDelivery_.start();
  // Cleared before the delivery, so an epoch finished meanwhile posts again.
  epochPosted_.store(false);
  ++epochDeliveries_;
  session_.DeliverEpochs();
}

void TrainingNotifier::deliverEnd() {
  deferred_.stop();
  epochPosted_.store(false);
  ++endDeliveries_;
  session_.DeliverTrainingEnd();
}
