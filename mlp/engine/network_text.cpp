#include "mlp/engine/network_text.h"

#include <cctype>
#include <charconv>
#include <cstring>

#include "mlp/engine/network_errors.h"
#include "shared/exceptions.h"

namespace {

// "% 8.5f ": minimum field width and decimals.
constexpr int kTextWidth = 8;
constexpr int kTextDecimals = 5;
// Room for the longest fixed-point double (309 integer digits), sign, point and decimals.
constexpr std::size_t kTextBuffer = 400;
// A token longer than any number written in this form is not a weight.
constexpr std::size_t kMaxToken = 400;

}  // namespace

void writeTextWeight(std::FILE* out, double value) {
  char digits[kTextBuffer];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, kTextDecimals);
  std::size_t length = static_cast<std::size_t>(result.ptr - digits);

  // The blank flag: a non-negative value gets a blank where the minus sign would go.
  char field[kTextBuffer + kTextWidth + 2];
  std::size_t used = 0;
  const bool negative = length > 0 && digits[0] == '-';
  const std::size_t signedLength = length + (negative ? 0 : 1);
  for (std::size_t pad = signedLength; pad < static_cast<std::size_t>(kTextWidth); ++pad) field[used++] = ' ';
  if (!negative) field[used++] = ' ';
  std::memcpy(field + used, digits, length);
  used += length;
  field[used++] = ' ';
  std::fwrite(field, 1, used, out);
}

double readTextWeight(std::FILE* in) {
  int c = std::fgetc(in);
  while (c != EOF && std::isspace(c)) c = std::fgetc(in);
  if (c == EOF) throw IllegalDataFormatException(kDataFormatText);

  char token[kMaxToken + 1];
  std::size_t length = 0;
  while (c != EOF && !std::isspace(c)) {
    if (length == kMaxToken) throw IllegalDataFormatException(kDataFormatText);
    token[length++] = static_cast<char>(c);
    c = std::fgetc(in);
  }
  const char* first = token;
  if (length > 1 && token[0] == '+' && token[1] != '-') ++first;  // from_chars takes no '+'

  double value = 0.0;
  const auto result = std::from_chars(first, token + length, value);
  if (result.ec != std::errc() || result.ptr != token + length) {
    throw IllegalDataFormatException(kDataFormatText);
  }
  return value;
}
