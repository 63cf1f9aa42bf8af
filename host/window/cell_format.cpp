#include "host/window/cell_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dispatch.h"
#include "shared/portable_math.h"

namespace host {

namespace {

// A General column shows at most this many characters of a number (its sign not counted).
constexpr int kGeneralWidth = 11;
constexpr int kGeneralSignificantDigits = 10;
// Significant digits of the scientific form ("1.23457E+11").
constexpr int kScientificDigits = 6;

// Drops trailing zeros of a fraction, and the point when nothing follows it.
void trimFraction(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
}

std::string scientificText(double value) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.5E", value);
  std::string text(buffer);
  const std::size_t e = text.find('E');
  std::string mantissa = text.substr(0, e);
  trimFraction(mantissa);
  return mantissa + text.substr(e);
}

// Days since 1 January 1970 of a civil date (proleptic Gregorian), and back.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

// Day 0 of the serial dates.
const long long kSerialEpoch = daysFromCivil(1899, 12, 30);

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads an unsigned decimal number that fills text exactly.
bool readUnsigned(std::string_view text, unsigned& value) {
  if (text.empty() || text.size() > 4) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::optional<double> parseNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string roundTripText(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : generalNumberText(value);
}

}  // namespace

std::string generalNumberText(double value) {
  if (!std::isfinite(value)) return "#NUM!";
  if (value == 0.0) return "0";
  {
    // Most data has few digits: when the shortest form that reads back as the value has at
    // most ten significant digits and fits, it is what rounding to ten digits gives too (the
    // value lies far closer to it than half a unit of the tenth digit).
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec == std::errc()) {
      const std::string_view shortest(buffer, static_cast<std::size_t>(end - buffer));
      if (shortest.find('e') == std::string_view::npos) {
        int digits = 0, width = 0;
        bool leading = true;
        for (char ch : shortest) {
          if (ch == '-') continue;
          ++width;
          if (ch < '0' || ch > '9') continue;
          if (ch != '0') leading = false;
          if (!leading) ++digits;
        }
        if (digits <= kGeneralSignificantDigits && width <= kGeneralWidth) return std::string(shortest);
      }
    }
  }
  const double magnitude = std::fabs(value);
  const int exponent = static_cast<int>(std::floor(portable_math::log10(magnitude)));
  const auto fixed = [&](int decimals) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text(buffer);
    trimFraction(text);
    return text;
  };
  const auto width = [](const std::string& text) {
    return static_cast<int>(text.size()) - (text.front() == '-' ? 1 : 0);
  };
  if (exponent < kGeneralWidth && exponent > -kGeneralWidth) {
    // Ten significant digits: as many decimals as the digits before the point leave, plus the
    // zeros that follow the point in a number below 1.
    const std::string full = fixed(std::max(0, kGeneralSignificantDigits - 1 - exponent));
    if (width(full) <= kGeneralWidth && full != "0" && full != "-0") return full;
    // Rounded to the decimals that fit the column, while that keeps at least as many
    // significant digits as the scientific form shows.
    const int integerDigits = exponent >= 0 ? exponent + 1 : 1;
    const int decimals = static_cast<int>(kGeneralWidth) - integerDigits - 1;
    if (decimals >= 0 && decimals + exponent + 1 >= kScientificDigits) {
      const std::string limited = fixed(decimals);
      if (width(limited) <= kGeneralWidth) return limited;
    }
  }
  return scientificText(value);
}

std::string hashFill(const FitsColumn& fits) {
  // No column is wider than this many '#'.
  constexpr std::size_t kMostHashes = 256;
  std::string hashes("#");
  while (hashes.size() < kMostHashes && fits(hashes + '#')) hashes += '#';
  return hashes;
}

