#include "platform/dispatch.h"

#include <vector>

namespace platform {

std::uint32_t Dispatch::release() noexcept {
  const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

bool equalsNoCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

HRESULT raiseException(ExcepInfo* excepInfo, std::string_view source, std::string_view description) {
  if (excepInfo) {
    excepInfo->source.assign(source);
    excepInfo->description.assign(description);
    excepInfo->scode = DISP_E_EXCEPTION;
  }
  return DISP_E_EXCEPTION;
}

HRESULT getProperty(Dispatch* object, std::string_view name, Variant& result, std::span<const Variant> args,
                    ExcepInfo* excepInfo) {
  if (!object) return E_POINTER;
  Variant out;
  const HRESULT hr = object->invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, &out, excepInfo);
  if (SUCCEEDED(hr)) result = std::move(out);
  return hr;
}

HRESULT putProperty(Dispatch* object, std::string_view name, const Variant& value,
                    std::span<const Variant> args, ExcepInfo* excepInfo) {
  if (!object) return E_POINTER;
  if (args.empty())
    return object->invoke(name, DISPATCH_PROPERTYPUT, std::span<const Variant>(&value, 1), nullptr,
                          excepInfo);
  std::vector<Variant> all(args.begin(), args.end());
  all.push_back(value);
  return object->invoke(name, DISPATCH_PROPERTYPUT, all, nullptr, excepInfo);
}

HRESULT callMethod(Dispatch* object, std::string_view name, std::span<const Variant> args, Variant* result,
                   ExcepInfo* excepInfo) {
  if (!object) return E_POINTER;
  return object->invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, result, excepInfo);
}

HRESULT getObjectProperty(Dispatch* object, std::string_view name, RefPtr<Dispatch>& result,
                          std::span<const Variant> args, ExcepInfo* excepInfo) {
  Variant v;
  const HRESULT hr = getProperty(object, name, v, args, excepInfo);
  if (FAILED(hr)) return hr;
  if (v.vt() == VT_EMPTY || (v.vt() == VT_DISPATCH && !v.pdispVal())) return DISP_E_MEMBERNOTFOUND;
  if (v.vt() != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  result = RefPtr<Dispatch>::share(v.pdispVal());
  return S_OK;
}

}  // namespace platform
