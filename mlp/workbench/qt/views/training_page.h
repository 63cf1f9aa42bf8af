#pragma once

#include <QWidget>

#include "mlp/workbench/vantor_session.h"

class QLabel;
class QPushButton;
class VantorGraphs;

// The "Training" page: the groups "Commands", "Training Algorithm", "Graphs" and "Training
// Info". Every button calls a session command; the three texts come from the session. While
// training runs only "Stop training" of the commands that change the run is enabled (and
// "Scattering diagram", "Errors history" and "Stopping criteria..." always are); the texts
// follow every recorded epoch, the buttons change on the activation handler, the start and
// clear commands and the end of a run.
class CTrainingPage : public QWidget, public VantorSessionObserver {
  Q_OBJECT

 public:
  CTrainingPage(VantorSession& session, VantorGraphs& graphs, QWidget* parent = nullptr);
  ~CTrainingPage() override;

  // The activation handler (also the sheet's answer to the end of a run): measures the errors,
  // then refreshes texts and buttons.
  void onActivate();
  void sessionChanged(unsigned changes) override;

  void RefreshTexts();
  void RefreshButtons();

  QPushButton* startButton() const { return start_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* randomizeButton() const { return randomize_; }
  QPushButton* clearButton() const { return clear_; }
  QPushButton* stoppingButton() const { return stopping_; }
  QPushButton* testSetButton() const { return testSet_; }
  QPushButton* selectAlgorithmButton() const { return selectAlgorithm_; }
  QPushButton* editAlgorithmButton() const { return editAlgorithm_; }
  QPushButton* scatterButton() const { return scatter_; }
  QPushButton* errorsButton() const { return errors_; }
  QPushButton* answersButton() const { return answers_; }
  QPushButton* restoreBestButton() const { return restoreBest_; }
  QLabel* bestLabel() const { return best_; }
  QLabel* epochLabel() const { return epochs_; }
  QLabel* testErrorLabel() const { return testError_; }
  QLabel* trainingErrorLabel() const { return trainingError_; }

 private:
  VantorSession& session_;
  VantorGraphs& graphs_;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* randomize_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* stopping_ = nullptr;
  QPushButton* testSet_ = nullptr;
  QPushButton* selectAlgorithm_ = nullptr;
  QPushButton* editAlgorithm_ = nullptr;
  QPushButton* scatter_ = nullptr;
  QPushButton* errors_ = nullptr;
  QPushButton* answers_ = nullptr;
  QPushButton* restoreBest_ = nullptr;
  QLabel* best_ = nullptr;
  QLabel* epochs_ = nullptr;
  QLabel* testError_ = nullptr;
  QLabel* trainingError_ = nullptr;
};
