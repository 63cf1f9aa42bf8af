#include "mlp/workbench/qt/data_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "mlp/workbench/qt/graphs/vantor_graphs.h"

namespace {

QListWidget* displayList(QWidget* parent) {
  auto* list = new QListWidget(parent);
  // The lists only show the choice; they are made in the select dialogs.
  list->setSelectionMode(QAbstractItemView::NoSelection);
  list->setFocusPolicy(Qt::NoFocus);
  return list;
}

}  // namespace

CDataPage::CDataPage(VantorSession& session, VantorGraphs* graphs, QWidget* parent)
    : QWidget(parent),
      session_(session),
      graphs_(graphs),
      inputs_(displayList(this)),
      outputs_(displayList(this)),
      selectInputs_(new QPushButton(tr("Select Inputs..."), this)),
      selectOutputs_(new QPushButton(tr("Select Outputs..."), this)),
      boxcounting_(new QPushButton(tr("Boxcounting..."), this)),
      loadProject_(new QPushButton(tr("Load Project..."), this)),
      saveProject_(new QPushButton(tr("Save Project..."), this)) {
  setWindowTitle(tr("Data"));
  auto* inputsLabel = new QLabel(tr("Inputs:"), this);
  auto* outputsLabel = new QLabel(tr("Outputs:"), this);
  inputsLabel->setBuddy(selectInputs_);
  outputsLabel->setBuddy(selectOutputs_);

  auto* lists = new QGridLayout;
  lists->addWidget(inputsLabel, 0, 0);
  lists->addWidget(outputsLabel, 0, 1);
  lists->addWidget(inputs_, 1, 0);
  lists->addWidget(outputs_, 1, 1);
  lists->addWidget(selectInputs_, 2, 0);
  lists->addWidget(selectOutputs_, 2, 1);
  lists->setRowStretch(1, 1);

  auto* commands = new QHBoxLayout;
  commands->addWidget(loadProject_);
  commands->addWidget(saveProject_);
  commands->addStretch(1);
  commands->addWidget(boxcounting_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists, 1);
  layout->addLayout(commands);

  connect(selectInputs_, &QPushButton::clicked, this, [this] {
    session_.SelectInputs();
    refillLists();
  });
  connect(selectOutputs_, &QPushButton::clicked, this, [this] {
    session_.SelectOutputs();
    refillLists();
  });
  connect(loadProject_, &QPushButton::clicked, this, [this] {
    session_.LoadProject();
    activatePage();
  });
  connect(saveProject_, &QPushButton::clicked, this, [this] { session_.SaveProject(); });
  connect(boxcounting_, &QPushButton::clicked, this, &CDataPage::boxcount);

  session_.addObserver(this);
  activatePage();
}

CDataPage::~CDataPage() {
  session_.removeObserver(this);
}

void CDataPage::activatePage() {
  updateButtons();
  refillLists();
}

void CDataPage::sessionChanged(unsigned changes) {
  if (changes & kTrainingStateChanged) updateButtons();
  if (changes & kDataSetChanged) refillLists();
}

void CDataPage::updateButtons() {
  const bool idle = !session_.isTraining();
  for (QPushButton* button : {selectInputs_, selectOutputs_, loadProject_, saveProject_})
    button->setEnabled(idle);
}

void CDataPage::refillLists() {
  inputs_->clear();
  outputs_->clear();
  if (session_.inputsChosen())
    for (const std::string& line : session_.InputLines()) inputs_->addItem(QString::fromStdString(line));
  if (session_.outputsChosen())
    for (const std::string& line : session_.OutputLines()) outputs_->addItem(QString::fromStdString(line));
}

void CDataPage::boxcount() {
  const significance::BoxCounter* results = session_.Boxcounting();
  if (!results) return;
  if (graphs_) graphs_->showBoxcountingResults(*results);
}
