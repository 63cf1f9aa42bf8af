// methinfo, the list of training libraries: names separated by white space, over-long names
// refused. Read from the current folder, which is a temporary one of the harness's own.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "mlp/engine/algorithm_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool inFolder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumivane-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) std::abort();
    return true;
  }();
  (void)inFolder;
  {
    std::ofstream out("methinfo", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  AlgorithmLoader loader{std::string()};
  loader.LoadAlgorithms();
  if (loader.algorithms.size() != loader.libraries.size()) __builtin_trap();
  if (loader.algorithms.empty() != (loader.selectedAlgorithm == -1)) __builtin_trap();
  loader.SelectAlgorithm(static_cast<int>(size % 3) - 1);
  return 0;
}
