#include "kohonen/workbench/registry_store.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "shared/binary_io.h"

namespace fs = std::filesystem;

namespace {

constexpr char kKeySeparator = '\\';

// A key or value name that names exactly one entry of its folder.
bool validName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\0' || c == kKeySeparator) return false;
  return true;
}

// The folder of a key path, or nothing when the path is malformed.
std::optional<fs::path> folderOf(std::string_view path) {
  fs::path folder = registryRoot();
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find(kKeySeparator, start);
    const std::string_view part = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    if (!validName(part)) return std::nullopt;
    folder /= std::string(part);
    if (end == std::string_view::npos) return folder;
    start = end + 1;
  }
}

}  // namespace

fs::path registryRoot() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
  if (config && *config && fs::path(config).is_absolute()) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : ".") / ".config";
  }
  return base / "lumivane" / "registry";
}

std::optional<RegistryKey> RegistryKey::open(std::string_view path) {
  const std::optional<fs::path> folder = folderOf(path);
  std::error_code error;
  if (!folder || !fs::is_directory(*folder, error)) return std::nullopt;
  return RegistryKey(*folder);
}

std::optional<RegistryKey> RegistryKey::create(std::string_view path) {
  const std::optional<fs::path> folder = folderOf(path);
  if (!folder) return std::nullopt;
  std::error_code error;
  fs::create_directories(*folder, error);
  if (!fs::is_directory(*folder, error)) return std::nullopt;
  return RegistryKey(*folder);
}

std::optional<std::size_t> RegistryKey::queryValue(std::string_view name, std::span<std::byte> buffer) const {
  if (!validName(name)) return std::nullopt;
  const fs::path file = folder_ / std::string(name);
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  // Read one byte more than the buffer holds to learn whether the value is longer.
  std::vector<char> bytes(buffer.size() + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return std::nullopt;
  const auto count = static_cast<std::size_t>(in.gcount());
  if (count > buffer.size()) return std::nullopt;
  for (std::size_t i = 0; i < count; ++i) buffer[i] = static_cast<std::byte>(bytes[i]);
  return count;
}

bool RegistryKey::setValue(std::string_view name, std::span<const std::byte> bytes) const {
  if (!validName(name)) return false;
  const fs::path file = folder_ / std::string(name);
  std::error_code error;
  if (fs::is_directory(file, error)) return false;
  return writeFileAtomically(file, [&](std::ostream& out) {
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  });
}

std::vector<std::string> RegistryKey::subkeys() const {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<RegistryKey> RegistryKey::openSubkey(std::string_view name) const {
  if (!validName(name)) return std::nullopt;
  fs::path folder = folder_ / std::string(name);
  std::error_code error;
  if (!fs::is_directory(folder, error)) return std::nullopt;
  return RegistryKey(std::move(folder));
}

bool RegistryKey::deleteSubkey(std::string_view name) const {
  const std::optional<RegistryKey> sub = openSubkey(name);
  if (!sub || !sub->subkeys().empty()) return false;
  std::error_code error;
  fs::remove_all(sub->folder(), error);
  return !error;
}

bool deleteSubkeysRecursively(const RegistryKey& key) {
  bool all = true;
  for (const std::string& name : key.subkeys()) {
    const std::optional<RegistryKey> sub = key.openSubkey(name);
    if (!sub) {
      all = false;
      continue;
    }
    all = deleteSubkeysRecursively(*sub) && all;
    all = key.deleteSubkey(name) && all;
  }
  return all;
}
