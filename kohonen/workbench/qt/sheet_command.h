#pragma once

#include <functional>

// How a page runs one of its session's commands: through the main sheet, which keeps a close
// request that arrives meanwhile (from the host, or a nested event loop of a dialog or a
// progress window) until the command has returned, so the session never goes away under it.
using CommandRunner = std::function<void(const std::function<void()>& command)>;
