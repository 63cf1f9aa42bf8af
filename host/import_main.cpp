// lumivane-import: reads one workbook for the lumivane window in a process of its own (see
// importWorkbookIsolated); not meant to be run by hand.
#include <string>
#include <vector>

#include "host/import_child.h"

int main(int argc, char** argv) {
  return host::runImportChild(std::vector<std::string>(argv, argv + argc));
}
