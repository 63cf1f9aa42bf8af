// The lumivane spreadsheet host: the window with the workbooks named on the command line, or,
// for scripts, a headless report (--describe) or conversion (--save) of them.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/window/command_line.h"
#include "host/window/main_window.h"
#include "host/window/self_check.h"
#ifdef LUMIVANE_WITH_CALC
#include "host/calc/calc_launcher.h"
#endif
#include "host/workbook_io.h"
#include "platform/qt/qt_message_loop.h"
#include "platform/qt/qt_prompter.h"

namespace {

void describe(const host::Workbook& book) {
  std::printf("%s\n", book.name().c_str());
  for (int s = 0; s < book.sheetCount(); ++s) {
    const host::Sheet& sheet = book.sheet(s);
    if (const auto area = sheet.usedArea())
      std::printf("  %s: %s:%s\n", sheet.name().c_str(), host::cellName(area->top, area->left).c_str(),
                  host::cellName(area->bottom, area->right).c_str());
    else
      std::printf("  %s: empty\n", sheet.name().c_str());
  }
}

// --describe and --save: no window and no display needed.
int runHeadless(const host::CommandLine& line) {
  host::Host app(line.excelVersion);
  int status = 0;
  for (const auto& file : line.files) {
    try {
      describe(app.model().open(file));
    } catch (const host::WorkbookFileError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      status = 1;
    }
  }
  if (line.mode == host::CommandLine::Mode::Save) {
    host::Workbook* active = app.model().activeWorkbook();
    if (!active) {
      std::fprintf(stderr, "Nothing saved to \"%s\": no workbook could be opened.\n", line.saveAs.c_str());
      return 1;
    }
    try {
      if (line.saveSheet.empty()) {
        app.model().save(*active, line.saveAs);
      } else {
        host::ExportOptions options;
        options.sheets =
            line.saveSheet == "all" ? host::ExportOptions::Sheets::All : host::ExportOptions::Sheets::Named;
        if (options.sheets == host::ExportOptions::Sheets::Named) options.sheetName = line.saveSheet;
        for (const auto& written : host::exportWorkbook(*active, line.saveAs, options))
          std::printf("saved %s\n", written.c_str());
      }
    } catch (const host::WorkbookFileError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      status = 1;
    }
  }
  return status;
}

bool displayAvailable() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto line = host::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!line) {
    std::fprintf(stderr, "lumivane: %s\n%s", error.c_str(), host::usageText().c_str());
    return 2;
  }
  switch (line->mode) {
    case host::CommandLine::Mode::Help:
      std::printf("%s", host::helpText().c_str());
      return 0;
    case host::CommandLine::Mode::Version:
      std::printf("lumivane %s\n", LUMIVANE_VERSION);
      return 0;
    case host::CommandLine::Mode::Describe:
    case host::CommandLine::Mode::Save:
      return runHeadless(*line);
    case host::CommandLine::Mode::Window:
      break;
  }
#ifndef LUMIVANE_WITH_CALC
  if (line->calc) {
    std::fprintf(stderr,
                 "lumivane: this build has no LibreOffice Calc support (it was built without the office's "
                 "SDK, libreoffice-dev); open the workbook in lumivane's own window instead.\n");
    return 1;
  }
#endif
  if (!displayAvailable()) {
    std::fprintf(
        stderr,
        "lumivane: no display (DISPLAY is not set), so the window cannot open; run the tools headless "
        "with lumivane-batch (lumivane-batch --help), or use 'lumivane --describe FILE' and "
        "'lumivane --save OUT FILE' for workbooks.\n");
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("lumivane"));
  QApplication::setOrganizationName(QStringLiteral("Lumivane"));
  QApplication::setApplicationVersion(QStringLiteral(LUMIVANE_VERSION));
  QApplication::setQuitOnLastWindowClosed(false);
  // Every window of the process, the tools' included, shows the desktop entry's icon: from the
  // icon theme where the package installed it, else from share/ beside the program's folder
  // (an installed tree moved elsewhere, or the build tree).
  QApplication::setWindowIcon(
      QIcon::fromTheme(QStringLiteral("lumivane"),
                       QIcon(QApplication::applicationDirPath() +
                             QStringLiteral("/../share/icons/hicolor/256x256/apps/lumivane.png"))));
  platform::QtPrompter prompter;
  platform::PrompterScope prompterScope(prompter);
  platform::QtMessageLoop loop;
#ifdef LUMIVANE_WITH_CALC
  if (line->calc) {
    host::calc::LauncherOptions options;
    if (const char* pipe = std::getenv("LUMIVANE_CALC_PIPE"); pipe && *pipe) options.office.pipeName = pipe;
    if (line->tool != host::CommandLine::Tool::None)
      options.toolAtStart = line->tool == host::CommandLine::Tool::Vantor ? "Vantor" : "Gridwise";
    return host::calc::runLauncher(loop, options);
  }
#endif
  host::Host host(line->excelVersion, &loop);
  // People's files are read in a process of their own: whatever a damaged or hostile file does
  // to the readers, the window and its unsaved work stay.
  host.model().setImporter([](const std::string& path, host::SheetLimits limits) {
    host::ImportLimits isolation;
    isolation.sheet = limits;
    return host::importWorkbookIsolated(path, isolation);
  });
  host::MainWindow window(host);
  QObject::connect(&window, &host::MainWindow::closed, &app, &QApplication::quit);

  // Shown before the files are read, so that a large one shows its progress in the status bar.
  // A window manager keeps its panels free; without one the window already fills the screen.
  window.showMaximized();
  int firstOpened = -1;
  for (const auto& file : line->files)
    if (window.openFile(QString::fromStdString(file)) && firstOpened < 0)
      firstOpened = window.workbookTabCount() - 1;
  if (window.workbookTabCount() == 0) window.newWorkbook();

  if (line->tool != host::CommandLine::Tool::None) {
    const host::ToolEntry& tool =
        line->tool == host::CommandLine::Tool::Vantor ? host::kVantorTool : host::kGridwiseTool;
    QTimer::singleShot(0, &window, [&window, &tool, firstOpened] {
      // The data-source dialog takes its defaults from the selection: the used area of the
      // first sheet of the first file.
      window.activateWorkbook(firstOpened < 0 ? 0 : firstOpened);
      window.activateSheet(0);
      window.selectUsedArea();
      window.startTool(tool);
    });
  }
  if (!line->selfCheckScreenshot.empty()) {
    const std::string first = line->files.empty() ? std::string() : line->files.front();
    QTimer::singleShot(0, &window, [&window, &line, first] {
      const int status =
          host::screenshotSelfCheck(window, QString::fromStdString(line->selfCheckScreenshot), first);
      QApplication::exit(status);
    });
  }
  return app.exec();
}
