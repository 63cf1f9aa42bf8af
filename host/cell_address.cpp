#include "host/cell_address.h"

#include <algorithm>

namespace host {

namespace {
// References are at most this long in either part; longer ones overflow 32 bits.
constexpr std::size_t kMaxLetters = 6;
constexpr std::size_t kMaxDigits = 9;
}  // namespace

std::string columnLetters(std::int32_t column) {
  std::string letters;
  for (std::int64_t c = column; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters;
}

std::string cellName(std::int32_t row, std::int32_t column) {
  return columnLetters(column) + std::to_string(row);
}

std::optional<CellArea> parseCellReference(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  std::int32_t column = 0;
  const std::size_t letterStart = i;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') break;
    column = column * 26 + (c - 'A' + 1);
  }
  if (i == letterStart || i - letterStart > kMaxLetters) return std::nullopt;
  if (i < text.size() && text[i] == '$') ++i;
  std::int32_t row = 0;
  const std::size_t digitStart = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) row = row * 10 + (text[i] - '0');
  if (i == digitStart || i - digitStart > kMaxDigits || i != text.size()) return std::nullopt;
  return CellArea{row, column, row, column};
}

std::optional<CellArea> parseAreaReference(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return parseCellReference(text);
  const auto a = parseCellReference(text.substr(0, colon));
  const auto b = parseCellReference(text.substr(colon + 1));
  if (!a || !b) return std::nullopt;
  return CellArea{std::min(a->top, b->top), std::min(a->left, b->left), std::max(a->bottom, b->bottom),
                  std::max(a->right, b->right)};
}

}  // namespace host
