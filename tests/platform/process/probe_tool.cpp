// A stand-in for a tool library: linked like VANTOR3 (the engine and the shared library
// compiled in, the platform library shared), loaded by the host with RTLD_LOCAL, and loading
// plug-ins of its own. Each export reaches one piece of process-wide platform state.
#include <string>

#include "mlp/engine/training_algorithm.h"
#include "platform/active_object.h"
#include "platform/dynamic_library.h"
#include "platform/host_window.h"
#include "platform/prompter.h"
#include "platform/random.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The private request this tool answers on the host window, as the tools' output requests do.
constexpr platform::UINT kToolRequest = platform::WM_USER + 1737;
constexpr platform::LRESULT kToolAnswer = 1737;

platform::DynamicLibrary plugin;
platform::DynamicLibrary kestrel;
platform::WindowProc savedProcedure = nullptr;

platform::LRESULT toolProcedure(platform::HostWindow& window, platform::UINT message, platform::WPARAM wParam,
                                platform::LPARAM lParam) {
  if (message == kToolRequest) return kToolAnswer;
  return platform::CallWindowProc(savedProcedure, window, message, wParam, lParam);
}

template <class F>
F pluginFunction(const char* name) {
  return reinterpret_cast<F>(plugin.symbol(name));
}

}  // namespace

PROBE_EXPORT int probeToolDraw() {
  return platform::crtRand();
}

PROBE_EXPORT int probeToolAsk(const char* text) {
  return platform::prompter().messageBox(text, "probe tool",
                                         platform::MB_OKCANCEL | platform::MB_ICONWARNING);
}

// 1 when the plug-in at path was loaded.
PROBE_EXPORT int probeToolLoadPlugin(const char* path) {
  return plugin.load(path) ? 1 : 0;
}

// The plug-in's draw, or -1 when it is not loaded.
PROBE_EXPORT int probeToolPluginDraw() {
  auto draw = pluginFunction<int (*)()>("probePluginDraw");
  return draw ? draw() : -1;
}

// The plug-in's message-box answer, or -1 when it is not loaded.
PROBE_EXPORT int probeToolPluginAsk(const char* text) {
  auto ask = pluginFunction<int (*)(const char*)>("probePluginAsk");
  return ask ? ask(text) : -1;
}

// Opens kestrel's parameter dialog as the main sheet does: its result (1 confirmed, 0 cancelled),
// or -1 when the plug-in cannot be loaded or offers no algorithm.
PROBE_EXPORT int probeToolEditKestrelParameters(const char* path) {
  if (!kestrel.loaded() && !kestrel.load(path)) return -1;
  auto getAlgorithm = reinterpret_cast<GetAlgorithmFunction>(kestrel.symbol(kGetAlgorithmSymbol));
  TrainingAlgorithm* algorithm = getAlgorithm ? getAlgorithm() : nullptr;
  if (!algorithm) return -1;
  TrainingContext context;
  return algorithm->EditParameters(&context);
}

PROBE_EXPORT void* probeToolHostWindow() {
  return platform::hostWindow();
}

// Subclasses the host window as a tool's entry does; 1 when there was a window to subclass.
PROBE_EXPORT int probeToolSubclassHostWindow() {
  platform::HostWindow* window = platform::hostWindow();
  if (!window) return 0;
  savedProcedure = window->setProcedure(&toolProcedure);
  return 1;
}

PROBE_EXPORT void probeToolRestoreHostWindow() {
  if (platform::HostWindow* window = platform::hostWindow(); window && savedProcedure)
    window->setProcedure(savedProcedure);
  savedProcedure = nullptr;
}

// The running object registered under progId as this library finds it (no reference kept), or
// null when the lookup fails.
PROBE_EXPORT void* probeToolRunningObject(const char* progId) {
  platform::RefPtr<platform::Dispatch> object;
  if (platform::FAILED(platform::GetActiveObject(progId, object))) return nullptr;
  return object.get();
}

PROBE_EXPORT void probeToolUnload() {
  kestrel.unload();
  plugin.unload();
}
