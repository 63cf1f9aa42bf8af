// A stand-in for a training plug-in: loaded by the probe tool, it draws from the generator and
// raises a message box, each through whatever platform layer the loader bound it to.
#include "platform/prompter.h"
#include "platform/random.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

PROBE_EXPORT int probePluginDraw() {
  return platform::crtRand();
}

PROBE_EXPORT int probePluginAsk(const char* text) {
  return platform::prompter().messageBox(text, "probe plug-in",
                                         platform::MB_YESNO | platform::MB_ICONQUESTION);
}
