// lumivane-batch: a whole Vantor or Gridwise analysis from the command line or a job file.

#include <QApplication>
#include <iostream>

#include "batch/batch_environment.h"
#include "batch/batch_run.h"

namespace {

// The toolkit's own warnings (a missing runtime folder, fonts) are not the run's business; its
// critical messages still reach standard error.
void toolkitMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(toolkitMessages);
  // Nothing is ever shown: the plug-in's parameter dialog and the pictures need the widget
  // toolkit's objects, never a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  batch::installInterruptHandlers();
  return batch::runBatch(argc, argv, std::cout, std::cerr);
}
