#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/hresult.h"
#include "platform/variant.h"

namespace platform {

// Kinds of invocation, with the original platform's values. Automation lets a property get and
// a method call stand for each other, so callers may pass both bits.
enum InvokeFlag : unsigned short {
  DISPATCH_METHOD = 1,
  DISPATCH_PROPERTYGET = 2,
  DISPATCH_PROPERTYPUT = 4,
};

// What a member that fails with DISP_E_EXCEPTION reports: where it happened and why.
struct ExcepInfo {
  std::string source;
  std::string description;
  HRESULT scode = S_OK;
  void clear() { *this = ExcepInfo{}; }
};

// A ref-counted automation object invoked by member name (IDispatch). Names are compared
// without regard to case. An object starts with one reference owned by its creator.
class Dispatch {
 public:
  Dispatch() = default;
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

  // Reference counting is thread-safe; the count after the call is returned.
  std::uint32_t addRef() noexcept { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  std::uint32_t release() noexcept;

  // Invokes member `name` with `args` in their natural order (first argument first; for a
  // property put the new value is the last argument). `result` and `excepInfo` may be null.
  // Returns S_OK, DISP_E_MEMBERNOTFOUND for a name the object does not have or a kind of
  // invocation the member does not allow, DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH for an
  // argument of the wrong type, DISP_E_BADINDEX for a collection item that does not exist,
  // or DISP_E_EXCEPTION with excepInfo filled in.
  virtual HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                         Variant* result, ExcepInfo* excepInfo) = 0;

 protected:
  virtual ~Dispatch() = default;

 private:
  std::atomic<std::uint32_t> refs_{1};
};

// Owning reference to a ref-counted object (Dispatch or a subclass).
template <class T>
class RefPtr {
 public:
  RefPtr() noexcept = default;
  RefPtr(std::nullptr_t) noexcept {}
  // Adopts a reference the caller already owns (a fresh object, an out parameter).
  static RefPtr adopt(T* p) noexcept {
    RefPtr r;
    r.p_ = p;
    return r;
  }
  // Takes a new reference.
  static RefPtr share(T* p) noexcept {
    if (p) p->addRef();
    return adopt(p);
  }
  RefPtr(const RefPtr& o) noexcept : p_(o.p_) {
    if (p_) p_->addRef();
  }
  RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  RefPtr(RefPtr<U> o) noexcept : p_(o.detach()) {}
  RefPtr& operator=(RefPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~RefPtr() {
    if (p_) p_->release();
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Hands the reference to the caller.
  T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept { RefPtr().swap(*this); }
  void swap(RefPtr& o) noexcept { std::swap(p_, o.p_); }

 private:
  T* p_ = nullptr;
};

template <class T, class... Args>
RefPtr<T> makeRef(Args&&... args) {
  return RefPtr<T>::adopt(new T(std::forward<Args>(args)...));
}

// ASCII comparison without regard to case, as member and collection names are matched.
bool equalsNoCase(std::string_view a, std::string_view b) noexcept;

// Fills excepInfo (when given) and returns DISP_E_EXCEPTION: how members report a failure
// that the caller should show to the user.
HRESULT raiseException(ExcepInfo* excepInfo, std::string_view source, std::string_view description);

// Convenience calls. getProperty/callMethod may pass DISPATCH_PROPERTYGET | DISPATCH_METHOD,
// as automation clients do. A null object gives E_POINTER.
HRESULT getProperty(Dispatch* object, std::string_view name, Variant& result,
                    std::span<const Variant> args = {}, ExcepInfo* excepInfo = nullptr);
HRESULT putProperty(Dispatch* object, std::string_view name, const Variant& value,
                    std::span<const Variant> args = {}, ExcepInfo* excepInfo = nullptr);
HRESULT callMethod(Dispatch* object, std::string_view name, std::span<const Variant> args, Variant* result,
                   ExcepInfo* excepInfo = nullptr);

// Reads an object-valued property; fails with DISP_E_MEMBERNOTFOUND when the member gives no
// object (empty or Nothing) and DISP_E_TYPEMISMATCH when it gives something else.
HRESULT getObjectProperty(Dispatch* object, std::string_view name, RefPtr<Dispatch>& result,
                          std::span<const Variant> args = {}, ExcepInfo* excepInfo = nullptr);

}  // namespace platform
