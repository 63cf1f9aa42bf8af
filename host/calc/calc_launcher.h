#pragma once

#include <string>

#include "host/calc/calc_office.h"
#include "platform/host_window.h"

namespace host::calc {

struct LauncherOptions {
  OfficeOptions office;
  // "Vantor" or "Gridwise" to start that tool once attached; empty for none.
  std::string toolAtStart;
};

// lumivane --calc on a running QApplication: attaches to the user's Calc (starting it when none
// runs), shows the launcher window (Vantor, Gridwise, the office's state, Quit) and runs the
// event loop until the user quits or the office has gone. Returns the exit status: 0, or 1
// when no office could be reached or the connection was lost.
int runLauncher(platform::MessageLoop& loop, const LauncherOptions& options);

}  // namespace host::calc
