#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "host/workbook.h"

namespace host {

// A file could not be read or written; what() is a complete sentence for the user.
class WorkbookFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads an .xlsx, .ods or .csv file (by extension, else by content) into a new workbook named
// after the file. Formula cells hold their values, recalculated on import; a number stored as
// text stays text; numbers formatted as dates become dates. In a .csv file numbers, TRUE and
// FALSE, dates m/d/yyyy [h:mm[:ss] [AM|PM]] and the error texts (#N/A, ...) are recognised,
// everything else is text. A file that cannot be read, or whose data does not fit the limits,
// throws WorkbookFileError and yields nothing.
std::shared_ptr<Workbook> importWorkbook(const std::string& path, SheetLimits limits);

// Writes the workbook as .xlsx (every sheet) or .csv (the active sheet, from A1), chosen by the
// extension of path. The target is replaced only once the new file is complete; any failure
// throws WorkbookFileError and leaves an existing target as it was.
void exportWorkbook(const Workbook& workbook, const std::string& path);

}  // namespace host