std::string fittedNumberText(double value, const FitsColumn& fits) {
  std::string standard = generalNumberText(value);
  if (fits(standard)) return standard;
  if (!std::isfinite(value) || value == 0.0) return hashFill(fits);
  // The decimal exponent as printf rounds it, so that 9.9999 counts as 10.
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*E", kGeneralSignificantDigits - 1, value);
  const int exponent = std::atoi(std::strchr(buffer, 'E') + 1);

  // The longest fixed form that fits: fewer decimals each time, never fewer integer digits.
  // Past this many zeros after the point no fixed form could fit a column anyway.
  constexpr int kMostLeadingZeros = 30;
  std::string fixedText;
  int fixedDigits = 0;
  if (exponent > -kMostLeadingZeros) {
    for (int decimals = std::max(0, kGeneralSignificantDigits - 1 - exponent); decimals >= 0; --decimals) {
      std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
      std::string text(buffer);
      trimFraction(text);
      if (text == "0" || text == "-0") break;  // the value itself would be lost
      if (fits(text)) {
        fixedText = std::move(text);
        fixedDigits = decimals + exponent + 1;
        break;
      }
    }
  }
  // The longest scientific form that fits.
  std::string scientific;
  int scientificDigits = 0;
  for (int decimals = kScientificDigits - 1; decimals >= 0; --decimals) {
    std::snprintf(buffer, sizeof buffer, "%.*E", decimals, value);
    std::string text(buffer);
    const std::size_t e = text.find('E');
    std::string mantissa = text.substr(0, e);
    trimFraction(mantissa);
    text = mantissa + text.substr(e);
    if (fits(text)) {
      scientific = std::move(text);
      scientificDigits = decimals + 1;
      break;
    }
  }
  if (!fixedText.empty() && (scientific.empty() || fixedDigits >= scientificDigits)) return fixedText;
  if (!scientific.empty()) return scientific;
  return hashFill(fits);
}

std::string dateText(double serial) {
  if (!std::isfinite(serial) || serial < 0 || serial >= 2958466.0) return generalNumberText(serial);
  double day = std::floor(serial);
  // Whole seconds of the day, rounded as a spreadsheet rounds the time it shows.
  long long seconds = std::llround((serial - day) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += 1;
  }
  const int h = static_cast<int>(seconds / 3600), min = static_cast<int>(seconds / 60 % 60),
            s = static_cast<int>(seconds % 60);
  char buffer[64];
  if (day == 0 && seconds != 0) {
    std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d", h, min, s);
    return buffer;
  }
  long long y = 0;
  unsigned m = 0, d = 0;
  civilFromDays(kSerialEpoch + static_cast<long long>(day), y, m, d);
  if (seconds == 0)
    std::snprintf(buffer, sizeof buffer, "%u/%u/%lld", m, d, y);
  else if (s == 0)
    std::snprintf(buffer, sizeof buffer, "%u/%u/%lld %d:%02d", m, d, y, h, min);
  else
    std::snprintf(buffer, sizeof buffer, "%u/%u/%lld %d:%02d:%02d", m, d, y, h, min, s);
  return buffer;
}

std::string displayText(const Sheet& sheet, std::int32_t row, std::int32_t col) {
  switch (sheet.kind(row, col)) {
    case CellKind::Number:
      return generalNumberText(sheet.number(row, col));
    case CellKind::Date:
      return dateText(sheet.number(row, col));
    case CellKind::Boolean:
      return sheet.number(row, col) != 0 ? "TRUE" : "FALSE";
    case CellKind::Error:
      return std::string(errorText(static_cast<std::int32_t>(sheet.number(row, col))));
    case CellKind::Text:
      return sheet.text(row, col);
    case CellKind::Empty:
      break;
  }
  return {};
}

std::string editText(const Sheet& sheet, std::int32_t row, std::int32_t col) {
  if (sheet.kind(row, col) == CellKind::Number) return roundTripText(sheet.number(row, col));
  return displayText(sheet, row, col);
}

