// Both tools' data-set blocks, read against a fixed table; the first byte picks the tool.
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "shared/exceptions.h"
#include "shared/gridwise_data_set.h"
#include "shared/vantor_data_set.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const RawTable table = fuzz::fixedTable();
  std::istringstream in(std::string(fuzz::bytesOf(data + 1, size - 1)), std::ios::binary);
  try {
    if (data[0] & 1) {
      GridwiseDataSet dataSet(table);
      dataSet.readBlock(in);
    } else {
      VantorDataSet dataSet(table);
      dataSet.readBlock(in);
    }
  } catch (const MyException&) {
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
