// Conversions between variant types with the English (United States) rules the tools rely on
// when they read cells as text or numbers.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/variant.h"

namespace platform {

namespace {

// Significant digits a spreadsheet shows in its general number format (and that the
// automation platform keeps when it turns a double into text).
constexpr int kGeneralDigits = 15;
// A single-precision real keeps seven significant digits in text.
constexpr int kSingleDigits = 7;
// Range of OLE dates: 1 January 100 to 31 December 9999.
constexpr double kMinOleDate = -657434.0;
constexpr double kMaxOleDate = 2958466.0;  // exclusive: the first day after 31 December 9999
constexpr int kSecondsPerDay = 86400;
// Days from 1 January 1970 back to the OLE epoch, 30 December 1899.
constexpr long kOleEpochFromUnix = 25569;

// Days since 1 January 1970 of a proleptic Gregorian date (civil calendar arithmetic with
// 400-year eras of 146097 days).
long daysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void civilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long>(yoe) + era * 400 + (m <= 2));
}

bool isLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// printf's %.*G with a tidy result: no "-0", and non-finite values as the spreadsheet's #NUM!.
std::string formatSignificant(double value, int digits) {
  if (!std::isfinite(value)) return "#NUM!";
  if (value == 0) return "0";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
  return buffer;
}

// An English number: optional sign, digits with optional thousands commas, optional fraction
// and exponent, surrounded by optional blanks.
std::optional<double> parseNumber(std::string_view text) {
  text = trim(text);
  std::string cleaned;
  cleaned.reserve(text.size());
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') cleaned.push_back('-');
    ++i;
  }
  bool digits = false;
  for (; i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == ','); ++i) {
    if (text[i] == ',') {
      if (!digits) return std::nullopt;
      continue;
    }
    digits = true;
    cleaned.push_back(text[i]);
  }
  if (i < text.size() && text[i] == '.') {
    cleaned.push_back('.');
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      cleaned.push_back(text[i]);
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    cleaned.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) cleaned.push_back(text[i++]);
    bool expDigits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      expDigits = true;
      cleaned.push_back(text[i]);
    }
    if (!expDigits) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(cleaned.data(), cleaned.data() + cleaned.size(), value);
  if (ec != std::errc() || end != cleaned.data() + cleaned.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string formatCurrency(std::int64_t scaled) {
  const bool negative = scaled < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string text = std::to_string(magnitude / kCurrencyScale);
  std::uint64_t fraction = magnitude % kCurrencyScale;
  if (fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(fraction));
    std::string f(digits);
    while (f.back() == '0') f.pop_back();
    text += "." + f;
  }
  return negative ? "-" + text : text;
}

// The numeric value a variant stands for, or the failure to report.
HRESULT toDouble(const Variant& src, double& out) {
  switch (src.vt()) {
    case VT_EMPTY:
      out = 0;
      return S_OK;
    case VT_I2:
      out = src.iVal();
      return S_OK;
    case VT_I4:
      out = src.lVal();
      return S_OK;
    case VT_R4:
      out = src.fltVal();
      return S_OK;
    case VT_R8:
      out = src.dblVal();
      return S_OK;
    case VT_CY:
      out = static_cast<double>(src.cyVal()) / kCurrencyScale;
      return S_OK;
    case VT_DATE:
      out = src.dateVal();
      return S_OK;
    case VT_BOOL:
      out = src.boolVal() ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case VT_UI1:
      out = src.bVal();
      return S_OK;
    case VT_BSTR: {
      const auto v = parseNumber(src.bstrVal());
      if (!v) return DISP_E_TYPEMISMATCH;
      out = *v;
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Rounds half to even, as the platform does when a real becomes an integer, and checks range.
template <class Int>
HRESULT toInteger(double value, Int& out) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<Int>::max())))
    return DISP_E_OVERFLOW;
  out = static_cast<Int>(rounded);
  return S_OK;
}

