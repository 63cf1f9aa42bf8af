#pragma once

#include <string>
#include <vector>

#include "host/workbook_io.h"

namespace host {

// The reading program of importWorkbookIsolated, installed beside lumivane.
inline constexpr const char* kImportProgramName = "lumivane-import";
// Its exit status when the memory cap was reached.
inline constexpr int kImportOutOfMemory = 3;
// Its exit status for arguments it does not understand.
inline constexpr int kImportUsage = 2;

// The command line that has the reading program read path under the limits and options.
std::vector<std::string> importChildArguments(const std::string& program, const std::string& path,
                                              const ImportLimits& limits, const ImportOptions& options);

// The reading program: takes the caps on itself (memory, processor time, no core file, ended
// with its parent), reads the file with importWorkbook and writes the workbook or the
// refusal to standard output in the transfer form; returns the exit status.
// For the tests, LUMIVANE_IMPORT_TEST_FAULT=abort|hang|spin|memory|garbage makes it fail so.
int runImportChild(const std::vector<std::string>& args);

}  // namespace host
