#pragma once

#include <memory>

#include "shared/qt/progress_indicator.h"
#include "shared/tool_ui.h"

class QWidget;

// Installs the Qt services of the tools (event pumping, progress indicators over the active
// window, the "Select data source:" dialog). Call on the GUI thread once a QApplication
// exists; calling again is harmless.
void installQtToolUi();

// A progress indicator shown over the active window, as the bridge opens them.
class QtProgressWindow final : public ProgressWindow {
 public:
  explicit QtProgressWindow(ProgressVariant variant);
  void setText(const std::string& text) override { indicator_.setText(text); }
  void setPosition(int position) override { indicator_.setPosition(position); }
  bool cancelRequested() override { return indicator_.cancelRequested(); }
  void bringToForeground() override;
  void close() override { indicator_.destroyIndicator(); }
  ProgressIndicator& indicator() { return indicator_; }

 protected:
  void holdFinished(std::chrono::milliseconds pause) override { ProgressIndicator::waitPumping(pause); }

 private:
  ProgressIndicator indicator_;
};

// What a tool's main window does for TaskMainWindow::postClose(): a close request delivered
// through the event loop, which the window may refuse like any close.
void postCloseRequest(QWidget* window);
