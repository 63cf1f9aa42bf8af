#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/a1_notation.h"

namespace host {

// A rectangular block of cells, 1-based and inclusive.
struct CellArea {
  std::int32_t top = 1, left = 1, bottom = 1, right = 1;
  std::int32_t rows() const { return bottom - top + 1; }
  std::int32_t cols() const { return right - left + 1; }
  friend bool operator==(const CellArea&, const CellArea&) = default;
};

// Column letters and cell names in the platform's A1 notation ("AA", "B3").
using platform::cellName;
using platform::columnLetters;

// Parses one cell reference ("B3", "$B$3", "b3"); nothing when it is not one or its numbers
// overflow. Limits are not checked here.
std::optional<CellArea> parseCellReference(std::string_view text);
// Parses "A1", "A1:C5" or "$A$1:$C$5" (corners in any order) into an area.
std::optional<CellArea> parseAreaReference(std::string_view text);

}  // namespace host
