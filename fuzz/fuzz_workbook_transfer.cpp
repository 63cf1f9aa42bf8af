// The reading process's answer as the window reads it: a workbook or a refusal in the transfer
// form, whose counts are checked against the sheet limits before anything is allocated for
// them. Whatever reads back must write out again, and read back from that, to the same bytes.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "host/workbook_transfer.h"

namespace {

host::TransferAnswer readFrom(std::string_view bytes) {
  std::size_t at = 0;
  const host::TransferSource source = [&](char* buffer, std::size_t n) {
    const std::size_t k = std::min(n, bytes.size() - at);
    std::memcpy(buffer, bytes.data() + at, k);
    at += k;
    return k;
  };
  return host::readWorkbookTransfer(source, "answer.xlsx", host::kSheetLimits);
}

std::string written(const host::Workbook& workbook) {
  std::string bytes;
  host::writeWorkbookTransfer(workbook, [&](const char* p, std::size_t n) { bytes.append(p, n); });
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::TransferAnswer answer;
  try {
    answer = readFrom(fuzz::bytesOf(data, size));
  } catch (const host::TransferError&) {
    return 0;
  }
  if (!answer.workbook) {
    if (!answer.refusal) __builtin_trap();
    return 0;
  }
  // Our own writing of what was accepted is always accepted, and is a fixed point.
  const std::string once = written(*answer.workbook);
  const host::TransferAnswer again = readFrom(once);
  if (!again.workbook || again.workbook->sheetCount() != answer.workbook->sheetCount()) __builtin_trap();
  if (written(*again.workbook) != once) __builtin_trap();
  return 0;
}
