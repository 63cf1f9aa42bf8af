#include "kohonen/workbench/selector_request.h"

#include <algorithm>

#include "kohonen/workbench/dialog_hooks.h"

ColumnChoice ColumnChoice::initial(std::int32_t columnCount) {
  ColumnChoice choice;
  choice.kinds.assign(static_cast<std::size_t>(std::max(columnCount, 0)), NormalisationKind::None);
  return choice;
}

int NormalisationRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().chooseNormalisation, *this);
}

NormalisationKind NormalisationRequest::kind() const {
  if (button < 0 || button >= static_cast<int>(kButtonKinds.size())) return NormalisationKind::None;
  return kButtonKinds[static_cast<std::size_t>(button)];
}

namespace {

bool fits(const ColumnChoice& choice, std::size_t columns) {
  if (choice.kinds.size() != columns) return false;
  if (!std::is_sorted(choice.selected.begin(), choice.selected.end())) return false;
  if (std::adjacent_find(choice.selected.begin(), choice.selected.end()) != choice.selected.end())
    return false;
  return std::all_of(choice.selected.begin(), choice.selected.end(),
                     [&](std::int32_t c) { return c >= 0 && static_cast<std::size_t>(c) < columns; });
}

}  // namespace

ColumnSelectionRequest::ColumnSelectionRequest(std::vector<std::string> names, ColumnChoice previous)
    : names_(std::move(names)), choice_(std::move(previous)) {
  if (!fits(choice_, names_.size()))
    choice_ = ColumnChoice::initial(static_cast<std::int32_t>(names_.size()));
}

int ColumnSelectionRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().selectColumns, *this);
}

std::vector<std::int32_t> ColumnSelectionRequest::available() const {
  std::vector<std::int32_t> left;
  for (std::int32_t c = 0; c < static_cast<std::int32_t>(names_.size()); ++c)
    if (!std::binary_search(choice_.selected.begin(), choice_.selected.end(), c)) left.push_back(c);
  return left;
}

void ColumnSelectionRequest::select(std::span<const std::int32_t> columns) {
  for (std::int32_t c : columns) {
    if (c < 0 || c >= static_cast<std::int32_t>(names_.size())) continue;
    const auto at = std::lower_bound(choice_.selected.begin(), choice_.selected.end(), c);
    if (at == choice_.selected.end() || *at != c) choice_.selected.insert(at, c);
  }
}

void ColumnSelectionRequest::deselect(std::span<const std::int32_t> columns) {
  for (std::int32_t c : columns) {
    const auto at = std::lower_bound(choice_.selected.begin(), choice_.selected.end(), c);
    if (at != choice_.selected.end() && *at == c) choice_.selected.erase(at);
  }
}

void ColumnSelectionRequest::selectAll() {
  choice_.selected.resize(names_.size());
  for (std::size_t c = 0; c < names_.size(); ++c) choice_.selected[c] = static_cast<std::int32_t>(c);
}

void ColumnSelectionRequest::deselectAll() {
  choice_.selected.clear();
}

void ColumnSelectionRequest::normaliseCommand() {
  if (!canNormalise()) return;
  NormalisationRequest request;
  if (platform::prompter().runModal(request) != platform::IDOK) return;
  if (request.button < 0 || request.button >= static_cast<int>(NormalisationRequest::kButtonKinds.size()))
    return;
  setKindForAll(request.kind());
}

void ColumnSelectionRequest::setKindForAll(NormalisationKind kind) {
  std::fill(choice_.kinds.begin(), choice_.kinds.end(), kind);
}
