#pragma once

#include <QIcon>
#include <QWidget>
#include <memory>

#include "kohonen/workbench/gridwise_session.h"
#include "shared/tool_task.h"

class QAction;
class QMenuBar;
class QTabWidget;
class MapWindowSet;
class ProjectPage;
class ResultsPage;

// The Gridwise main window "Gridwise": a modeless top-level window with the menu "&Program" →
// "P&references" → "&Set Custom..." / "Set &Defaults" and "Save analysis as &job…", and "&Help"
// → "&About", and the pages
// Project and Results over one session. It owns its task (and so the table the session reads),
// the session and the map windows. It reads the preferences when it opens and writes them when
// it closes; once closed it deletes itself, which ends the task.
//
// A close request that arrives while one of its commands runs (a dialog or a progress window
// is up) is kept and carried out when the command has returned; one that arrives while another
// dialog of the sheet is up is tried again after it. GUI thread only.
class CMainSheet final : public QWidget, public TaskMainWindow {
  Q_OBJECT

 public:
  static constexpr char kCaption[] = "Gridwise";

  // task: a task whose table was read.
  explicit CMainSheet(std::unique_ptr<CTask> task, QWidget* parent = nullptr);
  ~CMainSheet() override;

  // TaskMainWindow: a close request through the event loop.
  void postClose() override;

  GridwiseSession& session() { return *session_; }
  MapWindowSet& mapWindows() { return *maps_; }
  QTabWidget* pages() const { return pages_; }
  ProjectPage* projectPage() const { return projectPage_; }
  ResultsPage* resultsPage() const { return resultsPage_; }
  QAction* setCustomAction() const { return setCustom_; }
  QAction* setDefaultsAction() const { return setDefaults_; }
  QAction* aboutAction() const { return about_; }
  QAction* saveJobAction() const { return saveJob_; }
  // F1, the sheet's help command: the Gridwise help pages at their topics.
  QAction* helpAction() const { return help_; }

  // The help pages' index beside the library (build tree or installation) or in the source
  // tree; empty when none is there, with the places looked at in lookedAt.
  static std::string helpIndexPath(std::string* lookedAt = nullptr);

  // Runs a command of a page or the menu; a close asked for meanwhile follows it.
  void runCommand(const std::function<void()>& command);
  bool commandRunning() const { return commandDepth_ > 0; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenu(QMenuBar* menu);
  void showAbout();
  void showHelp();
  // Whether the active modal dialog belongs to this sheet or one of its map windows.
  bool ownsModalDialog() const;

  std::unique_ptr<CTask> task_;
  std::unique_ptr<GridwiseSession> session_;
  std::unique_ptr<MapWindowSet> maps_;
  QTabWidget* pages_ = nullptr;
  ProjectPage* projectPage_ = nullptr;
  ResultsPage* resultsPage_ = nullptr;
  QAction* setCustom_ = nullptr;
  QAction* setDefaults_ = nullptr;
  QAction* about_ = nullptr;
  QAction* saveJob_ = nullptr;
  QAction* help_ = nullptr;
  int commandDepth_ = 0;
  bool closePending_ = false;
  bool closed_ = false;
};

// Gridwise's window-system set-up, once per process on the GUI thread: the Qt services of the
// shared library and the dialog views (selector, normalisation, PC Analyzer, network size,
// preferences, new map, cell description, cell finder).
void installGridwiseWindows();

// The entry's window factory: shows a main sheet for the task.
void openGridwiseSheet(std::unique_ptr<CTask> task);

// The tool's icon: a small map of coloured cells, in the sizes a window asks for.
QIcon gridwiseIcon();
