#include "platform/a1_notation.h"

namespace platform {
namespace {

constexpr int kLettersInAlphabet = 26;

}  // namespace

std::string columnLetters(std::int32_t column) {
  // Bijective base 26: there is no zero digit, so take one off before each division.
  std::string letters;
  for (std::int64_t k = column; k > 0; k = (k - 1) / kLettersInAlphabet)
    letters.insert(letters.begin(), static_cast<char>('A' + (k - 1) % kLettersInAlphabet));
  return letters;
}

std::string cellName(std::int32_t row, std::int32_t column) {
  return columnLetters(column) + std::to_string(row);
}

std::int64_t columnNumber(std::string_view letters, std::int64_t limit) {
  std::int64_t n = 0;
  for (char c : letters) {
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    n = n * kLettersInAlphabet + (upper - 'A' + 1);
    if (n > limit) return limit + 1;
  }
  return n;
}

}  // namespace platform
