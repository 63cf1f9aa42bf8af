#include "kohonen/workbench/network_requests.h"

#include "kohonen/workbench/dialog_hooks.h"
#include "kohonen/workbench/palette_table.h"

int NetworkSizeRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().chooseNetworkSize, *this);
}

std::optional<std::string> NetworkSizeRequest::problem() const {
  const auto bad = [](std::int32_t v) { return v < kMinSize || v > kMaxSize; };
  if (bad(rows) || bad(columns))
    return "Please enter an integer between " + std::to_string(kMinSize) + " and " +
           std::to_string(kMaxSize) + ".";
  return std::nullopt;
}

int NewMapRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().chooseNewMap, *this);
}

void NewMapRequest::setMode(MapMode mode) {
  mode_ = mode;
  if (mode_ == MapMode::Existence) colourCount = PaletteTable::kMinColours;
}

bool NewMapRequest::valid() const {
  if (featureColumn < 0 || featureColumn >= static_cast<std::int32_t>(names_.size())) return false;
  if (mode_ == MapMode::Existence) return colourCount == PaletteTable::kMinColours;
  return PaletteTable::validCount(colourCount);
}
