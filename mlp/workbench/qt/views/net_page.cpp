#include "mlp/workbench/qt/views/net_page.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "mlp/engine/perceptron.h"
#include "mlp/workbench/qt/views/network_picture.h"

CNetPage::CNetPage(VantorSession& session, QWidget* parent) : QWidget(parent), session_(session) {
  setWindowTitle(tr("Network"));
  picture_ = new NetworkPicture(this);
  picture_->setContextMenuPolicy(Qt::CustomContextMenu);
  create_ = new QPushButton(tr("Create Net..."), this);
  load_ = new QPushButton(tr("Load Net..."), this);
  save_ = new QPushButton(tr("Save Net..."), this);
  // Only "Create Net..." shows; the other two keep their enable state while hidden.
  load_->hide();
  save_->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(create_);
  buttons->addWidget(load_);
  buttons->addWidget(save_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(picture_, 1);
  layout->addLayout(buttons);

  connect(create_, &QPushButton::clicked, this, &CNetPage::createNet);
  connect(load_, &QPushButton::clicked, this, &CNetPage::loadNet);
  connect(save_, &QPushButton::clicked, this, &CNetPage::saveNet);
  connect(picture_, &QWidget::customContextMenuRequested, this, &CNetPage::showPictureMenu);

  session_.addObserver(this);
  onActivate();
}

CNetPage::~CNetPage() {
  session_.removeObserver(this);
}

void CNetPage::onActivate() {
  const bool training = session_.isTraining();
  create_->setEnabled(!training);
  load_->setEnabled(!training);
  save_->setEnabled(!training && session_.networkExists());
  refreshPicture();
}

void CNetPage::refreshPicture() {
  // The structure never changes while a network lives, so it is read without waiting for an
  // epoch; an unchanged shape leaves the cached picture as it is.
  const Perceptron* network = session_.network();
  picture_->setShape(network ? std::optional<NetworkShape>(networkShape(*network)) : std::nullopt);
}

void CNetPage::sessionChanged(unsigned changes) {
  if (changes & (kNetworkChanged | kTrainingStateChanged)) onActivate();
}

void CNetPage::createNet() {
  session_.CreateNetwork();
  onActivate();
}

void CNetPage::loadNet() {
  session_.LoadNetwork();
  onActivate();
}

void CNetPage::saveNet() {
  session_.SaveNetwork();
  onActivate();
}

void CNetPage::showPictureMenu(const QPoint& position) {
  QMenu menu(this);
  QAction* load = menu.addAction(load_->text());
  load->setEnabled(load_->isEnabled());
  QAction* save = menu.addAction(save_->text());
  save->setEnabled(save_->isEnabled());
  QAction* chosen = menu.exec(picture_->mapToGlobal(position));
  if (chosen == load)
    loadNet();
  else if (chosen == save)
    saveNet();
}
