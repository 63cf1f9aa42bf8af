#include "host/window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <thread>

#include "host/range_object.h"
#include "host/window/cell_format.h"
#include "host/window/sheet_view.h"
#include "host/workbook_io.h"
#include "platform/prompter.h"

namespace host {

namespace {

constexpr const char* kCaption = "Lumivane";
constexpr int kMaximumRecentFiles = 8;
const QString kRecentFilesKey = QStringLiteral("recentFiles");
constexpr const char* kOpenFilter =
    "Workbooks (*.xlsx;*.ods;*.csv)|*.xlsx;*.ods;*.csv|Excel workbooks (*.xlsx)|*.xlsx|"
    "OpenDocument spreadsheets (*.ods)|*.ods|CSV files (*.csv)|*.csv|All files (*.*)|*.*||";
constexpr const char* kSaveFilter = "Excel workbook (*.xlsx)|*.xlsx|CSV (comma separated) (*.csv)|*.csv||";

QString lowerExtension(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).suffix().toLower();
}

std::string areaReference(const CellArea& area) {
  if (area.rows() == 1 && area.cols() == 1) return cellName(area.top, area.left);
  return cellName(area.top, area.left) + ":" + cellName(area.bottom, area.right);
}

QSettings settings() {
  return QSettings(QStringLiteral("Lumivane"), QStringLiteral("lumivane"));
}

}  // namespace

struct MainWindow::BookTab {
  std::shared_ptr<Workbook> book;
  QTabWidget* sheets = nullptr;
  std::vector<SheetView*> views;
  bool modified = false;
};

MainWindow::MainWindow(Host& host, QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      books_(new QTabWidget(this)),
      address_(new QLabel(this)),
      statistics_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Lumivane"));
  setAcceptDrops(true);
  books_->setDocumentMode(true);
  books_->setMovable(false);
  setCentralWidget(books_);
  address_->setMinimumWidth(120);
  statusBar()->addWidget(address_);
  // Shown while a file is read: its name and time, and a bar that moves.
  openingLabel_ = new QLabel(this);
  openingBar_ = new QProgressBar(this);
  openingBar_->setRange(0, 0);
  openingBar_->setMaximumWidth(160);
  openingBar_->setTextVisible(false);
  statusBar()->addWidget(openingLabel_);
  statusBar()->addWidget(openingBar_);
  openingLabel_->hide();
  openingBar_->hide();
  statusBar()->addPermanentWidget(statistics_);
  buildMenus();
  // The window opens over the whole of the screen's working area, as a spreadsheet does.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->availableGeometry());

  connect(books_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index < 0 || index >= static_cast<int>(tabs_.size())) return;
    HostModel& model = host_.model();
    for (int i = 0; i < model.workbookCount(); ++i)
      if (model.workbookPtr(i) == tabs_[index]->book) model.activate(i);
    updateStatus();
  });

  setSheetWriteObserver([this](const Sheet& sheet, const CellArea& area) { sheetWritten(sheet, area); });
  host_.setCloseHandler([this] { hostClose(); });

  HostModel& model = host_.model();
  for (int i = 0; i < model.workbookCount(); ++i) showWorkbook(model.workbookPtr(i));
  if (model.activeIndex() >= 0) books_->setCurrentIndex(model.activeIndex());
  updateStatus();
}

MainWindow::~MainWindow() {
  setSheetWriteObserver({});
  host_.setCloseHandler({});
}

void MainWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&New"), QKeySequence::New, this, [this] { newWorkbook(); });
  file->addAction(tr("&Open…"), QKeySequence::Open, this, [this] { openWithDialog(); });
  file->addAction(tr("&Save"), QKeySequence::Save, this, [this] { save(); });
  file->addAction(tr("Save &As…"), QKeySequence(QStringLiteral("Ctrl+Shift+S")), this, [this] { saveAs(); });
  file->addAction(tr("&Close"), QKeySequence(QStringLiteral("Ctrl+W")), this, [this] { closeWorkbook(); });
  file->addSeparator();
  recentMenu_ = file->addMenu(tr("&Recent Files"));
  connect(recentMenu_, &QMenu::aboutToShow, this, [this] { rebuildRecentMenu(); });
  rebuildRecentMenu();
  file->addSeparator();
  file->addAction(tr("E&xit"), QKeySequence(QStringLiteral("Ctrl+Q")), this, [this] { close(); });

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addAction(tr("&Copy"), QKeySequence::Copy, this, [this] { copy(); });
  edit->addAction(tr("&Paste"), QKeySequence::Paste, this, [this] { paste(); });
  edit->addAction(tr("C&lear"), QKeySequence::Delete, this, [this] { clearSelection(); });

  QMenu* addIns = menuBar()->addMenu(tr("&Add-ins"));
  addIns->addAction(QStringLiteral("Vantor 3.0…"), this, [this] { startTool(kVantorTool); });
  addIns->addAction(QStringLiteral("Gridwise…"), this, [this] { startTool(kGridwiseTool); });

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(tr("&User Guide"), QKeySequence::HelpContents, this, [this] { showUserGuide(); });
  help->addAction(tr("&About Lumivane"), this, [this] { showAbout(); });
}

void MainWindow::tell(const std::string& text, unsigned icon) {
  platform::prompter().messageBox(text, kCaption, platform::MB_OK | icon);
}

// --- workbooks and tabs

void MainWindow::showWorkbook(const std::shared_ptr<Workbook>& book) {
  auto tab = std::make_unique<BookTab>();
  tab->book = book;
  tab->sheets = new QTabWidget;
  tab->sheets->setTabPosition(QTabWidget::South);
  tab->sheets->setDocumentMode(true);
  const Workbook* raw = book.get();
  for (int s = 0; s < book->sheetCount(); ++s) {
    auto* view = new SheetView(book->sheetPtr(s));
    view->fitColumnsToContents();
    tab->views.push_back(view);
    tab->sheets->addTab(view, QString::fromStdString(book->sheet(s).name()));
    connect(view, &SheetView::selectionAreasChanged, this, [this] { scheduleStatus(); });
    connect(&view->sheetModel(), &SheetModel::edited, this, [this, raw] {
      setModified(*raw, true);
      scheduleStatus();
    });
  }
  tab->sheets->setCurrentIndex(book->activeSheetIndex());
  connect(tab->sheets, &QTabWidget::currentChanged, this, [this, raw](int index) {
    if (BookTab* t = tabOf(*raw); t && index >= 0 && index < t->book->sheetCount())
      t->book->activateSheet(index);
    updateStatus();
  });
  QTabWidget* page = tab->sheets;
  tabs_.push_back(std::move(tab));
  books_->addTab(page, QString());
  updateTitles();
}

void MainWindow::removeWorkbookTab(int index) {
  BookTab& tab = *tabs_[index];
  host_.model().close(*tab.book);
  QWidget* page = tab.sheets;
  tabs_.erase(tabs_.begin() + index);
  books_->removeTab(index);
  delete page;
  if (host_.model().activeIndex() >= 0) books_->setCurrentIndex(host_.model().activeIndex());
  updateTitles();
  updateStatus();
}

MainWindow::BookTab* MainWindow::tabOf(const Workbook& book) const {
  for (const auto& tab : tabs_)
    if (tab->book.get() == &book) return tab.get();
  return nullptr;
}

MainWindow::BookTab* MainWindow::activeTab() const {
  const int index = books_->currentIndex();
  return index >= 0 && index < static_cast<int>(tabs_.size()) ? tabs_[index].get() : nullptr;
}

int MainWindow::workbookTabCount() const {
  return books_->count();
}

QString MainWindow::workbookTabTitle(int index) const {
  return books_->tabText(index);
}

bool MainWindow::isModified(const Workbook& workbook) const {
  const BookTab* tab = tabOf(workbook);
  return tab && tab->modified;
}

SheetView* MainWindow::activeSheetView() const {
  const BookTab* tab = activeTab();
  if (!tab) return nullptr;
  const int index = tab->sheets->currentIndex();
  return index >= 0 && index < static_cast<int>(tab->views.size()) ? tab->views[index] : nullptr;
}

