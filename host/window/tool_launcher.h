#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace host {

// A tool the host can start from its Add-ins menu: the library that holds it and its entry
// export, which the add-in workbook calls with the Application.
struct ToolEntry {
  std::string_view title;        // "Vantor 3.0"
  std::string_view library;      // file name in the library folder
  std::string_view entryExport;  // void entry(Dispatch* application)
};
inline constexpr ToolEntry kVantorTool = {"Vantor 3.0", "libVANTOR3.so", "Vantor3_97"};
inline constexpr ToolEntry kGridwiseTool = {"Gridwise", "libGridwise.so", "Gridwise_97"};

// Signature of the tools' entry exports.
using EntryExport = void (*)(platform::Dispatch* application);

// The folder the tool libraries are taken from: the override when one is set (tests), else the
// environment variable LUMIVANE_LIBRARY_DIR, else the first of the build tree's library folder
// beside the executable (../lib), the installed one (../lib/lumivane) and the executable's own
// folder that holds the library asked for (the first of them when none does).
std::string toolLibraryFolder(const ToolEntry& tool, const std::string& override = {});

// Loads the tool's library into the host (once) and calls its entry export with the
// Application, exactly as the add-in workbook does. Every failure (library missing or not
// loadable, export missing) is told to the user through the prompter with the caption
// "Lumivane" and the error icon; returns whether the entry was called.
bool startTool(Host& host, const ToolEntry& tool, const std::string& folder);

}  // namespace host
