#include "kohonen/workbench/dialog_hooks.h"

namespace {
GridwiseDialogHooks& installed() {
  static GridwiseDialogHooks hooks;
  return hooks;
}
}  // namespace

const GridwiseDialogHooks& gridwiseDialogHooks() {
  return installed();
}

void setGridwiseDialogHooks(GridwiseDialogHooks hooks) {
  installed() = std::move(hooks);
}
