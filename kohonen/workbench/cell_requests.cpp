#include "kohonen/workbench/cell_requests.h"

#include <algorithm>

#include "kohonen/workbench/dialog_hooks.h"

CellDescriptionRequest::CellDescriptionRequest(const KohonenNet& net, const CellIndex& index,
                                               const GridwiseDataSet& dataSet, CellPos cell)
    : net_(net), index_(index), dataSet_(dataSet), names_(kohonen::allCellNames(net.rows(), net.columns())) {
  cell.row = std::clamp(cell.row, 0, net.rows() - 1);
  cell.column = std::clamp(cell.column, 0, net.columns() - 1);
  selected_ = cell.row * net.columns() + cell.column;
  refresh();
}

int CellDescriptionRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().describeCell, *this);
}

CellPos CellDescriptionRequest::cell() const {
  return {selected_ / net_.columns(), selected_ % net_.columns()};
}

void CellDescriptionRequest::selectEntry(std::int32_t entry) {
  if (entry < 0 || entry >= net_.cellCount()) return;
  selected_ = entry;
  refresh();
}

void CellDescriptionRequest::selectCell(CellPos cell) {
  if (cell.row < 0 || cell.row >= net_.rows() || cell.column < 0 || cell.column >= net_.columns()) return;
  selectEntry(cell.row * net_.columns() + cell.column);
}

void CellDescriptionRequest::refresh() {
  description_ = describeCell(net_, index_, dataSet_, cell());
}

CellFinderRequest::CellFinderRequest(const CellIndex& index, const GridwiseDataSet& dataSet)
    : index_(index), dataSet_(dataSet) {
  ids_.reserve(static_cast<std::size_t>(std::max(dataSet.rows(), 0)));
  for (std::int32_t i = 0; i < dataSet.rows(); ++i) ids_.push_back(rowLabel(dataSet, i));
}

int CellFinderRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().findCell, *this);
}

void CellFinderRequest::setShowAll(bool on) {
  showAll_ = on;
  found_.reset();
  if (showAll_)
    listed_ = allRows(static_cast<std::int32_t>(ids_.size()));
  else
    listed_ = rowsWithIdContaining(ids_, text_);
}

void CellFinderRequest::setText(const std::string& text) {
  text_ = text.substr(0, kMaxFinderText);
}

void CellFinderRequest::find() {
  if (showAll_) return;
  found_.reset();
  listed_ = rowsWithIdContaining(ids_, text_);
}

std::vector<std::string> CellFinderRequest::listedIds() const {
  std::vector<std::string> ids;
  ids.reserve(listed_.size());
  for (std::int32_t row : listed_) ids.push_back(ids_[static_cast<std::size_t>(row)]);
  return ids;
}

void CellFinderRequest::selectListed(std::int32_t entry) {
  if (entry < 0 || static_cast<std::size_t>(entry) >= listed_.size()) {
    found_.reset();
    return;
  }
  found_ = describeFoundRow(index_, dataSet_, listed_[static_cast<std::size_t>(entry)]);
}
