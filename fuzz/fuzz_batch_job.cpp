// The batch mode's job file, and the FILE[:SHEET]!CELL and FILE[:SHEET] arguments. A job that
// parses must write back as JSON that parses to the same job.
#include "batch/batch_job.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::bytesOf(data, size));
  try {
    const batch::Job job = batch::parseJobJson(text, "job.json");
    const std::string written = batch::jobJson(job);
    const batch::Job again = batch::parseJobJson(written, "job.json");
    if (again.command != job.command || again.options != job.options) __builtin_trap();
  } catch (const batch::UsageError&) {
  }
  try {
    (void)batch::parseSheetTarget(text);
  } catch (const batch::UsageError&) {
  }
  try {
    (void)batch::parseDataFile(text);
  } catch (const batch::UsageError&) {
  }
  return 0;
}
