#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace host {

// A decimal number as a spreadsheet accepts it typed into a cell: an optional sign, digits
// with at most one decimal mark, an optional exponent; correctly rounded. Hexadecimal, NaN,
// infinities and values beyond the range of a double are not numbers. Leading and trailing
// spaces are allowed.
std::optional<double> parseNumber(std::string_view text, char decimalMark = '.');

// The shortest text that reads back as the same double ("0.1", "1e+300", "-5"), with the
// given decimal mark.
std::string formatNumber(double value, char decimalMark = '.');

// An ISO 8601 date or date-time ("2024-02-29", "2024-02-29T13:45:30.5", "-0001-..." refused)
// as an OLE date; a time alone ("13:45:30") as the fraction of a day.
std::optional<double> parseIsoDate(std::string_view text);
// An ISO 8601 duration as the .ods format stores times ("PT13H45M30S", "P1DT2H"), in days.
std::optional<double> parseIsoDuration(std::string_view text);

// The position of the first byte that is not part of valid UTF-8, or npos.
std::size_t invalidUtf8At(std::string_view text);

// Appends the code point c (at most U+10FFFF) to out as UTF-8.
void appendUtf8(std::string& out, char32_t c);
// Text in another single-byte encoding read as Windows-1252, the usual one of files that are
// not UTF-8.
std::string windows1252ToUtf8(std::string_view text);

// The xlsx escapes _xHHHH_ (a UTF-16 code unit) decoded.
std::string decodeXlsxEscapes(std::string_view text);

}  // namespace host
