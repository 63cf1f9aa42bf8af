#include "mlp/workbench/qt/views/training_page.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "mlp/workbench/qt/graphs/vantor_graphs.h"

CTrainingPage::CTrainingPage(VantorSession& session, VantorGraphs& graphs, QWidget* parent)
    : QWidget(parent), session_(session), graphs_(graphs) {
  setWindowTitle(tr("Training"));
  auto button = [this](const char* text) { return new QPushButton(tr(text), this); };
  start_ = button("Start training");
  stop_ = button("Stop training");
  randomize_ = button("Randomize synapses...");
  clear_ = button("Clear epoches");
  stopping_ = button("Stopping criteria...");
  testSet_ = button("Edit test set...");
  selectAlgorithm_ = button("Select algorithm...");
  editAlgorithm_ = button("Edit current algorithm...");
  scatter_ = button("Scattering diagram");
  errors_ = button("Errors history");
  answers_ = button("Network answers...");
  restoreBest_ = button("Restore best network");
  restoreBest_->setToolTip(tr("Put back the network with the lowest error seen while training"));

  auto* commands = new QGroupBox(tr("Commands"), this);
  auto* commandsLayout = new QGridLayout(commands);
  commandsLayout->addWidget(start_, 0, 0);
  commandsLayout->addWidget(stop_, 0, 1);
  commandsLayout->addWidget(randomize_, 1, 0);
  commandsLayout->addWidget(clear_, 1, 1);
  commandsLayout->addWidget(stopping_, 2, 0);
  commandsLayout->addWidget(testSet_, 2, 1);
  commandsLayout->addWidget(restoreBest_, 3, 0, 1, 2);

  auto* algorithm = new QGroupBox(tr("Training Algorithm"), this);
  auto* algorithmLayout = new QVBoxLayout(algorithm);
  algorithmLayout->addWidget(selectAlgorithm_);
  algorithmLayout->addWidget(editAlgorithm_);

  auto* graphsGroup = new QGroupBox(tr("Graphs"), this);
  auto* graphsLayout = new QVBoxLayout(graphsGroup);
  graphsLayout->addWidget(scatter_);
  graphsLayout->addWidget(errors_);
  graphsLayout->addWidget(answers_);

  auto* info = new QGroupBox(tr("Training Info"), this);
  auto* infoLayout = new QFormLayout(info);
  epochs_ = new QLabel(this);
  testError_ = new QLabel(this);
  trainingError_ = new QLabel(this);
  best_ = new QLabel(this);
  // "%8.5g" pads to eight places: a fixed-pitch font keeps the numbers aligned.
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (QLabel* text : {epochs_, testError_, trainingError_, best_}) {
    text->setFont(fixed);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setMinimumWidth(90);
  }
  infoLayout->addRow(tr("Epoches"), epochs_);
  infoLayout->addRow(tr("Test error"), testError_);
  infoLayout->addRow(tr("Training error"), trainingError_);
  infoLayout->addRow(tr("Best kept"), best_);

  auto* grid = new QGridLayout(this);
  grid->addWidget(commands, 0, 0);
  grid->addWidget(algorithm, 0, 1);
  grid->addWidget(graphsGroup, 1, 0);
  grid->addWidget(info, 1, 1);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);

  connect(start_, &QPushButton::clicked, this, [this] {
    session_.StartTraining();
    RefreshButtons();
  });
  connect(stop_, &QPushButton::clicked, this, [this] { session_.StopTraining(); });
  connect(randomize_, &QPushButton::clicked, this, [this] { session_.RandomizeSynapses(); });
  connect(clear_, &QPushButton::clicked, this, [this] {
    session_.ClearHistory();
    RefreshButtons();
  });
  connect(restoreBest_, &QPushButton::clicked, this, [this] {
    session_.RestoreBestNetwork();
    RefreshButtons();
  });
  connect(stopping_, &QPushButton::clicked, this, [this] { session_.EditStoppingCriteria(); });
  connect(testSet_, &QPushButton::clicked, this, [this] { session_.EditTestSet(); });
  connect(selectAlgorithm_, &QPushButton::clicked, this, [this] { session_.SelectAlgorithm(); });
  connect(editAlgorithm_, &QPushButton::clicked, this, [this] { session_.EditAlgorithm(); });
  connect(scatter_, &QPushButton::clicked, this, [this] {
    if (session_.CheckTrainingData()) graphs_.showScatteringDiagram();
  });
  connect(errors_, &QPushButton::clicked, this, [this] {
    if (session_.CheckTrainingData()) graphs_.showErrorViewer();
  });
  connect(answers_, &QPushButton::clicked, this, [this] {
    if (session_.CheckTrainingData()) graphs_.showNetworkAnswers();
  });

  session_.addObserver(this);
  RefreshButtons();
}

CTrainingPage::~CTrainingPage() {
  session_.removeObserver(this);
}

void CTrainingPage::onActivate() {
  // While an epoch is under way the run measures nothing here; that epoch measures itself.
  session_.run().MeasureErrors();
  RefreshButtons();
}

void CTrainingPage::RefreshTexts() {
  epochs_->setText(QString::fromStdString(session_.EpochText()));
  testError_->setText(QString::fromStdString(session_.TestErrorText()));
  trainingError_->setText(QString::fromStdString(session_.TrainingErrorText()));
  best_->setText(QString::fromStdString(session_.BestNetworkText()));
}

void CTrainingPage::RefreshButtons() {
  RefreshTexts();
  const bool training = session_.isTraining();
  stop_->setEnabled(training);
  for (QPushButton* button :
       {start_, randomize_, clear_, selectAlgorithm_, editAlgorithm_, testSet_, answers_})
    button->setEnabled(!training);
  restoreBest_->setEnabled(!training && session_.bestNetworkKept());
  // "Scattering diagram", "Errors history" and "Stopping criteria..." stay enabled.
}

void CTrainingPage::sessionChanged(unsigned changes) {
  // The end of a run reaches the page as the sheet's refresh: the activation handler.
  if (changes & kTrainingStateChanged)
    onActivate();
  else if (changes & (kNetworkChanged | kDataSetChanged | kTestSetChanged))
    RefreshButtons();  // a kept best network may have been forgotten
  else if (changes & kHistoriesChanged)
    RefreshTexts();
}
