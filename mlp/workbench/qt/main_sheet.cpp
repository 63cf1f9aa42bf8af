#include "mlp/workbench/qt/main_sheet.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QIcon>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QUrl>
#include <filesystem>

#include "mlp/workbench/qt/analysis_job.h"
#include "mlp/workbench/qt/data_page.h"
#include "mlp/workbench/qt/graphs/vantor_graphs.h"
#include "mlp/workbench/qt/output_page.h"
#include "mlp/workbench/qt/training_notifier.h"
#include "mlp/workbench/qt/views/net_page.h"
#include "mlp/workbench/qt/views/training_page.h"
#include "mlp/workbench/qt/views/vantor_dialog_presenter.h"
#include "platform/dynamic_library.h"
#include "platform/prompter.h"
#include "shared/help_location.h"
#include "shared/qt/qt_tool_ui.h"
#include "shared/tool_task.h"

namespace {

using platform::MB_ICONINFORMATION;
using platform::MB_OK;

// The tool's icon: three layers of red neurons joined to the next layer.
QIcon sheetIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = size / 9.0;
    const double xs[] = {size * 0.18, size * 0.5, size * 0.82};
    const int counts[] = {3, 2, 1};
    auto centre = [&](int layer, int j) {
      return QPointF(xs[layer], size * (j + 1.0) / (counts[layer] + 1));
    };
    painter.setPen(QPen(Qt::black, size / 24.0));
    for (int layer = 0; layer < 2; ++layer)
      for (int a = 0; a < counts[layer]; ++a)
        for (int b = 0; b < counts[layer + 1]; ++b) painter.drawLine(centre(layer, a), centre(layer + 1, b));
    painter.setBrush(QColor(230, 0, 0));
    for (int layer = 0; layer < 3; ++layer)
      for (int j = 0; j < counts[layer]; ++j) painter.drawEllipse(centre(layer, j), r, r);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

CMainSheet* CMainSheet::open(std::unique_ptr<CTask> task, std::optional<std::string> installFolder) {
  auto* sheet = new CMainSheet(std::move(task), std::move(installFolder));
  if (!sheet->initialise()) {
    delete sheet;
    return nullptr;
  }
  // Room for the lists' "name (normalisation)" lines and the network picture.
  sheet->resize(sheet->sizeHint().expandedTo(QSize(720, 520)));
  sheet->show();
  sheet->raise();
  sheet->activateWindow();
  return sheet;
}

CMainSheet::CMainSheet(std::unique_ptr<CTask> task, std::optional<std::string> installFolder)
    : task_(std::move(task)),
      session_(std::make_unique<VantorSession>(task_->table(), std::move(installFolder))) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8(VantorSession::kSheetCaption));
  setWindowIcon(sheetIcon());
}

bool CMainSheet::initialise() {
  buildMenus();
  if (!session_->Initialise()) return false;
  notifier_ = std::make_unique<TrainingNotifier>(*session_);
  presenter_ = std::make_unique<QtDialogPresenter>(this);
  session_->setDialogPresenter(presenter_.get());
  session_->setOwnerWindow(this);
  graphs_ = std::make_unique<VantorGraphs>(*session_, this);
  buildPages();
  session_->addObserver(this);
  task_->setMainWindow(this);
  return true;
}

CMainSheet::~CMainSheet() {
  if (task_) task_->setMainWindow(nullptr);
  if (session_) {
    session_->removeObserver(this);
    session_->setDialogPresenter(nullptr);
  }
  // The pages and graph windows refer to the session, the session to the task's table: free
  // them in that order, before QWidget deletes the children.
  if (graphs_) graphs_->closeAll();
  graphs_.reset();
  delete tabs_;
  tabs_ = nullptr;
  session_.reset();
  notifier_.reset();
  presenter_.reset();
  task_.reset();
}

void CMainSheet::buildMenus() {
  QMenu* help = menuBar()->addMenu(tr(kHelpMenuText));
  helpAction_ = help->addAction(tr(kHelpTopicsText), this, &CMainSheet::showHelp);
  helpAction_->setShortcut(QKeySequence::HelpContents);
  // Before "About": the commands first, the program's box last.
  saveJobAction_ = help->addAction(tr(kSaveJobText), this, &CMainSheet::saveAnalysisAsJob);
  help->addSeparator();
  aboutAction_ = help->addAction(tr(kAboutText), this, &CMainSheet::showAbout);
}

bool CMainSheet::saveAnalysisAsJob() {
  return saveVantorAnalysisAsJob(*session_, *task_);
}

void CMainSheet::buildPages() {
  tabs_ = new QTabWidget(this);
  dataPage_ = new CDataPage(*session_, graphs_.get(), tabs_);
  netPage_ = new CNetPage(*session_, tabs_);
  trainingPage_ = new CTrainingPage(*session_, *graphs_, tabs_);
  outputPage_ = new COutputPage(*session_, task_->connection(), tabs_);
  tabs_->addTab(dataPage_, tr("Data"));
  tabs_->addTab(netPage_, tr("Network"));
  tabs_->addTab(trainingPage_, tr("Training"));
  tabs_->addTab(outputPage_, tr("Output"));
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { refreshPage(); });
  setCentralWidget(tabs_);
  refreshPage();
}

QWidget* CMainSheet::page(Page which) const {
  return tabs_ ? tabs_->widget(static_cast<int>(which)) : nullptr;
}

void CMainSheet::refreshPage() {
  if (!tabs_) return;
  QWidget* shown = tabs_->currentWidget();
  if (!shown) return;
  if (shown == netPage_) {
    netPage_->onActivate();
    return;
  }
  if (shown == trainingPage_) {
    trainingPage_->onActivate();
    return;
  }
  if (auto* page = dynamic_cast<SheetPage*>(shown)) page->activatePage();
}

void CMainSheet::sessionChanged(unsigned changes) {
  // Training started or ended: the shown page re-reads the sheet, as after WM_REFRESHPAGE.
  if (changes & kTrainingStateChanged) refreshPage();
  // A discarded network takes its graph windows with it.
  if ((changes & kNetworkChanged) && !session_->networkExists() && graphs_) graphs_->closeAll();
}

void CMainSheet::postClose() {
  postCloseRequest(this);
}

void CMainSheet::closeEvent(QCloseEvent* event) {
  // A close that arrives while a dialog runs (the host closing, the library unloading) would
  // free the session under the command that opened it: the sheet stays until it is answered.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->raise();
    modal->activateWindow();
    event->ignore();
    return;
  }
  if (!session_ || !session_->RequestClose()) {
    event->ignore();
    return;
  }
  if (graphs_) graphs_->closeAll();
  event->accept();
}

std::string CMainSheet::helpIndexPath(std::string* lookedAt) {
  static const int anchor = 0;
  return findHelpIndex("vantor", &anchor, lookedAt);
}

void CMainSheet::showHelp() {
  std::string places;
  const std::string index = helpIndexPath(&places);
  if (index.empty()) {
    platform::prompter().messageBox("The Vantor help is not installed. It was looked for in:" + places,
                                    kVantorApplicationName, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(index))))
    platform::prompter().messageBox("The help page " + index + " could not be opened in a browser.",
                                    kVantorApplicationName, MB_OK | MB_ICONINFORMATION);
}

std::string CMainSheet::aboutText() {
  return std::string(kAboutFirstLine) +
         "\n\nMultilayer perceptrons trained on your worksheet's columns, with input significance by "
         "boxcounting.";
}

void CMainSheet::showAbout() {
  platform::prompter().messageBox(aboutText(), kAboutCaption, MB_OK | MB_ICONINFORMATION);
}
