// The exports of the Gridwise library that the add-in workbook's macros call: the entry (two
// names, one behaviour), the two reader exports that write a pending output on the host's
// thread, the book-and-sheet query and the removal of the package's preferences.
#include <QCoreApplication>
#include <cstdint>

#include "kohonen/workbench/preferences.h"
#include "kohonen/workbench/qt/main_sheet.h"
#include "platform/dispatch.h"
#include "shared/excel_connection.h"
#include "shared/tool_task.h"

#define GRIDWISE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

ExcelConnection& gridwise() {
  return ExcelConnection::instance(Tool::Gridwise);
}

// When the library is unloaded every Gridwise window is asked to close and the unload waits
// until the last has gone, then the host window gets its procedure back. Made on the first
// entry, after the connection exists, so it goes before the connection does.
class LibraryExit {
 public:
  ~LibraryExit() {
    ExcelConnection& connection = gridwise();
    // Without an application object there are no windows left to close or events to pump.
    if (!QCoreApplication::instance()) return;
    connection.libraryExit();
  }
};

void entry(platform::Dispatch* application) {
  gridwise();
  static LibraryExit exit;
  installGridwiseWindows();
  runEntrySequence(gridwise(), application, &openGridwiseSheet);
}

}  // namespace

GRIDWISE_EXPORT void Gridwise(platform::Dispatch* application) {
  entry(application);
}

GRIDWISE_EXPORT void Gridwise_97(platform::Dispatch* application) {
  entry(application);
}

GRIDWISE_EXPORT void GridwiseReader(platform::Dispatch* application) {
  gridwise().runReader(application);
}

GRIDWISE_EXPORT void GridwiseReader97(platform::Dispatch* worksheet) {
  gridwise().runReader97(worksheet);
}

GRIDWISE_EXPORT std::intptr_t GetBookAndSheetGW(platform::Variant* book, platform::Variant* sheet) {
  return gridwise().GetBookAndSheet(book, sheet);
}

GRIDWISE_EXPORT int UnregisterRiruzive() {
  return unregisterPackage();
}
