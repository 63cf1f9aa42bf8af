#include "platform/variant.h"

#include <cassert>
#include <ostream>

#include "platform/dispatch.h"
#include "platform/safe_array.h"

namespace platform {

Variant::Variant(std::string_view text) : vt_(VT_BSTR) {
  u_.str = new std::string(text);
}

Variant::Variant(Dispatch* d) noexcept : vt_(VT_DISPATCH) {
  u_.disp = d;
  if (d) d->addRef();
}

Variant::Variant(std::unique_ptr<SafeArray> array) noexcept : vt_(VT_ARRAY | VT_VARIANT) {
  u_.array = array.release();
}

Variant Variant::i2(std::int16_t v) noexcept {
  Variant r;
  r.vt_ = VT_I2;
  r.u_.i2 = v;
  return r;
}

Variant Variant::ui1(std::uint8_t v) noexcept {
  Variant r;
  r.vt_ = VT_UI1;
  r.u_.ui1 = v;
  return r;
}

Variant Variant::r4(float v) noexcept {
  Variant r;
  r.vt_ = VT_R4;
  r.u_.r4 = v;
  return r;
}

Variant Variant::boolean(bool v) noexcept {
  Variant r;
  r.vt_ = VT_BOOL;
  r.u_.b = v;
  return r;
}

Variant Variant::date(double oleDate) noexcept {
  Variant r;
  r.vt_ = VT_DATE;
  r.u_.r8 = oleDate;
  return r;
}

Variant Variant::currency(std::int64_t scaledBy10000) noexcept {
  Variant r;
  r.vt_ = VT_CY;
  r.u_.cy = scaledBy10000;
  return r;
}

Variant Variant::error(std::int32_t scode) noexcept {
  Variant r;
  r.vt_ = VT_ERROR;
  r.u_.scode = scode;
  return r;
}

Variant Variant::null() noexcept {
  Variant r;
  r.vt_ = VT_NULL;
  return r;
}

Variant::Variant(const Variant& other) : vt_(other.vt_), u_(other.u_) {
  if (vt_ == VT_BSTR) {
    u_.str = new std::string(*other.u_.str);
  } else if (vt_ == VT_DISPATCH) {
    if (u_.disp) u_.disp->addRef();
  } else if (isArray()) {
    u_.array = other.u_.array ? new SafeArray(*other.u_.array) : nullptr;
  }
}

Variant::Variant(Variant&& other) noexcept : vt_(other.vt_), u_(other.u_) {
  other.vt_ = VT_EMPTY;
  other.u_.r8 = 0;
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) *this = Variant(other);
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    clear();
    vt_ = other.vt_;
    u_ = other.u_;
    other.vt_ = VT_EMPTY;
    other.u_.r8 = 0;
  }
  return *this;
}

void Variant::releaseOwned() noexcept {
  if (vt_ == VT_BSTR) {
    delete u_.str;
  } else if (vt_ == VT_DISPATCH) {
    if (u_.disp) u_.disp->release();
  } else if (isArray()) {
    delete u_.array;
  }
}

std::int16_t Variant::iVal() const noexcept {
  assert(vt_ == VT_I2);
  return u_.i2;
}
std::int32_t Variant::lVal() const noexcept {
  assert(vt_ == VT_I4);
  return u_.i4;
}
float Variant::fltVal() const noexcept {
  assert(vt_ == VT_R4);
  return u_.r4;
}
double Variant::dblVal() const noexcept {
  assert(vt_ == VT_R8);
  return u_.r8;
}
std::int64_t Variant::cyVal() const noexcept {
  assert(vt_ == VT_CY);
  return u_.cy;
}
double Variant::dateVal() const noexcept {
  assert(vt_ == VT_DATE);
  return u_.r8;
}
const std::string& Variant::bstrVal() const noexcept {
  assert(vt_ == VT_BSTR);
  return *u_.str;
}
Dispatch* Variant::pdispVal() const noexcept {
  assert(vt_ == VT_DISPATCH);
  return u_.disp;
}
std::int32_t Variant::scode() const noexcept {
  assert(vt_ == VT_ERROR);
  return u_.scode;
}
bool Variant::boolVal() const noexcept {
  assert(vt_ == VT_BOOL);
  return u_.b;
}
std::uint8_t Variant::bVal() const noexcept {
  assert(vt_ == VT_UI1);
  return u_.ui1;
}
const SafeArray* Variant::parray() const noexcept {
  assert(isArray());
  return u_.array;
}
SafeArray* Variant::parray() noexcept {
  assert(isArray());
  return u_.array;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.vt_ != b.vt_) return false;
  switch (a.vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_I2:
      return a.u_.i2 == b.u_.i2;
    case VT_I4:
      return a.u_.i4 == b.u_.i4;
    case VT_R4:
      return a.u_.r4 == b.u_.r4;
    case VT_R8:
    case VT_DATE:
      return a.u_.r8 == b.u_.r8;
    case VT_CY:
      return a.u_.cy == b.u_.cy;
    case VT_BSTR:
      return *a.u_.str == *b.u_.str;
    case VT_DISPATCH:
      return a.u_.disp == b.u_.disp;
    case VT_ERROR:
      return a.u_.scode == b.u_.scode;
    case VT_BOOL:
      return a.u_.b == b.u_.b;
    case VT_UI1:
      return a.u_.ui1 == b.u_.ui1;
    default:
      if (a.isArray()) {
        if (!a.u_.array || !b.u_.array) return a.u_.array == b.u_.array;
        return *a.u_.array == *b.u_.array;
      }
      return false;
  }
}

std::ostream& operator<<(std::ostream& os, const Variant& v) {
  switch (v.vt()) {
    case VT_EMPTY:
      return os << "VT_EMPTY";
    case VT_NULL:
      return os << "VT_NULL";
    case VT_BSTR:
      return os << "VT_BSTR \"" << v.bstrVal() << '"';
    case VT_DISPATCH:
      return os << "VT_DISPATCH " << static_cast<const void*>(v.pdispVal());
    case VT_ERROR:
      return os << "VT_ERROR " << (v.scode() - kSpreadsheetErrorBase);
    case VT_BOOL:
      return os << "VT_BOOL " << (v.boolVal() ? "TRUE" : "FALSE");
    case VT_DATE:
      return os << "VT_DATE " << formatOleDate(v.dateVal()) << " (" << v.dateVal() << ")";
    default:
      break;
  }
  if (v.isArray()) {
    const SafeArray* a = v.parray();
    return a ? os << "VT_ARRAY " << a->rows() << "x" << a->cols() : os << "VT_ARRAY null";
  }
  Variant number;
  VariantChangeType(number, v, 0, VT_R8);
  os.precision(17);
  return os << "vt " << v.vt() << " " << (number.vt() == VT_R8 ? number.dblVal() : 0.0);
}

}  // namespace platform
