#include "shared/qt/qt_tool_ui.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include "shared/qt/data_source_dialog.h"

namespace {

ProgressIndicator::Variant indicatorVariant(ProgressVariant variant) {
  switch (variant) {
    case ProgressVariant::Vantor:
      return ProgressIndicator::Variant::Vantor;
    case ProgressVariant::GridwisePlain:
      return ProgressIndicator::Variant::GridwisePlain;
    case ProgressVariant::GridwiseCancellable:
      return ProgressIndicator::Variant::GridwiseCancellable;
    case ProgressVariant::GridwiseOutput:
      break;
  }
  return ProgressIndicator::Variant::GridwiseOutput;
}

}  // namespace

QtProgressWindow::QtProgressWindow(ProgressVariant variant) : indicator_(indicatorVariant(variant)) {
  indicator_.create(QApplication::activeWindow());
}

void QtProgressWindow::bringToForeground() {
  indicator_.raise();
  indicator_.activateWindow();
}

void installQtToolUi() {
  ToolUi ui;
  ui.pumpEvents = [] { ProgressIndicator::pumpEvents(); };
  ui.openProgress = [](ProgressVariant variant) -> std::unique_ptr<ProgressWindow> {
    return std::make_unique<QtProgressWindow>(variant);
  };
  ui.runDataSourceDialog = [](DataSourceRequest& request) { return DataSourceDialog::run(request); };
  setToolUi(std::move(ui));
}

void postCloseRequest(QWidget* window) {
  QPointer<QWidget> target(window);
  QMetaObject::invokeMethod(
      window,
      [target] {
        if (target) target->close();
      },
      Qt::QueuedConnection);
}
