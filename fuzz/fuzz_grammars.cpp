// The column-list ("1,3-5") and first-cell ("B7", "R7C2") grammars of the range dialogs.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "shared/column_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the grammar and, for column lists, the column count they are read
  // against; the rest is the text.
  const std::uint8_t selector = data[0];
  const std::string_view text = fuzz::bytesOf(data + 1, size - 1);
  if (selector & 1) {
    std::int32_t row = -1;
    std::int32_t column = -1;
    if (parseFirstCell(text, row, column) && (row < 0 || column < 1)) __builtin_trap();
  } else {
    const std::int32_t maxColumns = (selector >> 1) == 127 ? 16384 : (selector >> 1);
    std::vector<std::int32_t> columns;
    if (parseColumnList(text, maxColumns, columns)) {
      for (std::int32_t c : columns)
        if (c < 1 || c > maxColumns) __builtin_trap();
    }
  }
  return 0;
}
