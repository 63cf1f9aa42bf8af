#pragma once

#include <functional>
#include <memory>

#include "shared/progress.h"

class DataSourceRequest;

// The window-system services that the bridge, the range reader and the output writer need but
// cannot provide without a GUI toolkit: event pumping, progress windows and the data-source
// dialog. The Qt side installs real ones (installQtToolUi); until then the defaults show
// nothing, pump nothing and cancel the dialog, which is what headless tests expect.

// The looks of the progress window (see ProgressIndicator for the Qt one).
enum class ProgressVariant {
  Vantor,               // bar and message line
  GridwisePlain,        // bar, percentage and message line
  GridwiseCancellable,  // Cancel, bar and percentage
  GridwiseOutput,       // Cancel, bar, percentage and message line
};

// A shown progress window; reports pump events. Closing it (or destroying the object)
// re-enables the window it disabled.
class ProgressWindow : public ProgressSink {
 public:
  virtual void bringToForeground() = 0;
  virtual void close() = 0;
};

struct ToolUi {
  // Gives every pending event of the GUI thread to its receiver.
  std::function<void()> pumpEvents;
  // Opens a progress window owned by the active window.
  std::function<std::unique_ptr<ProgressWindow>(ProgressVariant)> openProgress;
  // Shows the "Select data source:" dialog modally; IDOK after the user accepted valid values
  // (written back into the request), IDCANCEL otherwise.
  std::function<int(DataSourceRequest&)> runDataSourceDialog;
};

// The installed services, or the silent defaults. Install on the GUI thread before any tool
// starts; the result stays valid until the next installation.
const ToolUi& toolUi();
// Installs ui; an empty member keeps the silent default for that service.
void setToolUi(ToolUi ui);

// Convenience wrappers over the installed services.
void pumpEvents();
// Waits about ms milliseconds while pumping events in short slices, so windows stay alive.
void waitPumping(int ms);
std::unique_ptr<ProgressWindow> openProgressWindow(ProgressVariant variant);
