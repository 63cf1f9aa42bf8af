#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/dispatch.h"

namespace host {

// Source named in the exceptions the host's objects raise.
inline constexpr std::string_view kExceptionSource = "Lumivane";

// True when flags ask for a property get or a method call (automation treats them alike).
inline bool isGet(unsigned short flags) {
  return (flags & (platform::DISPATCH_PROPERTYGET | platform::DISPATCH_METHOD)) != 0;
}
inline bool isPut(unsigned short flags) {
  return (flags & platform::DISPATCH_PROPERTYPUT) != 0;
}

// An argument as a 32-bit integer, coerced as automation coerces arguments ("3" and 3.0 are 3).
platform::HRESULT argToInt(const platform::Variant& arg, std::int32_t& value);

inline platform::HRESULT raise(platform::ExcepInfo* excepInfo, std::string_view description) {
  return platform::raiseException(excepInfo, kExceptionSource, description);
}

// Stores an object into result (when given) and drops the caller's reference to it.
template <class T>
platform::HRESULT returnObject(platform::RefPtr<T> object, platform::Variant* result) {
  if (result) *result = platform::Variant(static_cast<platform::Dispatch*>(object.get()));
  return platform::S_OK;
}

inline platform::HRESULT returnValue(platform::Variant value, platform::Variant* result) {
  if (result) *result = std::move(value);
  return platform::S_OK;
}

}  // namespace host