SheetView* MainWindow::viewOf(const Sheet& sheet) const {
  for (const auto& tab : tabs_)
    for (SheetView* view : tab->views)
      if (view->sheet().get() == &sheet) return view;
  return nullptr;
}

void MainWindow::activateWorkbook(int index) {
  books_->setCurrentIndex(index);
}

void MainWindow::activateSheet(int index) {
  if (BookTab* tab = activeTab()) tab->sheets->setCurrentIndex(index);
}

void MainWindow::setModified(const Workbook& book, bool modified) {
  BookTab* tab = tabOf(book);
  if (!tab || tab->modified == modified) return;
  tab->modified = modified;
  tab->book->setSaved(!modified);
  updateTitles();
}

void MainWindow::updateTitles() {
  for (int i = 0; i < static_cast<int>(tabs_.size()); ++i) {
    const BookTab& tab = *tabs_[i];
    books_->setTabText(
        i, QString::fromStdString(tab.book->name()) + (tab.modified ? QStringLiteral("*") : QString()));
    books_->setTabToolTip(i, QString::fromStdString(tab.book->path()));
  }
}

// --- status bar

void MainWindow::scheduleStatus() {
  // A drag over many cells changes the selection often; the sums follow once per event round.
  if (statusPending_) return;
  statusPending_ = true;
  QTimer::singleShot(0, this, [this] {
    statusPending_ = false;
    updateStatus();
  });
}

void MainWindow::updateStatus() {
  SheetView* view = activeSheetView();
  if (!view) {
    address_->clear();
    statistics_->clear();
    return;
  }
  address_->setText(QString::fromStdString(areaReference(view->activeArea())));
  const SelectionStatistics stats = selectionStatistics(*view->sheet(), view->selectedAreas());
  if (stats.count == 0) {
    statistics_->clear();
    return;
  }
  statistics_->setText(QStringLiteral("Count: %1    Sum: %2    Average: %3")
                           .arg(stats.count)
                           .arg(QString::fromStdString(generalNumberText(stats.sum)))
                           .arg(QString::fromStdString(generalNumberText(stats.average()))));
}

QString MainWindow::statusText() const {
  return statistics_->text();
}

QString MainWindow::addressText() const {
  return address_->text();
}

QString MainWindow::progressText() const {
  return openingLabel_->isHidden() ? QString() : openingLabel_->text();
}

void MainWindow::sheetWritten(const Sheet& sheet, const CellArea& area) {
  for (const auto& tab : tabs_) {
    for (SheetView* view : tab->views) {
      if (view->sheet().get() != &sheet) continue;
      view->sheetModel().cellsChanged(area);
      setModified(*tab->book, true);
      if (view == activeSheetView()) scheduleStatus();
      return;
    }
  }
}

// --- File commands

