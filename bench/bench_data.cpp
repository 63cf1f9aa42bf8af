#include "bench/bench_data.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace lumivane::bench {

std::string dataDir() {
  if (const char* d = std::getenv("BENCH_DATA")) return d;
  return LUMIVANE_BENCH_DATA_DEFAULT;
}

std::vector<std::vector<double>> readCsv(const std::string& path, bool skipHeader) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path + " (generate it with " LUMIVANE_BENCH_GEN ")");
  std::vector<std::vector<double>> rows;
  std::string line;
  if (skipHeader) std::getline(in, line);
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<double> row;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) {
      char* end = nullptr;
      row.push_back(std::strtod(cell.c_str(), &end));
      if (end == cell.c_str()) throw std::runtime_error("not a number in " + path + ": " + cell);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace lumivane::bench
