#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "kohonen/engine/kohonen_net.h"
#include "shared/progress.h"
#include "shared/real_matrix.h"

namespace kohonen_test {

inline RealMatrix matrixOf(std::int32_t rows, std::int32_t cols, std::initializer_list<double> values) {
  std::vector<double> v(values);
  return RealMatrix(rows, cols, v.data());
}

// Sets every weight of a net from cell-major values (cell (0, 0) first, its components in order).
inline void setCells(KohonenNet& net, std::initializer_list<double> values) {
  auto it = values.begin();
  for (std::int32_t r = 0; r < net.rows(); ++r)
    for (std::int32_t c = 0; c < net.columns(); ++c)
      for (std::int32_t k = 0; k < net.dimension(); ++k) net.setWeight(r, c, k, *it++);
}

inline std::vector<double> allWeights(const KohonenNet& net) {
  std::vector<double> w;
  for (std::int32_t r = 0; r < net.rows(); ++r)
    for (std::int32_t c = 0; c < net.columns(); ++c)
      for (std::int32_t k = 0; k < net.dimension(); ++k) w.push_back(net.weight(r, c, k));
  return w;
}

// A CSV table with a header row and a text ID in the first column.
struct CsvTable {
  std::vector<std::string> names;  // without the ID column
  std::vector<std::string> ids;
  std::vector<std::vector<double>> columns;
};

inline CsvTable readCsv(const std::string& path) {
  CsvTable t;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  {
    std::stringstream header(line);
    std::string cell;
    std::getline(header, cell, ',');
    while (std::getline(header, cell, ',')) t.names.push_back(cell);
  }
  t.columns.resize(t.names.size());
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::stringstream row(line);
    std::string cell;
    std::getline(row, cell, ',');
    t.ids.push_back(cell);
    for (auto& column : t.columns) {
      std::getline(row, cell, ',');
      column.push_back(std::stod(cell));
    }
  }
  return t;
}

// Columns first … first + count − 1 of the table, each standardised to mean 0 and variance 1
// (divisor n − 1), as rows of a matrix.
inline RealMatrix standardised(const CsvTable& t, std::size_t first, std::size_t count) {
  const std::size_t n = t.ids.size();
  std::vector<double> v(n * count);
  for (std::size_t j = 0; j < count; ++j) {
    const std::vector<double>& col = t.columns[first + j];
    double mean = 0.0;
    for (double x : col) mean += x;
    mean /= static_cast<double>(n);
    double ss = 0.0;
    for (double x : col) ss += (x - mean) * (x - mean);
    const double sd = std::sqrt(ss / static_cast<double>(n - 1));
    for (std::size_t i = 0; i < n; ++i) v[i * count + j] = (col[i] - mean) / sd;
  }
  return RealMatrix(static_cast<std::int32_t>(n), static_cast<std::int32_t>(count), v.data());
}

// Records what an engine reports and presses Cancel before the given cancel query (0-based).
class RecordingProgress : public ProgressSink {
 public:
  explicit RecordingProgress(int cancelAtQuery = -1) : cancelAt_(cancelAtQuery) {}
  void setText(const std::string& text) override { texts.push_back(text); }
  void setPosition(int position) override { positions.push_back(position); }
  bool cancelRequested() override { return queries++ == cancelAt_; }
  void holdFinished(std::chrono::milliseconds pause) override { finishes.push_back(pause); }

  std::vector<std::string> texts;
  std::vector<int> positions;
  std::vector<std::chrono::milliseconds> finishes;  // the pause of every finish()
  int queries = 0;

 private:
  int cancelAt_;
};

}  // namespace kohonen_test
