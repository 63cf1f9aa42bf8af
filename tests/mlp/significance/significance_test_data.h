#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "shared/progress.h"
#include "shared/real_matrix.h"

namespace significance::test {

// Records every progress report in order.
class RecordingProgress final : public ProgressSink {
 public:
  struct Event {
    std::string text;  // set for setText, empty for setPosition
    int position = -1;
  };
  void setText(const std::string& text) override { events.push_back({text, -1}); }
  void setPosition(int position) override { events.push_back({"", position}); }
  bool cancelRequested() override { return false; }
  void holdFinished(std::chrono::milliseconds pause) override { finishes.push_back(pause); }

  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const Event& e : events) {
      if (e.position < 0) result.push_back(e.text);
    }
    return result;
  }
  // Positions reported after the i-th text (0-based) and before the next one.
  std::vector<int> positionsAfterText(std::size_t i) const {
    std::vector<int> result;
    std::size_t seen = 0;
    for (const Event& e : events) {
      if (e.position < 0) {
        ++seen;
      } else if (seen == i + 1) {
        result.push_back(e.position);
      }
    }
    return result;
  }

  std::vector<Event> events;
  std::vector<std::chrono::milliseconds> finishes;  // the pause of every finish()
};

// n × cols matrix with element (i, c) = f(i, c).
inline RealMatrix makeMatrix(std::int32_t n, std::int32_t cols,
                             const std::function<double(std::int32_t, std::int32_t)>& f) {
  RealMatrix m(n, cols);
  for (std::int32_t i = 0; i < n; ++i) {
    for (std::int32_t c = 0; c < cols; ++c) m(i, c) = f(i, c);
  }
  return m;
}

inline RealMatrix uniformMatrix(std::int32_t n, std::int32_t cols, std::uint32_t seed, double lo = -1.0,
                                double hi = 1.0) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> dist(lo, hi);
  return makeMatrix(n, cols, [&](std::int32_t, std::int32_t) { return dist(engine); });
}

inline RealMatrix column(const RealMatrix& m, std::int32_t c) {
  return m(R(-1, -1), R(c));
}

// A numeric CSV with a header row and a text ID in the first column.
struct CsvTable {
  std::vector<std::string> names;         // without the ID column
  std::vector<std::vector<double>> rows;  // one vector per row
  RealMatrix columns(const std::vector<std::int32_t>& which) const {
    return makeMatrix(static_cast<std::int32_t>(rows.size()), static_cast<std::int32_t>(which.size()),
                      [&](std::int32_t i, std::int32_t c) { return rows[i][which[c]]; });
  }
};

inline CsvTable readCsvWithId(const std::string& path) {
  CsvTable table;
  std::ifstream in(path);
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    std::stringstream cells(line);
    std::string cell;
    std::getline(cells, cell, ',');  // ID
    std::vector<double> values;
    while (std::getline(cells, cell, ',')) {
      if (header) {
        table.names.push_back(cell);
      } else {
        values.push_back(std::stod(cell));
      }
    }
    if (!header) table.rows.push_back(std::move(values));
    header = false;
  }
  return table;
}

}  // namespace significance::test
