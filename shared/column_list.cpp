#include "shared/column_list.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

// Each part of a first cell fits a 12-character buffer with its terminator.
constexpr std::size_t kMaxFirstCellPart = 11;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
bool isLetter(char c) {
  return c >= 'A' && c <= 'Z';
}

}  // namespace

bool parseColumnList(std::string_view text, std::int32_t maxColumns, std::vector<std::int32_t>& columns) {
  std::vector<std::int32_t> result;
  std::string name;
  char previousSeparator = ',';
  // A trailing ',' closes the last name like any other.
  std::string input(text);
  input.push_back(',');
  for (char raw : input) {
    const char c = upper(raw);
    if (c == ' ' || c == '\t') continue;
    if (isLetter(c)) {
      name.push_back(c);
      continue;
    }
    if (c != ',' && c != '-') return false;
    const std::int64_t number = platform::columnNumber(name, maxColumns);
    if (number < 1 || number > maxColumns) return false;
    const auto column = static_cast<std::int32_t>(number);
    if (previousSeparator == '-') {
      if (result.empty() || result.back() >= column) return false;
      for (std::int32_t k = result.back() + 1; k <= column; ++k) result.push_back(k);
    } else {
      result.push_back(column);
    }
    previousSeparator = c;
    name.clear();
  }
  columns = std::move(result);
  return true;
}

bool parseFirstCell(std::string_view text, std::int32_t& row, std::int32_t& column) {
  std::size_t i = 0;
  std::string letters;
  if (!text.empty() && upper(text[0]) > '@') {
    while (i < text.size() && isLetter(upper(text[i]))) letters.push_back(upper(text[i++]));
    if (i == text.size()) return false;  // the text ended inside the column part
  }
  const std::size_t digitsStart = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  const std::string_view digits = text.substr(digitsStart, i - digitsStart);
  if (letters.empty() || digits.empty()) return false;
  if (letters.size() > kMaxFirstCellPart || digits.size() > kMaxFirstCellPart) return false;

  std::int64_t rowValue = 0;
  for (char d : digits) rowValue = std::min(rowValue * 10 + (d - '0'), kInt32Max);
  column = static_cast<std::int32_t>(std::min(platform::columnNumber(letters, kInt32Max), kInt32Max));
  row = static_cast<std::int32_t>(rowValue);
  return true;
}
