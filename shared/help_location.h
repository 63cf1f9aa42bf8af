#pragma once

#include <string>

// Where a tool's help index page is: beside the tool's library in an installed tree (also one
// moved after installation, <prefix>/lib/lumivane → <prefix>/share), in the build tree's copy
// (lib → share), in the configured installation folder, or in the source tree. tool names the
// help folder ("vantor", "gridwise"); anchor is any address inside the tool's library. Empty
// when none exists; lookedAt then lists every place tried, one per line, each after a newline.
std::string findHelpIndex(const std::string& tool, const void* anchor, std::string* lookedAt = nullptr);
