#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/raw_table.h"

// Helpers shared by the fuzz harnesses and the seed writer.
namespace fuzz {

// The table the data-set and project harnesses read their blocks against: five columns of eight
// rows with distinct values (so no normaliser meets a zero variance by accident) and row IDs.
inline RawTable fixedTable() {
  RawTable table;
  table.allocate(5, 8, true);
  for (std::int32_t c = 0; c < 5; ++c) {
    table.columnNames[static_cast<std::size_t>(c)] = "c" + std::to_string(c);
    for (std::int32_t r = 0; r < 8; ++r)
      table.columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] =
          (r + 1) * (c + 2) % 11 + 0.25 * r;
  }
  for (std::int32_t r = 0; r < 8; ++r) table.rowIds[static_cast<std::size_t>(r)] = "r" + std::to_string(r);
  table.loaded = true;
  return table;
}

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz
