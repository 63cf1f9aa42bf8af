#include "platform/active_object.h"

#include <mutex>
#include <utility>
#include <vector>

namespace platform {

namespace {

struct Entry {
  std::string progId;
  Dispatch* object;  // holds one reference
};

// Registrations in order; the latest one of a name wins, so a nested registration hides an
// outer one until it is revoked.
struct Table {
  std::mutex mutex;
  std::vector<Entry> entries;
};

Table& table() {
  static Table t;
  return t;
}

}  // namespace

ActiveObjectRegistration::ActiveObjectRegistration(std::string progId, Dispatch* object)
    : progId_(std::move(progId)), object_(object) {
  if (!object_) return;
  object_->addRef();
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.entries.push_back({progId_, object_});
}

ActiveObjectRegistration::ActiveObjectRegistration(ActiveObjectRegistration&& other) noexcept
    : progId_(std::move(other.progId_)), object_(std::exchange(other.object_, nullptr)) {}

ActiveObjectRegistration& ActiveObjectRegistration::operator=(ActiveObjectRegistration&& other) noexcept {
  if (this != &other) {
    revoke();
    progId_ = std::move(other.progId_);
    object_ = std::exchange(other.object_, nullptr);
  }
  return *this;
}

ActiveObjectRegistration::~ActiveObjectRegistration() {
  revoke();
}

void ActiveObjectRegistration::revoke() {
  if (!object_) return;
  {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    for (auto it = t.entries.rbegin(); it != t.entries.rend(); ++it) {
      if (it->object == object_ && it->progId == progId_) {
        t.entries.erase(std::next(it).base());
        break;
      }
    }
  }
  std::exchange(object_, nullptr)->release();
}

ActiveObjectRegistration registerActiveObject(std::string_view progId, Dispatch* object) {
  return ActiveObjectRegistration(std::string(progId), object);
}

HRESULT GetActiveObject(std::string_view progId, RefPtr<Dispatch>& object) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  for (auto it = t.entries.rbegin(); it != t.entries.rend(); ++it) {
    if (equalsNoCase(it->progId, progId)) {
      object = RefPtr<Dispatch>::share(it->object);
      return S_OK;
    }
  }
  return MK_E_UNAVAILABLE;
}

}  // namespace platform
