// .vtp projects (header, network block, data-set block) read against a fixed table.
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "mlp/workbench/vantor_project.h"
#include "shared/vantor_data_set.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const RawTable table = fuzz::fixedTable();
  VantorDataSet dataSet(table);
  std::istringstream in(std::string(fuzz::bytesOf(data, size)), std::ios::binary);
  try {
    ProjectReadResult result = readProject(in, dataSet);
    if (result.ok() && !result.network) __builtin_trap();
  } catch (const std::bad_alloc&) {
    // Refused for want of memory: allowed, never an exhausted machine.
  }
  return 0;
}