std::shared_ptr<Workbook> MainWindow::readWhileShowingProgress(const std::string& path) {
  struct Reading {
    std::shared_ptr<Workbook> book;
    std::exception_ptr error;
  };
  const HostModel::Importer importer = host_.model().importer();
  const SheetLimits limits = host_.model().limits();
  Reading reading;
  QEventLoop wait;
  std::thread worker([&] {
    try {
      reading.book = importer ? importer(path, limits) : importWorkbook(path, limits);
    } catch (...) {
      reading.error = std::current_exception();
    }
    // Queued: the loop ends once it runs, even when this comes before it starts.
    QMetaObject::invokeMethod(&wait, "quit", Qt::QueuedConnection);
  });

  // While it reads: the file and the time so far in the status bar, the commands that would
  // change the workbooks off.
  const QString name = QFileInfo(QString::fromStdString(path)).fileName();
  const QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  const auto show = [&] {
    const qint64 seconds = clock.elapsed() / 1000;
    openingLabel_->setText(seconds == 0 ? tr("Opening %1…").arg(name)
                                        : tr("Opening %1… %2 s").arg(name).arg(seconds));
  };
  show();
  openingLabel_->show();
  openingBar_->show();
  std::vector<QPointer<QAction>> disabled;
  for (QAction* menu : menuBar()->actions()) {
    if (!menu->menu()) continue;
    for (QAction* action : menu->menu()->actions()) {
      if (!action->isEnabled() || action->isSeparator()) continue;
      action->setEnabled(false);
      disabled.emplace_back(action);
    }
  }
  QTimer tick;
  connect(&tick, &QTimer::timeout, this, show);
  tick.start(250);
  opening_ = true;
  QApplication::setOverrideCursor(Qt::BusyCursor);
  wait.exec();
  worker.join();
  QApplication::restoreOverrideCursor();
  opening_ = false;
  tick.stop();
  for (const QPointer<QAction>& action : disabled)
    if (action) action->setEnabled(true);
  openingLabel_->hide();
  openingBar_->hide();
  if (closeAfterOpening_) {
    closeAfterOpening_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
  if (reading.error) std::rethrow_exception(reading.error);
  return reading.book;
}

bool MainWindow::openFile(const QString& path) {
  if (opening_) {
    // One file at a time: the commands that open are off meanwhile; a caller that still asks
    // is told.
    tell("Cannot open \"" + QFileInfo(path).fileName().toStdString() + "\": another file is being opened.",
         platform::MB_ICONERROR);
    return false;
  }
  std::shared_ptr<Workbook> opened;
  try {
    const std::string file = path.toStdString();
    const std::string name = std::filesystem::path(file).filename().string();
    const std::string alreadyOpen = "Cannot open \"" + name + "\": a workbook of that name is already open.";
    if (host_.model().findWorkbook(name)) throw WorkbookFileError(alreadyOpen);
    std::shared_ptr<Workbook> book = readWhileShowingProgress(file);
    // Another workbook of that name may have come meanwhile.
    if (host_.model().findWorkbook(book->name())) throw WorkbookFileError(alreadyOpen);
    host_.model().add(book);
    opened = std::move(book);
  } catch (const WorkbookFileError& e) {
    tell(e.what(), platform::MB_ICONERROR);
  } catch (const std::bad_alloc&) {
    tell("Cannot open \"" + path.toStdString() + "\": there is not enough memory.", platform::MB_ICONERROR);
  } catch (const std::exception& e) {
    tell("Cannot open \"" + path.toStdString() + "\": " + e.what(), platform::MB_ICONERROR);
  }
  if (!opened) {
    // The model keeps its active workbook; the window shows it again.
    if (host_.model().activeIndex() >= 0) books_->setCurrentIndex(host_.model().activeIndex());
    return false;
  }
  showWorkbook(opened);
  books_->setCurrentIndex(static_cast<int>(tabs_.size()) - 1);
  addRecentFile(QFileInfo(path).absoluteFilePath());
  return true;
}

bool MainWindow::openWithDialog() {
  platform::FileDialogRequest request;
  request.filter = kOpenFilter;
  request.mustExist = true;
  const auto path = platform::prompter().fileDialog(request);
  return path && openFile(QString::fromStdString(*path));
}

void MainWindow::newWorkbook() {
  host_.model().newWorkbook();
  showWorkbook(host_.model().workbookPtr(host_.model().activeIndex()));
  books_->setCurrentIndex(static_cast<int>(tabs_.size()) - 1);
}

bool MainWindow::save() {
  BookTab* tab = activeTab();
  return tab && saveTab(*tab, false);
}

bool MainWindow::saveAs() {
  BookTab* tab = activeTab();
  return tab && saveTab(*tab, true);
}

bool MainWindow::saveTo(const QString& path) {
  BookTab* tab = activeTab();
  if (!tab) return false;
  Workbook& book = *tab->book;
  const QString extension = QFileInfo(path).suffix().toLower();
  if (extension != QStringLiteral("xlsx") && extension != QStringLiteral("csv")) {
    tell("Cannot save \"" + path.toStdString() + "\": workbooks are saved as .xlsx or .csv files.",
         platform::MB_ICONERROR);
    return false;
  }
  const bool wholeBook = extension == QStringLiteral("xlsx") || book.sheetCount() == 1;
  if (!wholeBook) {
    const std::string sheetName = book.activeSheet() ? book.activeSheet()->name() : std::string();
    const int answer =
        platform::prompter().messageBox("A .csv file holds one sheet: only the active sheet \"" + sheetName +
                                            "\" of \"" + book.name() + "\" will be saved. Save it as .csv?",
                                        kCaption, platform::MB_OKCANCEL | platform::MB_ICONWARNING);
    if (answer != platform::IDOK) return false;
  }
  try {
    host_.model().save(book, path.toStdString());
  } catch (const WorkbookFileError& e) {
    tell(e.what(), platform::MB_ICONERROR);
    return false;
  } catch (const std::exception& e) {
    tell("Cannot save \"" + path.toStdString() + "\": " + e.what(), platform::MB_ICONERROR);
    return false;
  }
  if (extension == QStringLiteral("csv") && book.path().empty()) book.setPath(path.toStdString());
  // A .csv of a book with several sheets leaves the other sheets unsaved: the mark stays.
  if (wholeBook) {
    tab->modified = false;
    tab->book->setSaved(true);
  }
  addRecentFile(QFileInfo(path).absoluteFilePath());
  updateTitles();
  return true;
}

bool MainWindow::saveTab(BookTab& tab, bool askForName) {
  const Workbook& book = *tab.book;
  const QString extension = lowerExtension(book.path());
  if (!askForName && !book.path().empty() &&
      (extension == QStringLiteral("xlsx") || extension == QStringLiteral("csv"))) {
    books_->setCurrentIndex(static_cast<int>(
        std::find_if(tabs_.begin(), tabs_.end(), [&](const auto& t) { return t.get() == &tab; }) -
        tabs_.begin()));
    return saveTo(QString::fromStdString(book.path()));
  }
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "xlsx";
  request.filter = kSaveFilter;
  request.overwritePrompt = true;
  request.title = "Save As";
  std::filesystem::path proposed(book.path().empty() ? book.name() : book.path());
  proposed.replace_extension(".xlsx");
  request.fileName = proposed.string();
  const auto path = platform::prompter().fileDialog(request);
  if (!path) return false;
  QString target = QString::fromStdString(*path);
  if (QFileInfo(target).suffix().isEmpty()) target += QStringLiteral(".xlsx");
  for (int i = 0; i < static_cast<int>(tabs_.size()); ++i)
    if (tabs_[i].get() == &tab) books_->setCurrentIndex(i);
  return saveTo(target);
}

bool MainWindow::confirmClose(BookTab& tab) {
  if (!tab.modified) return true;
  const int answer = platform::prompter().messageBox(
      "Do you want to save the changes you made to '" + tab.book->name() + "'?", kCaption,
      platform::MB_YESNOCANCEL | platform::MB_ICONWARNING);
  if (answer == platform::IDNO) return true;
  if (answer != platform::IDYES) return false;
  return saveTab(tab, false);
}

bool MainWindow::closeWorkbook() {
  BookTab* tab = activeTab();
  if (!tab || !confirmClose(*tab)) return false;
  removeWorkbookTab(books_->currentIndex());
  return true;
}

QStringList MainWindow::recentFiles() const {
  return settings().value(kRecentFilesKey).toStringList();
}

void MainWindow::addRecentFile(const QString& path) {
  QStringList files = recentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kMaximumRecentFiles) files.removeLast();
  settings().setValue(kRecentFilesKey, files);
}

