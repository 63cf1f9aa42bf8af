#pragma once

// Tables for the data-set tests: tiny hand-made ones and the shipped wine sample.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shared/raw_table.h"
#include "tests/support/test_support.h"

namespace lumivane::test {

// columns[c] holds the values of column c; names are "c0", "c1", …
inline RawTable makeTable(const std::vector<std::vector<double>>& columns) {
  RawTable table;
  const auto rows = columns.empty() ? 0 : static_cast<std::int32_t>(columns[0].size());
  EXPECT_TRUE(table.allocate(static_cast<std::int32_t>(columns.size()), rows, true));
  for (std::size_t c = 0; c < columns.size(); ++c) {
    // Appending (rather than "c" + …) sidesteps a false -Wrestrict warning of g++ 12.
    table.columnNames[c] = "c";
    table.columnNames[c] += std::to_string(c);
    table.columns[c] = columns[c];
  }
  for (std::int32_t r = 0; r < rows; ++r) {
    std::string& id = table.rowIds[static_cast<std::size_t>(r)];
    id = "Row_";
    id += std::to_string(r + 1);
  }
  table.loaded = true;
  return table;
}

// A sample CSV whose first column holds row IDs and whose other columns are numbers, read the
// way the range reader fills a table (header row as names).
inline RawTable loadSampleTable(const std::string& name) {
  std::ifstream in(samplePath(name));
  EXPECT_TRUE(in.good()) << samplePath(name);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> header;
  {
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) header.push_back(field);
  }
  std::vector<std::string> ids;
  std::vector<std::vector<double>> columns(header.size() - 1);
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::stringstream fields(line);
    std::string field;
    std::getline(fields, field, ',');
    ids.push_back(field);
    for (auto& column : columns) {
      std::getline(fields, field, ',');
      column.push_back(std::stod(field));
    }
  }
  RawTable table = makeTable(columns);
  for (std::size_t c = 0; c < columns.size(); ++c) table.columnNames[c] = header[c + 1];
  table.rowIds = ids;
  return table;
}

// The first `columns` columns of table (for tables of fewer columns over the same rows).
inline RawTable firstColumns(const RawTable& table, std::int32_t columns) {
  std::vector<std::vector<double>> values(table.columns.begin(), table.columns.begin() + columns);
  return makeTable(values);
}

}  // namespace lumivane::test
