#include "shared/raw_table.h"

#include <new>
#include <stdexcept>

bool RawTable::allocate(std::int32_t columnCount, std::int32_t rows, bool withRowIds) {
  clear();
  if (columnCount < 0 || rows < 0) return false;
  try {
    columnNames.assign(static_cast<std::size_t>(columnCount), std::string());
    if (withRowIds) rowIds.assign(static_cast<std::size_t>(rows), std::string());
    columns.assign(static_cast<std::size_t>(columnCount),
                   std::vector<double>(static_cast<std::size_t>(rows), 0.0));
  } catch (const std::bad_alloc&) {
    clear();
    return false;
  } catch (const std::length_error&) {
    clear();
    return false;
  }
  rowCount = rows;
  return true;
}

void RawTable::clear() {
  // Swapping with empty vectors gives the memory back, which clear() alone would not.
  std::vector<std::string>().swap(columnNames);
  std::vector<std::string>().swap(rowIds);
  std::vector<std::vector<double>>().swap(columns);
  rowCount = 0;
  loaded = false;
}

bool RawTable::isConsistent() const {
  if (rowCount < 0 || columnNames.size() != columns.size()) return false;
  if (!rowIds.empty() && rowIds.size() != static_cast<std::size_t>(rowCount)) return false;
  for (const auto& column : columns)
    if (column.size() != static_cast<std::size_t>(rowCount)) return false;
  return true;
}