void MainWindow::rebuildRecentMenu() {
  recentMenu_->clear();
  const QStringList files = recentFiles();
  if (files.isEmpty()) {
    recentMenu_->addAction(tr("(none)"))->setEnabled(false);
    return;
  }
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), this,
                           [this, path] { openFile(path); });
  }
}

// --- Edit commands

void MainWindow::copy() {
  SheetView* view = activeSheetView();
  if (!view) return;
  CellArea area = view->activeArea();
  // Whole columns or rows copy the part that holds data.
  const auto clipped = clipToUsedArea(*view->sheet(), {area});
  if (!clipped.empty() &&
      (area.rows() == view->sheet()->limits().rows || area.cols() == view->sheet()->limits().cols))
    area = CellArea{area.top, area.left, clipped.front().bottom, clipped.front().right};
  QGuiApplication::clipboard()->setText(QString::fromStdString(tabSeparatedText(*view->sheet(), area)));
}

void MainWindow::paste() {
  SheetView* view = activeSheetView();
  if (!view) return;
  const std::string text = QGuiApplication::clipboard()->text().toStdString();
  const CellArea at = view->activeArea();
  const auto written = pasteTabSeparated(*view->sheet(), at.top, at.left, text);
  if (!written) return;
  view->sheetModel().cellsChanged(*written);
  view->selectArea(*written);
  if (BookTab* tab = activeTab()) setModified(*tab->book, true);
  updateStatus();
}

