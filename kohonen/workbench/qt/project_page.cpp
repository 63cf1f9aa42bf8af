#include "kohonen/workbench/qt/project_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString toQt(const std::string& text) {
  return QString::fromStdString(text);
}

QGroupBox* twoLineGroup(const QString& title, QLabel* (&lines)[2], QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(group);
  for (QLabel*& line : lines) {
    line = new QLabel(group);
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(line);
  }
  return group;
}

}  // namespace

ProjectPage::ProjectPage(GridwiseSession& session, CommandRunner run, QWidget* parent)
    : QWidget(parent), session_(session), run_(std::move(run)) {
  auto* patternsGroup = new QGroupBox(tr("Patterns"), this);
  auto* patternsLayout = new QVBoxLayout(patternsGroup);
  patterns_ = new QListWidget(patternsGroup);
  patterns_->setObjectName("patterns");
  patterns_->setSelectionMode(QAbstractItemView::NoSelection);
  createPatterns_ = new QPushButton(tr("Create patterns..."), patternsGroup);
  patternsLayout->addWidget(patterns_, 1);
  patternsLayout->addWidget(createPatterns_, 0, Qt::AlignLeft);

  QGroupBox* components = twoLineGroup(tr("Principal components"), componentLines_, this);
  QGroupBox* network = twoLineGroup(tr("Kohonen Network"), networkLines_, this);
  // How well the trained map fits its patterns, under its size.
  qualityLine_ = new QLabel(network);
  qualityLine_->setObjectName("mapQuality");
  qualityLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  qualityLine_->setToolTip(
      tr("Quantisation error: mean distance of each row to its winning cell.\n"
         "Topographic error: share of rows whose two best cells are not neighbours."));
  network->layout()->addWidget(qualityLine_);
  createNetwork_ = new QPushButton(tr("Create Network..."), network);
  network->layout()->addWidget(createNetwork_);

  auto* project = new QGroupBox(tr("Project"), this);
  auto* projectLayout = new QVBoxLayout(project);
  loadProject_ = new QPushButton(tr("Load Project..."), project);
  saveProject_ = new QPushButton(tr("Save Project..."), project);
  projectLayout->addWidget(loadProject_);
  projectLayout->addWidget(saveProject_);

  auto* layout = new QGridLayout(this);
  layout->addWidget(patternsGroup, 0, 0, 3, 1);
  layout->addWidget(components, 0, 1);
  layout->addWidget(network, 1, 1);
  layout->addWidget(project, 2, 1);
  layout->setColumnStretch(0, 3);
  layout->setColumnStretch(1, 2);
  layout->setRowStretch(2, 1);

  connect(createPatterns_, &QPushButton::clicked, this,
          [this] { runCommand([this] { session_.createPatterns(); }); });
  connect(createNetwork_, &QPushButton::clicked, this,
          [this] { runCommand([this] { session_.createNetwork(); }); });
  connect(loadProject_, &QPushButton::clicked, this,
          [this] { runCommand([this] { session_.loadProject(); }); });
  connect(saveProject_, &QPushButton::clicked, this,
          [this] { runCommand([this] { session_.saveProject(); }); });

  session_.addObserver(*this);
  refresh();
}

ProjectPage::~ProjectPage() {
  session_.removeObserver(*this);
}

void ProjectPage::runCommand(const std::function<void()>& command) {
  if (run_)
    run_(command);
  else
    command();
  // The commands that fail without a change still leave the page as the session is now.
  refresh();
}

void ProjectPage::sessionChanged(unsigned changes) {
  if (changes & (kPatternsChanged | kComponentsChanged | kNetChanged)) refresh();
}

void ProjectPage::refresh() {
  patterns_->clear();
  for (const std::string& line : session_.patternLines()) patterns_->addItem(toQt(line));
  const std::vector<std::string> components = session_.componentLines();
  const std::vector<std::string> network = session_.networkLines();
  for (std::size_t i = 0; i < 2; ++i) {
    componentLines_[i]->setText(i < components.size() ? toQt(components[i]) : QString());
    networkLines_[i]->setText(i < network.size() ? toQt(network[i]) : QString());
  }
  const QString quality = toQt(session_.qualityLine());
  qualityLine_->setText(quality);
  qualityLine_->setVisible(!quality.isEmpty());
  createNetwork_->setEnabled(session_.canCreateNetwork());
  saveProject_->setEnabled(session_.canSaveProject());
}

QString ProjectPage::componentLine(int line) const {
  return line >= 0 && line < 2 ? componentLines_[line]->text() : QString();
}

QString ProjectPage::networkLine(int line) const {
  return line >= 0 && line < 2 ? networkLines_[line]->text() : QString();
}

QString ProjectPage::qualityLine() const {
  return qualityLine_->text();
}
