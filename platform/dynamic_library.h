#pragma once

#include <string>

namespace platform {

// A shared library loaded at run time: the stand-in for LoadLibrary/GetProcAddress/FreeLibrary.
// Move-only; the destructor unloads the library. Loading the same file twice gives two objects
// that share one mapping (the loader counts references), and the mapping goes when both are gone.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library by name. A name without '/' is searched along the loader's usual path,
  // a name with one is taken as a path (relative to the current directory). Symbols stay local
  // to the library, so two plug-ins may define the same names. Returns false (and keeps the
  // loader's reason in lastError()) when the file is missing or cannot be loaded.
  bool load(const std::string& name);
  // Unloads the library now; no-op when nothing is loaded.
  void unload();

  bool loaded() const { return handle_ != nullptr; }
  // The address of an exported symbol, or nullptr when the library does not export it.
  void* symbol(const char* name) const;
  // The loader's reason for the last failed load() or symbol().
  const std::string& lastError() const { return lastError_; }
  // The opaque handle, for identity checks (two loads of one file give equal handles).
  const void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
  mutable std::string lastError_;
};

// The folder of the loaded module (shared library or executable) that contains the given
// address, without a trailing '/'; empty when it cannot be found. Used to find files installed
// beside a library, as the original platform searched the application's folder.
std::string moduleDirectory(const void* addressInModule);

}  // namespace platform
