#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/a1_notation.h"

// The two small grammars the tools accept from the user: the list of data columns
// ("A-E,F,G,K-AA") and the first cell of an output ("B3"). Column letters and cell names are
// the platform's A1 notation.
using platform::cellName;
using platform::columnLetters;

// Parses a column list: letters name columns (case is ignored), ',' separates entries, "X-Y"
// stands for X, X+1, ..., Y, blanks and tabs are ignored. The result keeps the written order,
// repetitions included. Fails (columns unchanged) on any other character, an empty name, a
// column above maxColumns, or a range whose end is not beyond its start.
bool parseColumnList(std::string_view text, std::int32_t maxColumns, std::vector<std::int32_t>& columns);

// Parses the first cell of an output ("b3" gives row 3, column 2; characters after the digits
// are ignored). Fails (row and column unchanged) when the letters or the digits are missing or
// either part is longer than 11 characters. Values too large for 32 bits saturate at the
// largest one, so the caller's range checks refuse them.
bool parseFirstCell(std::string_view text, std::int32_t& row, std::int32_t& column);
