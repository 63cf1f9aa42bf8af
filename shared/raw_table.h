#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The table read from a worksheet range: one name and one array of doubles per data column,
// and (Gridwise) one ID text per row. The tool task owns it; data sets refer to it read-only and
// must not outlive it. Raw columns are addressed by their 0-based index.
struct RawTable {
  std::vector<std::string> columnNames;      // one per column
  std::vector<std::string> rowIds;           // one per row, or empty when the tool keeps none
  std::vector<std::vector<double>> columns;  // columnCount() arrays of rowCount values
  std::int32_t rowCount = 0;
  bool loaded = false;  // the table is complete

  std::int32_t columnCount() const { return static_cast<std::int32_t>(columns.size()); }
  // Values of column c (0 <= c < columnCount()), rowCount of them.
  const double* column(std::int32_t c) const { return columns[static_cast<std::size_t>(c)].data(); }

  // Sizes the table for columns × rows values (all 0.0), columns empty names and, when
  // withRowIds, rows empty IDs; clears loaded. Returns false, leaving the table empty, when the
  // memory cannot be had, so that the reader can show its own tool's message.
  bool allocate(std::int32_t columnCount, std::int32_t rows, bool withRowIds);
  // Frees everything and clears loaded.
  void clear();
  // Every array has the size the counts promise.
  bool isConsistent() const;
};
