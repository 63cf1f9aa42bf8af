#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Spreadsheet column letters and the two small grammars the tools accept from the user: the
// list of data columns ("A-E,F,G,K-AA") and the first cell of an output ("B3").

// Letters of a 1-based column: 1 is A, 26 is Z, 27 is AA, 256 is IV. Empty for a column below 1.
std::string columnLetters(std::int32_t column);

// A cell as messages name it: the column letters followed by the decimal row ("B7").
std::string cellName(std::int32_t row, std::int32_t column);

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