HRESULT toText(const Variant& src, std::string& out) {
  switch (src.vt()) {
    case VT_EMPTY:
      out.clear();
      return S_OK;
    case VT_I2:
      out = std::to_string(src.iVal());
      return S_OK;
    case VT_I4:
      out = std::to_string(src.lVal());
      return S_OK;
    case VT_UI1:
      out = std::to_string(src.bVal());
      return S_OK;
    case VT_R4:
      out = formatSignificant(src.fltVal(), kSingleDigits);
      return S_OK;
    case VT_R8:
      out = formatGeneralNumber(src.dblVal());
      return S_OK;
    case VT_CY:
      out = formatCurrency(src.cyVal());
      return S_OK;
    case VT_DATE: {
      DateParts parts;
      if (!oleDateToParts(src.dateVal(), parts)) return DISP_E_OVERFLOW;
      out = formatOleDate(src.dateVal());
      return S_OK;
    }
    case VT_BOOL:
      out = src.boolVal() ? "TRUE" : "FALSE";
      return S_OK;
    case VT_BSTR:
      out = src.bstrVal();
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT convert(const Variant& src, VARTYPE vt, Variant& out) {
  if (vt == VT_BSTR) {
    std::string text;
    const HRESULT hr = toText(src, text);
    if (SUCCEEDED(hr)) out = Variant(text);
    return hr;
  }
  if (vt == VT_BOOL && src.vt() == VT_BSTR) {
    const std::string_view t = trim(src.bstrVal());
    if (equalsNoCase(t, "TRUE") || equalsNoCase(t, "FALSE")) {
      out = Variant::boolean(equalsNoCase(t, "TRUE"));
      return S_OK;
    }
  }
  if (vt == VT_DATE && src.vt() == VT_BSTR) {
    double date = 0;
    if (parseOleDate(src.bstrVal(), date)) {
      out = Variant::date(date);
      return S_OK;
    }
  }
  double value = 0;
  HRESULT hr = toDouble(src, value);
  if (FAILED(hr)) return hr;
  switch (vt) {
    case VT_R8:
      out = Variant(value);
      return S_OK;
    case VT_R4:
      if (std::fabs(value) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
      out = Variant::r4(static_cast<float>(value));
      return S_OK;
    case VT_I4: {
      std::int32_t i = 0;
      hr = toInteger(value, i);
      if (SUCCEEDED(hr)) out = Variant(i);
      return hr;
    }
    case VT_I2: {
      std::int16_t i = 0;
      hr = toInteger(value, i);
      if (SUCCEEDED(hr)) out = Variant::i2(i);
      return hr;
    }
    case VT_UI1: {
      std::uint8_t i = 0;
      hr = toInteger(value, i);
      if (SUCCEEDED(hr)) out = Variant::ui1(i);
      return hr;
    }
    case VT_CY: {
      std::int64_t scaled = 0;
      hr = toInteger(value * kCurrencyScale, scaled);
      if (SUCCEEDED(hr)) out = Variant::currency(scaled);
      return hr;
    }
    case VT_DATE:
      if (!(value >= kMinOleDate && value < kMaxOleDate)) return DISP_E_OVERFLOW;
      out = Variant::date(value);
      return S_OK;
    case VT_BOOL:
      out = Variant::boolean(value != 0);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

std::string formatGeneralNumber(double value) {
  return formatSignificant(value, kGeneralDigits);
}

bool oleDateToParts(double oleDate, DateParts& parts) {
  if (!(oleDate >= kMinOleDate && oleDate < kMaxOleDate)) return false;
  long day = static_cast<long>(std::trunc(oleDate));
  long seconds = std::lround(std::fabs(oleDate - static_cast<double>(day)) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  civilFromDays(day - kOleEpochFromUnix, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return true;
}

bool oleDateFromParts(const DateParts& p, double& oleDate) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > daysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 ||
      p.second < 0 || p.second > 59)
    return false;
  const long day =
      daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) + kOleEpochFromUnix;
  const double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / kSecondsPerDay;
  // Before the epoch the time of day still counts forwards from the start of the day.
  oleDate = day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
  return true;
}

std::string formatOleDate(double oleDate) {
  DateParts p;
  if (!oleDateToParts(oleDate, p)) return formatGeneralNumber(oleDate);
  const bool hasTime = p.hour != 0 || p.minute != 0 || p.second != 0;
  const bool hasDate = std::trunc(oleDate) != 0 || !hasTime;
  char buffer[64];
  std::string text;
  if (hasDate) {
    std::snprintf(buffer, sizeof buffer, "%d/%d/%d", p.month, p.day, p.year);
    text = buffer;
  }
  if (hasTime) {
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    std::snprintf(buffer, sizeof buffer, "%s%d:%02d:%02d %s", hasDate ? " " : "", hour12, p.minute, p.second,
                  p.hour < 12 ? "AM" : "PM");
    text += buffer;
  }
  return text;
}

namespace {

// Reads an unsigned decimal of 1..maxDigits digits at text[pos].
bool readInt(std::string_view text, std::size_t& pos, int maxDigits, int& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
         static_cast<int>(pos - start) < maxDigits)
    value = value * 10 + (text[pos++] - '0');
  return pos > start && (pos == text.size() || text[pos] < '0' || text[pos] > '9');
}

}  // namespace

bool parseOleDate(std::string_view text, double& oleDate) {
  // A two-digit year below this is in the 2000s, otherwise in the 1900s.
  constexpr int kTwoDigitYearPivot = 30;
  text = trim(text);
  std::size_t pos = 0;
  DateParts p;
  if (!readInt(text, pos, 2, p.month) || pos >= text.size() || text[pos++] != '/') return false;
  if (!readInt(text, pos, 2, p.day) || pos >= text.size() || text[pos++] != '/') return false;
  const std::size_t yearStart = pos;
  if (!readInt(text, pos, 4, p.year)) return false;
  if (pos - yearStart <= 2)
    p.year += p.year < kTwoDigitYearPivot ? 2000 : 1900;
  else if (pos - yearStart != 4)
    return false;
  if (pos < text.size()) {
    if (text[pos] != ' ') return false;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (!readInt(text, pos, 2, p.hour) || pos >= text.size() || text[pos++] != ':') return false;
    if (!readInt(text, pos, 2, p.minute)) return false;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      if (!readInt(text, pos, 2, p.second)) return false;
    }
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const std::string_view suffix = text.substr(pos);
    if (!suffix.empty()) {
      const bool pm = equalsNoCase(suffix, "PM");
      if (!pm && !equalsNoCase(suffix, "AM")) return false;
      if (p.hour < 1 || p.hour > 12) return false;
      p.hour = p.hour % 12 + (pm ? 12 : 0);
    }
  }
  return oleDateFromParts(p, oleDate);
}

HRESULT VariantChangeType(Variant& dest, const Variant& src, unsigned short /*flags*/, VARTYPE vt) {
  if (vt == src.vt() && !src.isArray()) {
    dest = src;
    return S_OK;
  }
  if (vt == VT_EMPTY) {
    dest.clear();
    return S_OK;
  }
  Variant out;
  const HRESULT hr = convert(src, vt, out);
  if (SUCCEEDED(hr)) dest = std::move(out);
  return hr;
}

}  // namespace platform
