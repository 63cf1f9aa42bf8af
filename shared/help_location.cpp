#include "shared/help_location.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/dynamic_library.h"

std::string findHelpIndex(const std::string& tool, const void* anchor, std::string* lookedAt) {
  namespace fs = std::filesystem;
  const fs::path page = fs::path("lumivane") / "help" / tool / "index.html";
  std::vector<fs::path> candidates;
  const fs::path library = platform::moduleDirectory(anchor);
  if (!library.empty()) {
    candidates.push_back(library / ".." / ".." / "share" / page);  // <prefix>/lib/lumivane
    candidates.push_back(library / ".." / "share" / page);         // the build tree's lib/
  }
#ifdef LUMIVANE_INSTALL_HELP_DIR
  candidates.push_back(fs::path(LUMIVANE_INSTALL_HELP_DIR) / tool / "index.html");
#endif
#ifdef LUMIVANE_SOURCE_DIR
  candidates.push_back(fs::path(LUMIVANE_SOURCE_DIR) / "docs" / "help" / tool / "index.html");
#endif
  std::string places;
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    const fs::path normal = candidate.lexically_normal();
    if (fs::is_regular_file(normal, error)) return normal.string();
    places += "\n" + normal.string();
  }
  if (lookedAt) *lookedAt = places;
  return {};
}
