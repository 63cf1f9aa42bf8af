#include "shared/tool_ui.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/prompter.h"

namespace {

// Pumping slice while waiting: short enough that windows repaint smoothly.
constexpr int kWaitSliceMs = 10;

class SilentProgressWindow final : public ProgressWindow {
 public:
  void setText(const std::string&) override {}
  void setPosition(int) override {}
  bool cancelRequested() override { return false; }
  void bringToForeground() override {}
  void close() override {}
};

ToolUi withDefaults(ToolUi ui) {
  if (!ui.pumpEvents) ui.pumpEvents = [] {};
  if (!ui.openProgress)
    ui.openProgress = [](ProgressVariant) { return std::make_unique<SilentProgressWindow>(); };
  if (!ui.runDataSourceDialog) ui.runDataSourceDialog = [](DataSourceRequest&) { return platform::IDCANCEL; };
  return ui;
}

ToolUi& current() {
  static ToolUi ui = withDefaults({});
  return ui;
}

}  // namespace

const ToolUi& toolUi() {
  return current();
}

void setToolUi(ToolUi ui) {
  current() = withDefaults(std::move(ui));
}

void pumpEvents() {
  current().pumpEvents();
}

void waitPumping(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    pumpEvents();
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(kWaitSliceMs)));
  }
}

std::unique_ptr<ProgressWindow> openProgressWindow(ProgressVariant variant) {
  auto window = current().openProgress(variant);
  return window ? std::move(window) : std::make_unique<SilentProgressWindow>();
}
