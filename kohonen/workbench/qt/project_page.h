#pragma once

#include <QWidget>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/qt/sheet_command.h"

class QLabel;
class QListWidget;
class QPushButton;

// The "Project" page of the main sheet: the chosen columns with their normalisation, the
// principal-component and map summaries, and the commands that build patterns and the map and
// save and load projects, enabled as the session allows. A thin view: every command is the
// session's and every text is read back from it when it reports a change.
class ProjectPage final : public QWidget, public GridwiseObserver {
  Q_OBJECT

 public:
  ProjectPage(GridwiseSession& session, CommandRunner run, QWidget* parent = nullptr);
  ~ProjectPage() override;

  void sessionChanged(unsigned changes) override;
  // Re-reads every text and the enabling from the session.
  void refresh();

  QListWidget* patternsList() const { return patterns_; }
  // Line 0 or 1 of the "Principal components" and "Kohonen Network" groups.
  QString componentLine(int line) const;
  QString networkLine(int line) const;
  // The map's quality under its size; empty without a trained map.
  QString qualityLine() const;
  QPushButton* createPatternsButton() const { return createPatterns_; }
  QPushButton* createNetworkButton() const { return createNetwork_; }
  QPushButton* loadProjectButton() const { return loadProject_; }
  QPushButton* saveProjectButton() const { return saveProject_; }

 private:
  void runCommand(const std::function<void()>& command);

  GridwiseSession& session_;
  CommandRunner run_;
  QListWidget* patterns_ = nullptr;
  QLabel* componentLines_[2] = {nullptr, nullptr};
  QLabel* networkLines_[2] = {nullptr, nullptr};
  QLabel* qualityLine_ = nullptr;
  QPushButton* createPatterns_ = nullptr;
  QPushButton* createNetwork_ = nullptr;
  QPushButton* loadProject_ = nullptr;
  QPushButton* saveProject_ = nullptr;
};
