#include "host/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/variant.h"

namespace host {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads up to `digits` decimal digits as an int; false when fewer are there.
bool fixedDigits(std::string_view& s, std::size_t digits, int& value) {
  if (s.size() < digits) return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (!isDigit(s[i])) return false;
    value = value * 10 + (s[i] - '0');
  }
  s.remove_prefix(digits);
  return true;
}

std::optional<double> parseTimeOfDay(std::string_view& s) {
  int h = 0, m = 0, sec = 0;
  if (!fixedDigits(s, 2, h) || s.empty() || s.front() != ':') return std::nullopt;
  s.remove_prefix(1);
  if (!fixedDigits(s, 2, m)) return std::nullopt;
  double fraction = 0;
  if (!s.empty() && s.front() == ':') {
    s.remove_prefix(1);
    if (!fixedDigits(s, 2, sec)) return std::nullopt;
    if (!s.empty() && (s.front() == '.' || s.front() == ',')) {
      std::size_t n = 1;
      while (n < s.size() && isDigit(s[n])) ++n;
      std::string digits = "0." + std::string(s.substr(1, n - 1));
      std::from_chars(digits.data(), digits.data() + digits.size(), fraction);
      s.remove_prefix(n);
    }
  }
  if (h > 24 || m > 59 || sec > 60) return std::nullopt;
  return (h * 3600.0 + m * 60.0 + sec + fraction) / 86400.0;
}

// A number's characters copied for from_chars: in place up to the length of any number a cell
// holds in full, on the heap beyond.
class NumberCopy {
 public:
  explicit NumberCopy(std::size_t capacity) : onHeap_(capacity > sizeof local_) {
    if (onHeap_) heap_.reserve(capacity);
  }
  void operator+=(char c) {
    if (onHeap_)
      heap_ += c;
    else
      local_[size_++] = c;
  }
  const char* data() const { return onHeap_ ? heap_.data() : local_; }
  std::size_t size() const { return onHeap_ ? heap_.size() : size_; }

 private:
  bool onHeap_;
  char local_[64];
  std::size_t size_ = 0;
  std::string heap_;
};

}  // namespace

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::optional<double> parseNumber(std::string_view text, char decimalMark) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  // Checks the grammar, copying with '.' as the decimal mark for from_chars (on the stack for
  // every number a cell can hold in full).
  NumberCopy plain(text.size());
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  std::size_t mantissaDigits = 0;
  bool mark = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (isDigit(c)) {
      plain += c;
      ++mantissaDigits;
    } else if (c == decimalMark && !mark) {
      plain += '.';
      mark = true;
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    std::size_t exponentDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++exponentDigits) plain += text[i];
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string formatNumber(double value, char decimalMark) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
  if (decimalMark != '.')
    for (char& c : text)
      if (c == '.') c = decimalMark;
  return text;
}

std::optional<double> parseIsoDate(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.size() >= 5 && s[2] == ':') {
    const auto t = parseTimeOfDay(s);
    return t && s.empty() ? t : std::nullopt;
  }
  platform::DateParts parts;
  if (!fixedDigits(s, 4, parts.year) || s.empty() || s.front() != '-') return std::nullopt;
  s.remove_prefix(1);
  if (!fixedDigits(s, 2, parts.month) || s.empty() || s.front() != '-') return std::nullopt;
  s.remove_prefix(1);
  if (!fixedDigits(s, 2, parts.day)) return std::nullopt;
  parts.hour = parts.minute = parts.second = 0;
  double date = 0;
  if (!platform::oleDateFromParts(parts, date)) return std::nullopt;
  double time = 0;
  if (!s.empty() && (s.front() == 'T' || s.front() == ' ')) {
    s.remove_prefix(1);
    const auto t = parseTimeOfDay(s);
    if (!t) return std::nullopt;
    time = *t;
  }
  // A zone designator is dropped: spreadsheet dates have no time zone.
  if (!s.empty() && (s == "Z" || s.front() == '+' || s.front() == '-')) s = {};
  if (!s.empty()) return std::nullopt;
  // Before 1899-12-30 the fraction counts forwards from the start of the day.
  return date >= 0 ? date + time : date - time;
}

std::optional<double> parseIsoDuration(std::string_view s) {
  bool negative = false;
  if (!s.empty() && s.front() == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  if (s.empty() || s.front() != 'P') return std::nullopt;
  s.remove_prefix(1);
  double seconds = 0;
  bool inTime = false, any = false;
  while (!s.empty()) {
    if (s.front() == 'T') {
      inTime = true;
      s.remove_prefix(1);
      continue;
    }
    std::size_t n = 0;
    while (n < s.size() && (isDigit(s[n]) || s[n] == '.')) ++n;
    if (n == 0 || n == s.size()) return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + n, v);
    if (ec != std::errc() || end != s.data() + n) return std::nullopt;
    const char unit = s[n];
    s.remove_prefix(n + 1);
    any = true;
    if (!inTime && unit == 'D')
      seconds += v * 86400;
    else if (!inTime && unit == 'W')
      seconds += v * 7 * 86400;
    else if (inTime && unit == 'H')
      seconds += v * 3600;
    else if (inTime && unit == 'M')
      seconds += v * 60;
    else if (inTime && unit == 'S')
      seconds += v;
    else
      return std::nullopt;
  }
  if (!any) return std::nullopt;
  const double days = seconds / 86400.0;
  return negative ? -days : days;
}

std::size_t invalidUtf8At(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    char32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      return i;
    }
    if (i + len > n) return i;
    for (std::size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += len;
  }
  return std::string_view::npos;
}

std::string windows1252ToUtf8(std::string_view text) {
  // The 0x80-0x9F range of Windows-1252; the five unassigned bytes map to themselves.
  static constexpr char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 && c < 0xA0)
      appendUtf8(out, kHigh[c - 0x80]);
    else
      appendUtf8(out, c);
  }
  return out;
}

std::string decodeXlsxEscapes(std::string_view text) {
  if (text.find("_x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
      int v = 0;
      bool ok = true;
      for (std::size_t k = 2; k < 6; ++k) {
        const int h = hexValue(text[i + k]);
        if (h < 0) ok = false;
        v = v * 16 + h;
      }
      if (ok) {
        char32_t cp = static_cast<char32_t>(v);
        std::size_t used = 7;
        // A surrogate pair is written as two escapes.
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 13 < text.size() && text[i + 7] == '_' &&
            text[i + 8] == 'x' && text[i + 13] == '_') {
          int lo = 0;
          bool okLo = true;
          for (std::size_t k = 9; k < 13; ++k) {
            const int h = hexValue(text[i + k]);
            if (h < 0) okLo = false;
            lo = lo * 16 + h;
          }
          if (okLo && lo >= 0xDC00 && lo <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + static_cast<char32_t>(lo - 0xDC00);
            used = 14;
          }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        appendUtf8(out, cp);
        i += used;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace host