void MainWindow::clearSelection() {
  SheetView* view = activeSheetView();
  if (!view) return;
  Sheet& sheet = *view->sheet();
  bool cleared = false;
  for (const CellArea& a : clipToUsedArea(sheet, view->selectedAreas())) {
    for (std::int32_t col = a.left; col <= a.right; ++col)
      for (std::int32_t row = a.top; row <= a.bottom; ++row)
        if (sheet.kind(row, col) != CellKind::Empty) {
          sheet.clear(row, col);
          cleared = true;
        }
    view->sheetModel().cellsChanged(a);
  }
  if (cleared)
    if (BookTab* tab = activeTab()) setModified(*tab->book, true);
  updateStatus();
}

// --- Add-ins

bool MainWindow::startTool(const ToolEntry& tool) {
  return host::startTool(host_, tool, toolLibraryFolder(tool, toolFolder_));
}

void MainWindow::selectUsedArea() {
  SheetView* view = activeSheetView();
  if (!view) return;
  view->selectArea(view->sheet()->usedArea().value_or(CellArea{}));
}

// --- Help

void MainWindow::showUserGuide() {
  const std::filesystem::path exe = QCoreApplication::applicationDirPath().toStdString();
  std::vector<std::filesystem::path> candidates = {exe.parent_path() / "share" / "doc" / "lumivane" /
                                                   "index.html"};
#ifdef LUMIVANE_SOURCE_DIR
  candidates.push_back(std::filesystem::path(LUMIVANE_SOURCE_DIR) / "docs" / "index.html");
#endif
  for (const auto& page : candidates) {
    std::error_code error;
    if (std::filesystem::exists(page, error)) {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(page.string())));
      return;
    }
  }
  tell("The user guide is not installed yet. The tools' own Help menus describe their pages.",
       platform::MB_ICONINFORMATION);
}

void MainWindow::showAbout() {
  tell("Lumivane " + QCoreApplication::applicationVersion().toStdString() +
           "\n\nThe spreadsheet host of Vantor 3.0 (multilayer perceptrons, input significance) and "
           "Gridwise (Kohonen maps).\nThe host reports version " +
           host_.model().versionText() + " to the tools.",
       platform::MB_ICONINFORMATION);
}

// --- closing and drops

void MainWindow::closeEvent(QCloseEvent* event) {
  if (opening_) {
    // Asked again once the file is read, so that its workbook can be asked about too.
    closeAfterOpening_ = true;
    event->ignore();
    return;
  }
  if (closeAccepted_) {
    event->accept();
    emit closed();
    return;
  }
  // The close goes through the window-procedure chain; it comes back through hostClose()
  // when it reaches the host's own procedure.
  event->ignore();
  host_.window().send(platform::WM_CLOSE);
}

void MainWindow::hostClose() {
  for (const auto& tab : tabs_) {
    books_->setCurrentIndex(static_cast<int>(&tab - &tabs_.front()));
    if (!confirmClose(*tab)) return;
  }
  closeAccepted_ = true;
  QTimer::singleShot(0, this, [this] { close(); });
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  if (paths.isEmpty() || opening_) return;
  event->acceptProposedAction();
  // Opened once the drop is over, so that its source is not kept waiting while they are read.
  QTimer::singleShot(0, this, [this, paths] {
    for (const QString& path : paths) openFile(path);
  });
}

}  // namespace host
