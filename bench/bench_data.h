#pragma once

#include <string>
#include <vector>

namespace lumivane::bench {

// Folder of the generated workload data: $BENCH_DATA, else the build tree's bench-data (made
// by scripts/run-benchmarks with the shared generator).
std::string dataDir();

// Reads a numeric CSV; skipHeader drops the first line. Throws std::runtime_error naming the
// file when it is missing or malformed.
std::vector<std::vector<double>> readCsv(const std::string& path, bool skipHeader);

}  // namespace lumivane::bench
