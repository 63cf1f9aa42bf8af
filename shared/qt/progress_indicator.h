#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <chrono>

#include "shared/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

// A small modeless window with a progress bar, an optional message line, an optional
// percentage and (in two variants) a Cancel button. While it is shown its owner window is
// disabled so no second operation can start from it, and every reported position pumps the
// thread's pending events so the windows stay alive during long work on the GUI thread.
// Belongs to the thread that created it.
class ProgressIndicator : public QDialog, public ProgressSink {
  Q_OBJECT

 public:
  enum class Variant {
    Vantor,               // bar and message line; "Progress indicator"
    GridwisePlain,        // bar, percentage and message line; "Progress indicator"
    GridwiseCancellable,  // Cancel, bar, percentage; "Training process..."
    GridwiseOutput,       // Cancel, bar, percentage and message line; a single blank caption
  };

  // caption replaces the variant's caption when not empty.
  explicit ProgressIndicator(Variant variant, const QString& caption = QString());
  ~ProgressIndicator() override;

  // Finds the safe owner of parent (its top-level window), disables it if it is enabled, and
  // shows the indicator modeless with the bar at its minimum. Returns false (owner re-enabled)
  // when the window cannot be made.
  bool create(QWidget* parent);
  // Re-enables the owner if this indicator disabled it, and closes the window.
  void destroyIndicator();

  void setText(const std::string& text) override;
  void setPosition(int position) override;
  // Pumps events, then returns the Cancel flag and clears it.
  bool cancelRequested() override;
  // finish(pause) sets the bar full and keeps the window up for pause while events flow.

  void setRange(int minimum, int maximum);
  void setStep(int step) { step_ = step; }
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  int step() const { return step_; }

  Variant variant() const { return variant_; }
  QString messageText() const;
  QString percentageText() const;  // empty in variants without a percentage
  int position() const;
  bool ownerDisabled() const { return ownerDisabled_; }
  QWidget* owner() const { return owner_; }
  QPushButton* cancelButton() const { return cancel_; }

  // The percentage shown for position p in [minimum, maximum]: q = (p − minimum)·100 /
  // (maximum − minimum) in integers, shown as "100%" when q is exactly 100 and as q mod 100
  // otherwise (so positions past the end wrap: 150 of 0…100 shows "50%").
  static QString formatPercentage(int p, int minimum, int maximum);

  // Gives every pending event of this thread to its receiver.
  static void pumpEvents();
  // Returns after about pause, running this thread's event loop meanwhile (timers, input,
  // repaints), so windows stay alive while a finished bar is shown.
  static void waitPumping(std::chrono::milliseconds pause);

 protected:
  void holdFinished(std::chrono::milliseconds pause) override { waitPumping(pause); }

 private:
  void requestCancel() { cancelFlag_ = true; }

  Variant variant_;
  int minimum_ = 0;
  int maximum_ = kProgressFullScale;
  int step_ = 1;
  bool ownerDisabled_ = false;
  bool cancelFlag_ = false;
  QPointer<QWidget> owner_;
  QProgressBar* bar_ = nullptr;
  QLabel* percentage_ = nullptr;
  QLabel* message_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
