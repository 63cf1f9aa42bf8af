// The lumivane spreadsheet host, headless until its window exists: opens the workbooks named on
// the command line, reports what they hold, optionally saves the active one, and exits.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/workbook_io.h"

namespace {

void usage() {
  std::fprintf(stderr, "usage: lumivane [--version 7|8|9] [--save FILE.xlsx|FILE.csv] [WORKBOOK ...]\n");
}

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

}  // namespace

int main(int argc, char** argv) {
  int version = 9;
  std::string saveAs;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0 && i + 1 < argc) {
      version = std::atoi(argv[++i]);
      if (version < 7 || version > 9) {
        usage();
        return 2;
      }
    } else if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
      saveAs = argv[++i];
    } else if (argv[i][0] == '-') {
      usage();
      return 2;
    } else {
      files.emplace_back(argv[i]);
    }
  }

  host::Host app(version);
  int status = 0;
  for (const auto& file : files) {
    try {
      describe(app.model().open(file));
    } catch (const host::WorkbookFileError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      status = 1;
    }
  }
  if (app.model().workbookCount() == 0)
    std::printf("Lumivane host, version %s: no workbook open.\n", app.model().versionText().c_str());
  if (!saveAs.empty()) {
    host::Workbook* active = app.model().activeWorkbook();
    if (!active) active = &app.model().newWorkbook();
    try {
      app.model().save(*active, saveAs);
    } catch (const host::WorkbookFileError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      status = 1;
    }
  }
  return status;
}
