#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A1 notation of spreadsheet cells, shared by the host's references and the tools' column lists
// and messages. Columns and rows are 1-based.

// Letters of a column: 1 is A, 26 is Z, 27 is AA, 256 is IV, 702 is ZZ, 703 is AAA. Empty for a
// column below 1.
std::string columnLetters(std::int32_t column);

// A cell as references and messages name it: the column letters followed by the decimal row
// ("B7" for row 7, column 2).
std::string cellName(std::int32_t row, std::int32_t column);

// The column that letters name (A = 1, AA = 27; case is ignored). The caller passes letters
// only. Past limit the result is limit + 1, so an over-long name can never overflow; an empty
// name gives 0.
std::int64_t columnNumber(std::string_view letters, std::int64_t limit);

}  // namespace platform
