#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/sheet.h"

namespace host {

// A block of equal Boolean cells of an .ods workbook: a cell repeated across columns and its
// row repeated down, both already cut to the sheet limits. Rows and columns are 1-based, the
// sheet is the 0-based position of its table in the file.
struct OdsBooleanRun {
  std::int32_t sheet = 0;
  std::int32_t row = 1;
  std::int32_t rows = 1;
  std::int32_t col = 1;
  std::int32_t cols = 1;
  bool value = false;
};

// A row element of an .ods workbook repeated down (table:number-rows-repeated > 1) that holds
// at least one non-empty cell. The workbook reader fills only its first row and leaves the
// copies empty. Rows are 1-based; rows counts the first row too and is cut so the copies end
// at the sheet's last row.
struct OdsRepeatedRow {
  std::int32_t sheet = 0;
  std::int32_t row = 1;
  std::int32_t rows = 2;
};

struct OdsBooleans {
  std::vector<OdsBooleanRun> runs;
  // Repeated rows with content, in document order; rows without content are not listed.
  std::vector<OdsRepeatedRow> repeatedRows;
  // The first sheet holding a Boolean cell outside the limits, which were not recorded.
  std::optional<std::int32_t> sheetBeyondLimits;
};

// The Boolean cells (office:value-type="boolean") of the file's content.xml, which the
// workbook reader passes over. Cells with a formula are left out: their value comes from
// recalculation. Also lists the repeated rows with content, whose copies the reader leaves
// empty. Memory grows with the number of cell and row elements in the file, never with their
// repeat counts. Throws std::exception when the file is not a readable .ods archive.
OdsBooleans readOdsBooleans(const std::string& path, SheetLimits limits);

// The same from the text of a content.xml.
OdsBooleans scanOdsContent(std::string_view content, SheetLimits limits);

}  // namespace host