std::optional<double> parseDate(std::string_view text) {
  text = trimmed(text);
  const std::size_t blank = text.find(' ');
  const std::string_view datePart = text.substr(0, blank);
  std::string_view timePart =
      blank == std::string_view::npos ? std::string_view() : trimmed(text.substr(blank));
  const std::size_t slash1 = datePart.find('/');
  const std::size_t slash2 = slash1 == std::string_view::npos ? slash1 : datePart.find('/', slash1 + 1);
  if (slash2 == std::string_view::npos) return std::nullopt;
  unsigned m = 0, d = 0, y = 0;
  if (!readUnsigned(datePart.substr(0, slash1), m) ||
      !readUnsigned(datePart.substr(slash1 + 1, slash2 - slash1 - 1), d) ||
      !readUnsigned(datePart.substr(slash2 + 1), y))
    return std::nullopt;
  if (y < 1899 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  const long long days = daysFromCivil(y, m, d);
  long long checkY = 0;
  unsigned checkM = 0, checkD = 0;
  civilFromDays(days, checkY, checkM, checkD);
  if (checkM != m || checkD != d) return std::nullopt;  // 2/30 and the like
  if (days < kSerialEpoch) return std::nullopt;
  double serial = static_cast<double>(days - kSerialEpoch);
  if (!timePart.empty()) {
    unsigned h = 0, min = 0, s = 0;
    const std::size_t colon1 = timePart.find(':');
    if (colon1 == std::string_view::npos) return std::nullopt;
    const std::size_t colon2 = timePart.find(':', colon1 + 1);
    const std::string_view minutes = timePart.substr(
        colon1 + 1, colon2 == std::string_view::npos ? std::string_view::npos : colon2 - colon1 - 1);
    if (!readUnsigned(timePart.substr(0, colon1), h) || !readUnsigned(minutes, min)) return std::nullopt;
    if (colon2 != std::string_view::npos && !readUnsigned(timePart.substr(colon2 + 1), s))
      return std::nullopt;
    if (h > 23 || min > 59 || s > 59) return std::nullopt;
    serial += static_cast<double>(h * 3600 + min * 60 + s) / 86400.0;
  }
  return serial;
}

void storeTypedValue(Sheet& sheet, std::int32_t row, std::int32_t col, std::string_view typed) {
  const std::string_view value = trimmed(typed);
  if (value.empty()) {
    sheet.clear(row, col);
  } else if (platform::equalsNoCase(value, "TRUE") || platform::equalsNoCase(value, "FALSE")) {
    sheet.setBoolean(row, col, platform::equalsNoCase(value, "TRUE"));
  } else if (const auto code = errorFromText(value)) {
    sheet.setError(row, col, *code);
  } else if (const auto number = parseNumber(value)) {
    sheet.setNumber(row, col, *number);
  } else if (const auto date = parseDate(value)) {
    sheet.setDate(row, col, *date);
  } else {
    sheet.setText(row, col, std::string(typed));
  }
}

std::vector<CellArea> clipToUsedArea(const Sheet& sheet, const std::vector<CellArea>& areas) {
  std::vector<CellArea> clipped;
  const auto used = sheet.usedArea();
  if (!used) return clipped;
  for (const CellArea& a : areas) {
    const CellArea c{std::max(a.top, used->top), std::max(a.left, used->left),
                     std::min(a.bottom, used->bottom), std::min(a.right, used->right)};
    if (c.top <= c.bottom && c.left <= c.right) clipped.push_back(c);
  }
  return clipped;
}

SelectionStatistics selectionStatistics(const Sheet& sheet, const std::vector<CellArea>& areas) {
  SelectionStatistics stats;
  for (const CellArea& a : clipToUsedArea(sheet, areas)) {
    for (std::int32_t col = a.left; col <= a.right; ++col) {
      for (std::int32_t row = a.top; row <= a.bottom; ++row) {
        if (sheet.kind(row, col) != CellKind::Number) continue;
        ++stats.count;
        stats.sum += sheet.number(row, col);
      }
    }
  }
  return stats;
}

std::string tabSeparatedText(const Sheet& sheet, const CellArea& area) {
  std::string text;
  for (std::int32_t row = area.top; row <= area.bottom; ++row) {
    for (std::int32_t col = area.left; col <= area.right; ++col) {
      if (col > area.left) text += '\t';
      text += editText(sheet, row, col);
    }
    text += '\n';
  }
  return text;
}

std::optional<CellArea> pasteTabSeparated(Sheet& sheet, std::int32_t row, std::int32_t col,
                                          std::string_view text) {
  if (text.empty() || !sheet.contains(row, col)) return std::nullopt;
  if (text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const SheetLimits limits = sheet.limits();
  CellArea written{row, col, row, col};
  std::int32_t r = row;
  std::size_t lineStart = 0;
  while (lineStart <= text.size() && r <= limits.rows) {
    std::size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = text.size();
    std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::int32_t c = col;
    std::size_t fieldStart = 0;
    while (fieldStart <= line.size() && c <= limits.cols) {
      std::size_t fieldEnd = line.find('\t', fieldStart);
      if (fieldEnd == std::string_view::npos) fieldEnd = line.size();
      storeTypedValue(sheet, r, c, line.substr(fieldStart, fieldEnd - fieldStart));
      written.right = std::max(written.right, c);
      ++c;
      fieldStart = fieldEnd + 1;
    }
    written.bottom = r;
    ++r;
    lineStart = lineEnd + 1;
  }
  return written;
}

}  // namespace host
