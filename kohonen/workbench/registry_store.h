#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The per-user store that stands in for the machine registry: keys are folders under
// $XDG_CONFIG_HOME/lumivane/registry (~/.config when the variable is unset or not an absolute
// path) along the same key path ("Software\Veltrax\Lumivane\Gridwise"), and every value is a
// file holding its raw bytes. A key cannot hold a value and a subkey of the same name.
//
// Values are read into fixed-size buffers as the registry reads them: a value longer than the
// buffer fails the read. Every value is replaced atomically (a complete new file, then a
// rename), so a failing store never leaves a value half written.
//
// Not synchronised between processes beyond what the file system gives; one process writing
// while another reads sees either the old or the new value of each file.

// The folder that holds the store's top-level keys.
std::filesystem::path registryRoot();

// One open key.
class RegistryKey {
 public:
  // Opens an existing key; nothing when it does not exist or the path is malformed (empty
  // parts, "." or "..", a '/' or a NUL inside a name).
  static std::optional<RegistryKey> open(std::string_view path);
  // Opens the key, creating it and every missing key above it.
  static std::optional<RegistryKey> create(std::string_view path);

  const std::filesystem::path& folder() const { return folder_; }

  // Reads a value into buffer; the number of bytes read, or nothing when the value does not
  // exist, cannot be read or is longer than the buffer.
  std::optional<std::size_t> queryValue(std::string_view name, std::span<std::byte> buffer) const;
  // Writes (replaces) a value; false when it cannot be written, the old value then stays.
  bool setValue(std::string_view name, std::span<const std::byte> bytes) const;

  // An existing subkey; nothing when there is none of that name.
  std::optional<RegistryKey> openSubkey(std::string_view name) const;
  // Names of the subkeys, sorted.
  std::vector<std::string> subkeys() const;
  // Deletes a subkey with its values. As on the registry, a subkey that still has subkeys of
  // its own is not deleted; false then, and when it does not exist.
  bool deleteSubkey(std::string_view name) const;

 private:
  explicit RegistryKey(std::filesystem::path folder) : folder_(std::move(folder)) {}
  std::filesystem::path folder_;
};

// Deletes every subkey of key, depth first (each subkey's own subkeys before the subkey).
// Returns false when one of them could not be deleted.
bool deleteSubkeysRecursively(const RegistryKey& key);
