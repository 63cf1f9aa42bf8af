// The exports of the Vantor tool library: the entry functions the host's add-in calls with its
// Application, the reader call-backs of the add-in's macros, and the library's exit.
#include <QApplication>
#include <memory>

#include "mlp/workbench/qt/main_sheet.h"
#include "platform/dispatch.h"
#include "shared/excel_connection.h"
#include "shared/qt/qt_tool_ui.h"
#include "shared/tool_task.h"

#define VANTOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

ExcelConnection& connection() {
  return ExcelConnection::instance(Tool::Vantor);
}

// Unloading the library asks every task to close and waits until none runs, then gives the
// host window its own procedure back. Made after the connection, so it goes before it.
struct LibraryExit {
  ~LibraryExit() {
    if (QApplication::instance()) connection().libraryExit();
  }
};

void enter(platform::Dispatch* application) {
  ExcelConnection& c = connection();
  static LibraryExit exitOnUnload;
  if (QApplication::instance()) installQtToolUi();
  runEntrySequence(c, application, [](std::unique_ptr<CTask> task) { CMainSheet::open(std::move(task)); });
}

}  // namespace

VANTOR_EXPORT void Vantor3(platform::Dispatch* application) {
  enter(application);
}

VANTOR_EXPORT void Vantor3_97(platform::Dispatch* application) {
  enter(application);
}

// The version-7 macro passes the Application: the pending output is written cell by cell.
VANTOR_EXPORT void Vantor3Reader(platform::Dispatch* application) {
  connection().runReader(application);
}

// The "97" macro passes the target worksheet: the pending output is written in one block.
VANTOR_EXPORT void Vantor3Reader97(platform::Dispatch* worksheet) {
  connection().runReader97(worksheet);
}

// The pending output's workbook and worksheet names; untouched when nothing is pending.
VANTOR_EXPORT void GetBookAndSheetVT(platform::Variant* book, platform::Variant* sheet) {
  connection().GetBookAndSheet(book, sheet);
}

VANTOR_EXPORT void Zaglushka() {}
