#include "host/cell_address.h"

#include <algorithm>
#include <limits>

namespace host {

namespace {
// References are at most this long in either part; longer ones overflow 32 bits.
constexpr std::size_t kMaxLetters = 6;
constexpr std::size_t kMaxDigits = 9;
}  // namespace

std::optional<CellArea> parseCellReference(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  const std::size_t letterStart = i;
  while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) ++i;
  if (i == letterStart || i - letterStart > kMaxLetters) return std::nullopt;
  const auto column = static_cast<std::int32_t>(platform::columnNumber(
      text.substr(letterStart, i - letterStart), std::numeric_limits<std::int32_t>::max()));
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
