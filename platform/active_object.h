#pragma once

#include <string>
#include <string_view>

#include "platform/dispatch.h"
#include "platform/hresult.h"

namespace platform {

// The programmatic name under which the running spreadsheet host registers its Application.
inline constexpr std::string_view kSpreadsheetProgId = "Excel.Application";

// Keeps an object registered as the running object of a programmatic name (and a reference to
// it) for as long as it lives; the stand-in for the platform's running-object table.
class ActiveObjectRegistration {
 public:
  ActiveObjectRegistration() = default;
  ActiveObjectRegistration(std::string progId, Dispatch* object);
  ActiveObjectRegistration(ActiveObjectRegistration&& other) noexcept;
  ActiveObjectRegistration& operator=(ActiveObjectRegistration&& other) noexcept;
  ~ActiveObjectRegistration();
  // Withdraws the registration now (the destructor does it otherwise).
  void revoke();

 private:
  std::string progId_;
  Dispatch* object_ = nullptr;
};

// Registers object as the running object of progId, replacing any earlier registration of that
// name while the new one lives. Thread-safe.
ActiveObjectRegistration registerActiveObject(std::string_view progId, Dispatch* object);

// Finds the running object registered under progId (names compared without regard to case) and
// returns a new reference to it; MK_E_UNAVAILABLE when none is registered. Thread-safe.
HRESULT GetActiveObject(std::string_view progId, RefPtr<Dispatch>& object);

}  // namespace platform
