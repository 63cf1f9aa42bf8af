#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "host/host.h"
#include "host/window/tool_launcher.h"

class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;

namespace host {

class SheetView;

// The main window "Lumivane": a tab per open workbook (its name, "*" while it has unsaved
// changes), in each a tab per worksheet holding its grid, a status bar with the selection's
// address and the count, sum and average of its numbers, and the menus File, Edit, Add-ins and
// Help. The window is the host window of the tools: a close first goes through the
// window-procedure chain (a tool that subclassed it may only ask its own windows to close), and
// only when it reaches the host does the window ask about unsaved changes and close. What the
// tools write through automation shows at once. Every message box and file dialog goes
// through the prompter. The commands are public so tests can run them. GUI thread only.
class MainWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Host& host, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- File
  // Opens a workbook and shows it; a file that cannot be read is refused with a message and
  // changes nothing. Returns whether it opened. The file is read on a thread of its own while
  // the window goes on drawing and the status bar shows the reading and its time; the
  // commands that would change the workbooks wait (a close asked for meanwhile follows).
  bool openFile(const QString& path);
  // Whether a file is being read.
  bool isOpening() const { return opening_; }
  bool openWithDialog();
  void newWorkbook();
  // Saves the active workbook to its file (.xlsx or .csv), or asks for one; false when it was
  // not saved (cancelled or failed, the failure told).
  bool save();
  bool saveAs();
  // Saves the active workbook to path (.xlsx or .csv) without a dialog.
  bool saveTo(const QString& path);
  // Closes the active workbook, asking first about unsaved changes; false when cancelled.
  bool closeWorkbook();
  QStringList recentFiles() const;

  // --- Edit
  void copy();
  void paste();
  void clearSelection();

  // --- Add-ins
  bool startTool(const ToolEntry& tool);
  // Where the tool libraries are looked for (empty: the default, see toolLibraryFolder).
  void setToolLibraryFolder(const QString& folder) { toolFolder_ = folder.toStdString(); }
  // Selects the used area of the active sheet (A1 when it is empty).
  void selectUsedArea();

  // --- state
  int workbookTabCount() const;
  QString workbookTabTitle(int index) const;
  bool isModified(const Workbook& workbook) const;
  // The grid of the active sheet of the active workbook, or null.
  SheetView* activeSheetView() const;
  // The grid of a sheet shown in the window, or null.
  SheetView* viewOf(const Sheet& sheet) const;
  QString statusText() const;
  QString addressText() const;
  // What the status bar says about a file being read; empty when none is.
  QString progressText() const;
  void activateWorkbook(int index);
  void activateSheet(int index);

 signals:
  // The window has accepted a close (after the tools and the unsaved-changes questions).
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct BookTab;

  void buildMenus();
  void rebuildRecentMenu();
  void addRecentFile(const QString& path);
  void showWorkbook(const std::shared_ptr<Workbook>& book);
  void removeWorkbookTab(int index);
  BookTab* tabOf(const Workbook& book) const;
  BookTab* activeTab() const;
  void setModified(const Workbook& book, bool modified);
  void updateTitles();
  void updateStatus();
  void scheduleStatus();
  void sheetWritten(const Sheet& sheet, const CellArea& area);
  // Asks about unsaved changes of one workbook: true when it may be closed.
  bool confirmClose(BookTab& tab);
  bool saveTab(BookTab& tab, bool askForName);
  void hostClose();
  void showUserGuide();
  void showAbout();
  void tell(const std::string& text, unsigned icon);
  // Runs the model's importer on a worker thread while the event loop runs; rethrows its
  // exception.
  std::shared_ptr<Workbook> readWhileShowingProgress(const std::string& path);

  Host& host_;
  QTabWidget* books_;
  QLabel* address_;
  QLabel* statistics_;
  QMenu* recentMenu_ = nullptr;
  std::vector<std::unique_ptr<BookTab>> tabs_;
  std::string toolFolder_;
  QLabel* openingLabel_ = nullptr;
  QProgressBar* openingBar_ = nullptr;
  bool opening_ = false;
  bool closeAfterOpening_ = false;
  bool closeAccepted_ = false;
  bool statusPending_ = false;
};

}  // namespace host
