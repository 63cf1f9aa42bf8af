// .mlp network files: the header and the network block, read from memory as loadNetworkFile
// reads them from disk. A network that loads must write back and load again unchanged.
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "mlp/engine/network_file.h"
#include "mlp/engine/perceptron.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(fuzz::bytesOf(data, size)), std::ios::binary);
  NetworkLoadResult result = readNetworkFile(in);
  if (!result.network) return 0;
  std::ostringstream out(std::ios::binary);
  writeNetworkFile(*result.network, out);
  std::istringstream again(out.str(), std::ios::binary);
  NetworkLoadResult reread = readNetworkFile(again);
  if (!reread.network) __builtin_trap();
  std::ostringstream out2(std::ios::binary);
  writeNetworkFile(*reread.network, out2);
  if (out2.str() != out.str()) __builtin_trap();
  return 0;
}
