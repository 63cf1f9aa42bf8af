#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>

#include "mlp/workbench/vantor_session.h"

// Carries a session's training notifications from the worker thread to the GUI thread: each
// epoch posts at most one queued delivery, and deliveries are spaced at least minInterval
// apart (about 30 a second by default), so however fast the epochs come the windows repaint
// at a steady rate and never slow the run. The end of training is posted on its own and is
// always delivered, after any epochs before it and with no epoch delivery after it.
//
// Create on the GUI thread, before training starts; it installs itself as the session's relay
// and removes itself when destroyed, which must not happen while training runs.
class TrainingNotifier final : public QObject, public TrainingRelay {
 public:
  static constexpr std::chrono::milliseconds kDefaultInterval{33};

  explicit TrainingNotifier(VantorSession& session, QObject* parent = nullptr);
  ~TrainingNotifier() override;

  void setMinInterval(std::chrono::milliseconds interval) { interval_ = interval; }

  // Worker thread.
  void epochFinished() override;
  void trainingEnded() override;

  // How many epoch deliveries and end deliveries reached the session (GUI thread).
  int epochDeliveries() const { return epochDeliveries_; }
  int endDeliveries() const { return endDeliveries_; }

 private:
  void deliverEpochs();
  void deliverEnd();

  VantorSession& session_;
  std::chrono::milliseconds interval_ = kDefaultInterval;
  // Set while an epoch delivery is posted or waiting for its turn; epochs meanwhile add nothing.
  std::atomic<bool> epochPosted_{false};
  QTimer deferred_;
  QElapsedTimer sinceDelivery_;
  int epochDeliveries_ = 0;
  int endDeliveries_ = 0;
};
