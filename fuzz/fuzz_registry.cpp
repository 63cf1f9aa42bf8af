// The registry store: Gridwise's stored preferences read back from damaged value files, and key
// paths and value names as callers pass them. The first byte picks what is fuzzed.
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "kohonen/workbench/preferences.h"
#include "kohonen/workbench/registry_store.h"

namespace {

// The value files of the Gridwise key, written once with the defaults in a store of our own.
const std::vector<std::filesystem::path>& valueFiles() {
  static const std::vector<std::filesystem::path> files = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumivane-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
    TrainingSettings settings;
    PaletteTable palette;
    resetPreferences(settings, palette);
    storePreferences(settings, palette);
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(pattern))
      if (entry.is_regular_file()) found.push_back(entry.path());
    if (found.empty()) std::abort();
    return found;
  }();
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<std::filesystem::path>& files = valueFiles();
  const std::uint8_t selector = data[0];
  const std::string_view rest = fuzz::bytesOf(data + 1, size - 1);
  if (selector & 0x80) {
    // A key path (up to the first newline) and a value name (the rest).
    const std::size_t cut = rest.find('\n');
    const std::string_view path = rest.substr(0, cut);
    const std::string_view name = cut == rest.npos ? std::string_view{} : rest.substr(cut + 1);
    if (std::optional<RegistryKey> key = RegistryKey::open(path)) {
      std::array<std::byte, 64> buffer{};
      if (std::optional<std::size_t> n = key->queryValue(name, buffer); n && *n > buffer.size())
        __builtin_trap();
      (void)key->subkeys();
    }
    return 0;
  }
  // One value file replaced by the input, then the preferences loaded: whatever is stored, the
  // settings that come back must be ones the dialogs accept.
  const std::filesystem::path& target = files[selector % files.size()];
  std::string saved;
  {
    std::ifstream in(target, std::ios::binary);
    saved.assign(std::istreambuf_iterator<char>(in), {});
  }
  {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
  }
  TrainingSettings settings;
  PaletteTable palette;
  loadPreferences(settings, palette);
  if (trainingSettingsProblem(settings)) __builtin_trap();
  std::ofstream(target, std::ios::binary | std::ios::trunc) << saved;
  return 0;
}
