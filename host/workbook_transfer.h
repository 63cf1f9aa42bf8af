#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/workbook.h"

namespace host {

// The form in which the reading process hands a workbook (or its refusal) to the window's
// process: little-endian, field by field.
//   "LVWB" u32 version(2) u8 answer(0 workbook, 1 refusal)
//   refusal:  u32 length, UTF-8 message
//   workbook: u32 sheets, u32 active sheet, per sheet: u32 name length, name, u32 columns,
//             per column: u32 rows, one kind byte per row, one f64 per row (number, date,
//             Boolean 0/1, error number; 0 for empty and text cells), u32 texts, per text
//             cell in row order u32 row (1-based), u32 length, UTF-8 text.
// A column goes as two blocks, so that both sides copy it whole instead of cell by cell.
using TransferSink = std::function<void(const char*, std::size_t)>;
// Fills the buffer with up to n bytes and returns how many; 0 at the end.
using TransferSource = std::function<std::size_t(char*, std::size_t)>;

void writeWorkbookTransfer(const Workbook& workbook, const TransferSink& out);
void writeRefusalTransfer(const std::string& message, const TransferSink& out);

// The answer is damaged or does not fit the limits; what() says what.
class TransferError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TransferAnswer {
  std::shared_ptr<Workbook> workbook;
  std::optional<std::string> refusal;
};

// Reads an answer, checking every count against the limits before anything is allocated for
// it; the workbook is named name. Throws TransferError; exceptions of source pass through.
TransferAnswer readWorkbookTransfer(const TransferSource& source, const std::string& name,
                                    SheetLimits limits);

}  // namespace host
