#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/workbook.h"

namespace host {

// A file could not be read or written; what() is a complete sentence for the user.
class WorkbookFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a .csv file separates fields and writes the decimal mark of numbers. The two must
// differ; a field separator of ';' goes with a decimal comma.
struct CsvOptions {
  char separator = ',';
  char decimalMark = '.';
};

struct ImportOptions {
  CsvOptions csv;
};

// Reads an .xlsx, .ods or .csv file into a new workbook named after the file. The format is
// told by the content (a zip package is read as the workbook it holds, whatever its name),
// else by the extension. What the cells show is what the file stores: formula cells hold
// their stored results (only formulas stored without a result, or in a file that asks for
// recalculation, are calculated, and one that cannot be shows an error value); numbers in a
// date or time format are dates; texts keep their paragraphs (joined by "\n") and spaces.
// In a .csv file unquoted and quoted fields that read as numbers in the chosen decimal mark
// are numbers (never NaN, infinities, hexadecimal or out-of-range values), TRUE and FALSE
// Booleans, m/d/yyyy [h:mm[:ss] [AM|PM]] dates, the seven error texts errors, everything else
// text; a field starting with an apostrophe is the text after it. A file that cannot be read,
// or whose data does not fit the limits ("the sheet has more than 65,536 rows"), throws
// WorkbookFileError and yields nothing.
std::shared_ptr<Workbook> importWorkbook(const std::string& path, SheetLimits limits);
std::shared_ptr<Workbook> importWorkbook(const std::string& path, SheetLimits limits,
                                         const ImportOptions& options);

// What reading other people's workbooks may cost. Beyond the format limits (sheets, rows and
// columns, text length, unpacked part sizes: see kMaxSheets, SheetLimits, kMaxCellTextBytes,
// kMaxZipEntrySize and kMaxZipTextSize; elements nest at most 256 deep) the file is refused
// with a message saying which; the reading process itself is held to these caps.
struct ImportLimits {
  SheetLimits sheet = kSheetLimits;
  // Address space of the reading process.
  std::uint64_t memoryBytes = std::uint64_t{4} << 30;
  // Processor time of the reading process, and the time the caller waits for its answer.
  int cpuSeconds = 60;
  int deadlineSeconds = 90;
  // The reading program; empty: "lumivane-import" beside the running program.
  std::string helper;
};

// importWorkbook in a separate process (the reading program) held to the limits: whatever a
// file makes the readers do (crash, abort, run out of memory, never finish), this process and
// its workbooks stay. The cells come back through a pipe in a compact binary form checked as
// any file is before anything is allocated for it. Throws WorkbookFileError: the readers' own
// refusal, or "Cannot open \"name\": the file could not be read: <reason>." when the reading
// process failed, was stopped at a limit, or answered with damaged data.
std::shared_ptr<Workbook> importWorkbookIsolated(const std::string& path, const ImportLimits& limits,
                                                 const ImportOptions& options = {});

struct ExportOptions {
  CsvOptions csv;
  // Which sheets a .csv file gets: the active one, the one named sheetName, or every sheet in
  // a file of its own named "<stem>-<sheet name><extension>" beside path. An .xlsx file
  // always holds every sheet.
  enum class Sheets { Active, Named, All } sheets = Sheets::Active;
  std::string sheetName;
};

// Writes the workbook as .xlsx or .csv, chosen by the extension of path, and returns the
// files written. Numbers are written in their shortest exact form; texts must be valid UTF-8
// (else "cell B7: ..." names the cell); in a .csv file texts that a spreadsheet would take
// for a formula (starting with = + - @) or for a number, date, Boolean or error are written
// after an apostrophe, which the reader removes again. A symbolic link is written through to
// its target; a read-only target is refused. Each target is replaced only once its new file
// is complete; any failure throws WorkbookFileError and leaves an existing target as it was.
std::vector<std::string> exportWorkbook(const Workbook& workbook, const std::string& path,
                                        const ExportOptions& options);
void exportWorkbook(const Workbook& workbook, const std::string& path);

}  // namespace host
