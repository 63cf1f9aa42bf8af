#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>

#include "mlp/workbench/vantor_session.h"
#include "shared/excel_connection.h"

class CTask;
class CDataPage;
class CNetPage;
class CTrainingPage;
class COutputPage;
class DialogPresenter;
class QAction;
class QTabWidget;
class TrainingNotifier;
class VantorGraphs;

// A page of the sheet: re-reads the session whenever it becomes the shown page, and when the
// sheet refreshes it (training started or ended).
class SheetPage {
 public:
  virtual ~SheetPage() = default;
  virtual void activatePage() = 0;
};

// The Vantor window of one tool task, "Vantor 3.0": the tabs Data, Network, Training and Output
// over one session, the Help menu, the graph windows and the dialog views. The sheet owns its
// task and the session over the task's table; the pages are thin views that run the session's
// commands. Closing is refused while training runs; otherwise the session goes first, then the
// task (which counts the tool instance out).
class CMainSheet final : public QMainWindow, public TaskMainWindow, public VantorSessionObserver {
  Q_OBJECT

 public:
  static constexpr const char* kHelpMenuText = "&Help";
  static constexpr const char* kHelpTopicsText = "Vantor help topics";
  static constexpr const char* kSaveJobText = "Save analysis as &job…";
  static constexpr const char* kAboutText = "&About ...";
  static constexpr const char* kAboutCaption = "About program...";
  static constexpr const char* kAboutFirstLine = "Vantor  version 3.0";

  // The tab indices, in tab order.
  enum Page { kDataPage = 0, kNetworkPage = 1, kTrainingPage = 2, kOutputPage = 3 };

  // Makes the sheet for a task whose table was read, initialises the session and shows the
  // window. Null when the initialisation refused (its message has been shown); the task has
  // then been freed. installFolder: where methinfo and the plug-ins are looked for besides the
  // current directory (nothing: the folder of the tool library).
  static CMainSheet* open(std::unique_ptr<CTask> task,
                          std::optional<std::string> installFolder = std::nullopt);
  ~CMainSheet() override;

  VantorSession& session() { return *session_; }
  QTabWidget* tabs() const { return tabs_; }
  QWidget* page(Page which) const;
  CDataPage* dataPage() const { return dataPage_; }
  COutputPage* outputPage() const { return outputPage_; }
  VantorGraphs* graphs() const { return graphs_.get(); }
  QAction* helpTopicsAction() const { return helpAction_; }
  QAction* aboutAction() const { return aboutAction_; }
  QAction* saveJobAction() const { return saveJobAction_; }

  // TaskMainWindow: a close request through the event loop, refused like any other close.
  void postClose() override;
  // The sheet's refresh: the shown page re-reads the session.
  void refreshPage();

  // "Vantor help topics": the help's index page in the desktop's browser, or a message saying
  // where it was looked for.
  void showHelp();
  // "About program...".
  void showAbout();
  // "Save analysis as job…": the session's choices as a job file for the batch program.
  bool saveAnalysisAsJob();
  // The help's index page: where the package installs it, under the prefix of the tool library,
  // or in the source tree's docs; empty when none exists. Also lists the places looked at.
  static std::string helpIndexPath(std::string* lookedAt = nullptr);
  // The About box's text.
  static std::string aboutText();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  CMainSheet(std::unique_ptr<CTask> task, std::optional<std::string> installFolder);
  bool initialise();
  void buildMenus();
  void buildPages();
  void sessionChanged(unsigned changes) override;

  std::unique_ptr<CTask> task_;
  std::unique_ptr<VantorSession> session_;
  std::unique_ptr<TrainingNotifier> notifier_;
  std::unique_ptr<DialogPresenter> presenter_;
  std::unique_ptr<VantorGraphs> graphs_;
  QTabWidget* tabs_ = nullptr;
  CDataPage* dataPage_ = nullptr;
  CNetPage* netPage_ = nullptr;
  CTrainingPage* trainingPage_ = nullptr;
  COutputPage* outputPage_ = nullptr;
  QAction* helpAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* saveJobAction_ = nullptr;
};
