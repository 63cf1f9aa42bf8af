// .gwp projects: the data-set block and the map, read against a fixed table.
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "kohonen/engine/gridwise_project.h"
#include "shared/exceptions.h"
#include "shared/gridwise_data_set.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const RawTable table = fuzz::fixedTable();
  GridwiseDataSet dataSet(table);
  // Seeds are whole files; the body follows the magic, which loadProject checks itself.
  std::string_view bytes = fuzz::bytesOf(data, size);
  if (bytes.starts_with("MLP1")) bytes.remove_prefix(4);
  std::istringstream in{std::string(bytes), std::ios::binary};
  try {
    KohonenNet net = readProjectBody(in, dataSet);
    (void)net;
  } catch (const MyException&) {
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
