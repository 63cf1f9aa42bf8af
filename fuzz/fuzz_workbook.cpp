// Workbook import of .xlsx, .ods and .csv: the readers the separate reading process runs,
// called in-process so the fuzzer sees their coverage. The first byte picks the extension (the
// content decides for zip packages, the name for the rest) and the .csv separator.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/workbook_io.h"

namespace {

const std::string& workFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumivane-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {".xlsx", ".ods", ".csv", ".csv"};
  const std::string path = workFolder() + "/input" + kExtensions[data[0] & 3];
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    if (!out) std::abort();
  }
  host::ImportOptions options;
  if (data[0] & 4) options.csv = {';', ','};
  try {
    std::shared_ptr<host::Workbook> workbook = host::importWorkbook(path, host::kSheetLimits, options);
    if (!workbook) __builtin_trap();
  } catch (const host::WorkbookFileError&) {
  }
  std::remove(path.c_str());
  return 0;
}
