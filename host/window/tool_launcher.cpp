#include "host/window/tool_launcher.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/prompter.h"

namespace host {

namespace {

constexpr const char* kCaption = "Lumivane";

std::string executableFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

void tell(const std::string& text) {
  platform::prompter().messageBox(text, kCaption, platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

std::string toolLibraryFolder(const ToolEntry& tool, const std::string& override) {
  if (!override.empty()) return override;
  if (const char* fromEnvironment = std::getenv("LUMIVANE_LIBRARY_DIR"); fromEnvironment && *fromEnvironment)
    return fromEnvironment;
  const std::filesystem::path exe = executableFolder();
  const std::filesystem::path candidates[] = {exe.parent_path() / "lib",
                                              exe.parent_path() / "lib" / "lumivane", exe};
  for (const auto& folder : candidates) {
    std::error_code error;
    if (std::filesystem::exists(folder / tool.library, error)) return folder.string();
  }
  return candidates[0].string();
}

bool startTool(Host& host, const ToolEntry& tool, const std::string& folder) {
  const std::string title(tool.title);
  const std::filesystem::path path = std::filesystem::path(folder) / tool.library;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    tell("Cannot start " + title + ": the tool library " + std::string(tool.library) + " is not in " +
         folder + ".\nBuild or install the tool, or set LUMIVANE_LIBRARY_DIR to the folder that holds it.");
    return false;
  }
  platform::DynamicLibrary* library = nullptr;
  try {
    library = &host.loadToolLibrary(path.string());
  } catch (const std::runtime_error& e) {
    tell("Cannot start " + title + ". " + e.what());
    return false;
  }
  const std::string entryName(tool.entryExport);
  const auto entry = reinterpret_cast<EntryExport>(library->symbol(entryName.c_str()));
  if (!entry) {
    tell("Cannot start " + title + ": " + path.string() + " does not export " + entryName + ".");
    return false;
  }
  entry(host.application());
  return true;
}

}  // namespace host
