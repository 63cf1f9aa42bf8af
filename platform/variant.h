#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace platform {

class Dispatch;
class SafeArray;

// Variant type numbers, as the original automation platform numbers them.
using VARTYPE = std::uint16_t;
enum VarEnum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UI1 = 17,
  VT_ARRAY = 0x2000,
};

// Automation's Boolean: true is all bits set, so TRUE read as a number is -1.
inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

// Currency is a 64-bit integer scaled by 10,000 (four decimal places, exact).
inline constexpr std::int64_t kCurrencyScale = 10000;

// Spreadsheet error values travel as VT_ERROR with this facility prefix followed by the
// spreadsheet's error number (2007 is #DIV/0!, 2042 is #N/A, ...).
inline constexpr std::int32_t kSpreadsheetErrorBase = static_cast<std::int32_t>(0x800A0000u);

// A tagged value of one of the VT_ types above, 16 bytes like the original VARIANT.
// Text (VT_BSTR) is UTF-8 and owned; a dispatch reference is counted; an array (VT_ARRAY |
// VT_VARIANT) is owned and copied deeply with the variant. Not thread-safe per object.
class Variant {
 public:
  Variant() noexcept : vt_(VT_EMPTY) { u_.r8 = 0; }
  explicit Variant(double v) noexcept : vt_(VT_R8) { u_.r8 = v; }
  explicit Variant(std::int32_t v) noexcept : vt_(VT_I4) { u_.i4 = v; }
  explicit Variant(std::string_view text);
  explicit Variant(const char* text) : Variant(std::string_view(text)) {}
  explicit Variant(const std::string& text) : Variant(std::string_view(text)) {}
  // Takes a new reference on d (which may be null: "Nothing").
  explicit Variant(Dispatch* d) noexcept;
  // Takes ownership of the array; vt becomes VT_ARRAY | VT_VARIANT.
  explicit Variant(std::unique_ptr<SafeArray> array) noexcept;

  static Variant i2(std::int16_t v) noexcept;
  static Variant ui1(std::uint8_t v) noexcept;
  static Variant r4(float v) noexcept;
  static Variant boolean(bool v) noexcept;
  static Variant date(double oleDate) noexcept;
  static Variant currency(std::int64_t scaledBy10000) noexcept;
  static Variant error(std::int32_t scode) noexcept;
  static Variant null() noexcept;

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { clear(); }

  // Releases what the variant holds and makes it VT_EMPTY (VariantClear).
  void clear() noexcept {
    // Only text, objects and arrays own anything; the rest just become empty.
    if (vt_ == VT_BSTR || vt_ == VT_DISPATCH || (vt_ & VT_ARRAY) != 0) releaseOwned();
    vt_ = VT_EMPTY;
    u_.r8 = 0;
  }

  VARTYPE vt() const noexcept { return vt_; }
  bool isEmpty() const noexcept { return vt_ == VT_EMPTY; }
  bool isArray() const noexcept { return (vt_ & VT_ARRAY) != 0; }

  // Accessors read the member for the current type; calling one for another type is a
  // programming error (checked by assert in debug builds).
  std::int16_t iVal() const noexcept;
  std::int32_t lVal() const noexcept;
  float fltVal() const noexcept;
  double dblVal() const noexcept;
  std::int64_t cyVal() const noexcept;
  double dateVal() const noexcept;
  const std::string& bstrVal() const noexcept;
  Dispatch* pdispVal() const noexcept;
  std::int32_t scode() const noexcept;
  bool boolVal() const noexcept;
  std::uint8_t bVal() const noexcept;
  const SafeArray* parray() const noexcept;
  SafeArray* parray() noexcept;

  // Same type and same payload; arrays compare element by element, dispatch by identity.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  void releaseOwned() noexcept;

  VARTYPE vt_;
  union {
    std::int16_t i2;
    std::int32_t i4;
    float r4;
    double r8;
    std::int64_t cy;
    std::int32_t scode;
    bool b;
    std::uint8_t ui1;
    std::string* str;
    Dispatch* disp;
    SafeArray* array;
  } u_;
};

// "VT_R8 12", "VT_BSTR \"text\"" and so on, for logs and test failures.
std::ostream& operator<<(std::ostream& os, const Variant& v);

// Flags of VariantChangeType; accepted for the original signature, the conversion always
// follows the English (United States) rules below.
inline constexpr unsigned short VARIANT_NOVALUEPROP = 0x1;

// Converts src to type vt into dest (dest may be src). Supported targets: VT_BSTR, VT_R8,
// VT_R4, VT_I4, VT_I2, VT_UI1, VT_BOOL, VT_DATE, VT_CY, VT_EMPTY.
// To text: numbers as a spreadsheet's general format shows them (at most 15 significant
// digits; 12 -> "12", 0.1 -> "0.1", 1e20 -> "1E+20"), dates as m/d/yyyy (with " h:mm:ss AM"
// when there is a time of day), Booleans as TRUE/FALSE, empty as "".
// To numbers: TRUE is -1; text is parsed as an English number ("1,234.5", " 12 "); integer
// targets round half to even and fail with DISP_E_OVERFLOW outside their range.
// Failures: DISP_E_TYPEMISMATCH for errors, null, objects, arrays and unparsable text;
// dest is left unchanged on failure.
HRESULT VariantChangeType(Variant& dest, const Variant& src, unsigned short flags, VARTYPE vt);

// The text formats used above, also for files written by the host.
std::string formatGeneralNumber(double value);  // 15 significant digits, "1E+20"
std::string formatOleDate(double oleDate);      // m/d/yyyy[ h:mm:ss AM|PM]

// OLE dates count days from 30 December 1899; the fraction is the time of day (for negative
// dates it counts forwards from the start of the day, as on the original platform).
struct DateParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
// Valid from 1 January 100 to 31 December 9999; false outside that span.
bool oleDateToParts(double oleDate, DateParts& parts);
// False when a field is out of its range (month 1..12, day within the month, ...).
bool oleDateFromParts(const DateParts& parts, double& oleDate);
// Parses "m/d/yyyy" with an optional time "h:mm[:ss][ AM|PM]"; false when the text is not a date.
bool parseOleDate(std::string_view text, double& oleDate);

}  // namespace platform
