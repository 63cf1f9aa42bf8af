#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() {
  unload();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), lastError_(std::move(other.lastError_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    unload();
    handle_ = std::exchange(other.handle_, nullptr);
    lastError_ = std::move(other.lastError_);
  }
  return *this;
}

bool DynamicLibrary::load(const std::string& name) {
  unload();
  // RTLD_NOW: a plug-in with an unresolved symbol fails here, not in the middle of training.
  handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    lastError_ = reason ? reason : "cannot load " + name;
    return false;
  }
  lastError_.clear();
  return true;
}

void DynamicLibrary::unload() {
  if (handle_) dlclose(std::exchange(handle_, nullptr));
}

void* DynamicLibrary::symbol(const char* name) const {
  if (!handle_) {
    lastError_ = "no library loaded";
    return nullptr;
  }
  dlerror();  // clear a stale error so a null result can be told from a failure
  void* address = dlsym(handle_, name);
  if (!address) {
    const char* reason = dlerror();
    lastError_ = reason ? reason : std::string(name) + " is null";
  }
  return address;
}

std::string moduleDirectory(const void* addressInModule) {
  Dl_info info{};
  if (!dladdr(addressInModule, &info)) return {};
  // The main program's entry may carry an empty or relative name: resolve it to a full path.
  const char* name = (info.dli_fname && info.dli_fname[0]) ? info.dli_fname : "/proc/self/exe";
  char resolved[PATH_MAX];
  if (!realpath(name, resolved)) return {};
  std::string path = resolved;
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace platform
