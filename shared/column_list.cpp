#include "shared/column_list.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

constexpr int kLettersInAlphabet = 26;
// Each part of a first cell fits a 12-character buffer with its terminator.
constexpr std::size_t kMaxFirstCellPart = 11;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
bool isLetter(char c) {
  return c >= 'A' && c <= 'Z';
}

// Folds letters to a column number (A = 1, AA = 27); stops growing once past limit so long
// names cannot overflow.
std::int64_t foldLetters(std::string_view letters, std::int64_t limit) {
  std::int64_t n = 0;
  for (char c : letters) {
    n = n * kLettersInAlphabet + (upper(c) - 'A' + 1);
    if (n > limit) return limit + 1;
  }
  return n;
}

}  // namespace

std::string columnLetters(std::int32_t column) {
  if (column < 1) return {};
  // Bijective base 26: there is no zero digit, so take one off before each division.
  std::string letters;
  for (std::int64_t k = column; k > 0; k = (k - 1) / kLettersInAlphabet)
    letters.insert(letters.begin(), static_cast<char>('A' + (k - 1) % kLettersInAlphabet));
  return letters;
}

std::string cellName(std::int32_t row, std::int32_t column) {
  return columnLetters(column) + std::to_string(row);
}

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
    const std::int64_t number = foldLetters(name, maxColumns);
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
  column = static_cast<std::int32_t>(std::min(foldLetters(letters, kInt32Max), kInt32Max));
  row = static_cast<std::int32_t>(rowValue);
  return true;
}
