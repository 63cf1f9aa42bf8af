#include "kohonen/workbench/qt/main_sheet.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>
#include <filesystem>

#include "kohonen/workbench/dialog_hooks.h"
#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/qt/analysis_job.h"
#include "kohonen/workbench/qt/dialogs/gridwise_dialogs.h"
#include "kohonen/workbench/qt/maps/gridwise_maps.h"
#include "kohonen/workbench/qt/project_page.h"
#include "kohonen/workbench/qt/results_page.h"
#include "platform/dynamic_library.h"
#include "shared/help_location.h"
#include "shared/qt/qt_tool_ui.h"

namespace {

constexpr char kAboutText[] =
    "Gridwise\n\nKohonen self-organising maps of spreadsheet tables, trained on the chosen columns or "
    "on their leading principal components.\n\nPress F1 in the Gridwise window for its help pages.\n\n"
    "Part of Lumivane for Linux.";

// A first size that shows both pages' controls without crowding.
constexpr int kInitialWidth = 600;
constexpr int kInitialHeight = 420;
// How soon a close kept back by an open dialog is tried again.
constexpr std::chrono::milliseconds kCloseRetry{100};

QPixmap iconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  // A 3 × 3 map whose cells shade from dark to light, as a map window colours them.
  constexpr int kCells = 3;
  const double cell = static_cast<double>(size) / kCells;
  for (int r = 0; r < kCells; ++r)
    for (int c = 0; c < kCells; ++c) {
      const int shade = 60 + (r + c) * 45;
      painter.fillRect(QRectF(c * cell + 1, r * cell + 1, cell - 2, cell - 2),
                       QColor(shade / 2, shade, 255 - shade / 3));
    }
  return pixmap;
}

}  // namespace

QIcon gridwiseIcon() {
  QIcon icon;
  icon.addPixmap(iconPixmap(16));
  icon.addPixmap(iconPixmap(32));
  return icon;
}

CMainSheet::CMainSheet(std::unique_ptr<CTask> task, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      task_(std::move(task)) {
  setWindowTitle(kCaption);
  setWindowIcon(gridwiseIcon());
  setObjectName("GridwiseMainSheet");

  session_ = std::make_unique<GridwiseSession>(task_->table(), task_->connection());
  session_->openSheet();
  maps_ = std::make_unique<MapWindowSet>(*session_, this);

  auto* menu = new QMenuBar(this);
  buildMenu(menu);
  const CommandRunner run = [this](const std::function<void()>& command) { runCommand(command); };
  pages_ = new QTabWidget(this);
  projectPage_ = new ProjectPage(*session_, run, pages_);
  resultsPage_ = new ResultsPage(*session_, *maps_, run, pages_);
  pages_->addTab(projectPage_, tr("Project"));
  pages_->addTab(resultsPage_, tr("Results"));

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu);
  layout->addWidget(pages_);
  resize(kInitialWidth, kInitialHeight);

  task_->setMainWindow(this);
}

CMainSheet::~CMainSheet() {
  task_->setMainWindow(nullptr);
  // The windows and pages observe the session and the session reads the task's table: they go
  // in that order.
  maps_.reset();
  delete pages_;
  pages_ = nullptr;
  session_.reset();
  task_.reset();
}

void CMainSheet::buildMenu(QMenuBar* menu) {
  QMenu* program = menu->addMenu(tr("&Program"));
  QMenu* preferences = program->addMenu(tr("P&references"));
  setCustom_ = preferences->addAction(tr("&Set Custom..."));
  setDefaults_ = preferences->addAction(tr("Set &Defaults"));
  program->addSeparator();
  saveJob_ = program->addAction(tr("Save analysis as &job…"));
  QMenu* help = menu->addMenu(tr("&Help"));
  about_ = help->addAction(tr("&About"));
  connect(setCustom_, &QAction::triggered, this,
          [this] { runCommand([this] { session_->setCustomPreferences(); }); });
  connect(setDefaults_, &QAction::triggered, this,
          [this] { runCommand([this] { session_->setDefaultPreferences(); }); });
  connect(about_, &QAction::triggered, this, [this] { runCommand([this] { showAbout(); }); });
  connect(saveJob_, &QAction::triggered, this,
          [this] { runCommand([this] { saveGridwiseAnalysisAsJob(*session_, *task_); }); });
  // The sheet's help command is the F1 key; the Help menu keeps its single entry.
  help_ = new QAction(tr("Help"), this);
  help_->setShortcut(QKeySequence::HelpContents);
  help_->setShortcutContext(Qt::WindowShortcut);
  addAction(help_);
  connect(help_, &QAction::triggered, this, [this] { runCommand([this] { showHelp(); }); });
}

std::string CMainSheet::helpIndexPath(std::string* lookedAt) {
  static const int anchor = 0;
  return findHelpIndex("gridwise", &anchor, lookedAt);
}

void CMainSheet::showHelp() {
  std::string places;
  const std::string index = helpIndexPath(&places);
  if (index.empty()) {
    gridwiseMessage("The Gridwise help is not installed. It was looked for in:" + places, kRefusalBox);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(index))))
    gridwiseMessage("The help page " + index + " could not be opened in a browser.", kRefusalBox);
}

void CMainSheet::showAbout() {
  gridwiseMessage(kAboutText, platform::MB_OK | platform::MB_ICONINFORMATION);
}

void CMainSheet::runCommand(const std::function<void()>& command) {
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  };
  {
    Depth depth(commandDepth_);
    // Progress windows and dialogs are owned by the active window. When a window system does
    // not hand activation back after the last one closed, nothing is active: this sheet is
    // where the command came from.
    if (!QApplication::activeWindow() && isVisible()) QApplication::setActiveWindow(this);
    command();
  }
  if (commandDepth_ == 0 && closePending_) {
    closePending_ = false;
    postClose();
  }
}

bool CMainSheet::ownsModalDialog() const {
  for (const QWidget* w = QApplication::activeModalWidget(); w; w = w->parentWidget())
    if (w == this) return true;
  return false;
}

void CMainSheet::postClose() {
  postCloseRequest(this);
}

void CMainSheet::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  if (commandDepth_ > 0) {
    // Closing now would free the session under the command's feet.
    closePending_ = true;
    event->ignore();
    return;
  }
  if (ownsModalDialog()) {
    // A dialog of this sheet opened from a map window (a cell's description) is up: its
    // command is not one of the pages', so try again once it has gone.
    event->ignore();
    QTimer::singleShot(kCloseRetry, this, [this] { postClose(); });
    return;
  }
  closed_ = true;
  maps_->closeAll();
  session_->closeSheet();
  event->accept();
  // Deleted from the event loop, not from inside its own event handler; the task ends with it.
  QPointer<CMainSheet> self(this);
  QTimer::singleShot(0, qApp, [self] { delete self.data(); });
}

void installGridwiseWindows() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  installQtToolUi();
  GridwiseDialogHooks hooks;
  installGridwiseDialogViews(hooks);
  installMapDialogViews(hooks);
  setGridwiseDialogHooks(std::move(hooks));
}

void openGridwiseSheet(std::unique_ptr<CTask> task) {
  if (!task) return;
  auto* sheet = new CMainSheet(std::move(task));
  sheet->show();
  sheet->raise();
  sheet->activateWindow();
}
