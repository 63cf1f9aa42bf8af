#include "mlp/workbench/vantor_dialogs.h"

#include <algorithm>
#include <cstdio>

#include "mlp/engine/algorithm_loader.h"

namespace {

// A refusal of a dialog field: the framework's warning box with the application's name.
void refuseField(const std::string& text) {
  platform::prompter().messageBox(text, kVantorApplicationName, platform::MB_OK | platform::MB_ICONWARNING);
}

}  // namespace

std::string integerRangeMessage(std::int64_t low, std::int64_t high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

std::string numberRangeMessage(double low, double high) {
  char text[96];
  std::snprintf(text, sizeof text, "Please enter a number between %g and %g.", low, high);
  return text;
}

// --- Normalisation ---------------------------------------------------------------------------

NormalisationDialog::NormalisationDialog(Side side, DialogPresenter* presenter)
    : VantorDialog(presenter), side_(side) {
  // Uniform is offered in neither dialog; the second and third buttons differ between them.
  if (side == Side::Inputs)
    options_ = {{"Leave data unnormalized", NormalisationKind::None},
                {"Mean / Variance", NormalisationKind::MeanVariance},
                {"(-1, +1) normalization", NormalisationKind::MinMax},
                {"tanh - normalization", NormalisationKind::Tanh}};
  else
    options_ = {{"Leave data unnormalized", NormalisationKind::None},
                {"(-1, +1) normalization", NormalisationKind::MinMax},
                {"Mean/Variance", NormalisationKind::MeanVariance},
                {"tanh - normalization", NormalisationKind::Tanh}};
}

std::string NormalisationDialog::dialogTitle() const {
  return side_ == Side::Inputs ? "Inputs normalization" : "Outputs normalization";
}

bool NormalisationDialog::choose(const std::string& label) {
  for (std::size_t i = 0; i < options_.size(); ++i)
    if (options_[i].label == label) {
      selected = static_cast<int>(i);
      return true;
    }
  return false;
}

NormalisationKind NormalisationDialog::chosenKind() const {
  if (selected < 0 || selected >= static_cast<int>(options_.size())) return NormalisationKind::None;
  return options_[static_cast<std::size_t>(selected)].kind;
}

// --- Column choice ---------------------------------------------------------------------------

ColumnChoiceDialog::ColumnChoiceDialog(Side side, std::vector<std::string> columnNames,
                                       const std::vector<std::int32_t>& initial, DialogPresenter* presenter)
    : VantorDialog(presenter), side_(side), columnNames_(std::move(columnNames)) {
  allDataSelected.assign(columnNames_.size(), false);
  // The outputs dialog starts empty whatever the data set holds.
  if (side_ == Side::Inputs)
    for (std::int32_t c : initial) {
      if (c < 0 || c >= static_cast<std::int32_t>(columnNames_.size())) continue;
      columns_.push_back(c);
      names_.push_back(columnNames_[static_cast<std::size_t>(c)]);
      kinds_.push_back(NormalisationKind::None);
    }
  chosenSelected.assign(columns_.size(), false);
}

std::string ColumnChoiceDialog::dialogTitle() const {
  return side_ == Side::Inputs ? "Select inputs" : "Select outputs";
}

bool ColumnChoiceDialog::canAdd() const {
  return std::find(allDataSelected.begin(), allDataSelected.end(), true) != allDataSelected.end();
}

bool ColumnChoiceDialog::canRemove() const {
  return hasRemove() && std::find(chosenSelected.begin(), chosenSelected.end(), true) != chosenSelected.end();
}

void ColumnChoiceDialog::addSelected() {
  columns_.clear();
  names_.clear();
  kinds_.clear();
  for (std::size_t i = 0; i < columnNames_.size() && i < allDataSelected.size(); ++i) {
    if (!allDataSelected[i]) continue;
    columns_.push_back(static_cast<std::int32_t>(i));
    names_.push_back(columnNames_[i]);
    kinds_.push_back(NormalisationKind::None);
  }
  allDataSelected.assign(columnNames_.size(), false);
  chosenSelected.assign(columns_.size(), false);
}

void ColumnChoiceDialog::removeSelected() {
  if (!hasRemove()) return;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (i < chosenSelected.size() && chosenSelected[i]) continue;
    columns_[kept] = columns_[i];
    names_[kept] = names_[i];
    kinds_[kept] = kinds_[i];
    ++kept;
  }
  columns_.resize(kept);
  names_.resize(kept);
  kinds_.resize(kept);
  chosenSelected.assign(kept, false);
}

void ColumnChoiceDialog::selectAll() {
  allDataSelected.assign(columnNames_.size(), true);
}

void ColumnChoiceDialog::clear() {
  columns_.clear();
  names_.clear();
  kinds_.clear();
  chosenSelected.clear();
}

bool ColumnChoiceDialog::normalise() {
  if (!canNormalise()) return false;
  NormalisationDialog dialog(side_, presenter());
  if (platform::prompter().runModal(dialog) != platform::IDOK) return false;
  setAllKinds(dialog.chosenKind());
  return true;
}

void ColumnChoiceDialog::setAllKinds(NormalisationKind kind) {
  std::fill(kinds_.begin(), kinds_.end(), kind);
}

void ColumnChoiceDialog::choose(const std::vector<std::string>& wanted) {
  allDataSelected.assign(columnNames_.size(), false);
  for (std::size_t i = 0; i < columnNames_.size(); ++i)
    allDataSelected[i] = std::find(wanted.begin(), wanted.end(), columnNames_[i]) != wanted.end();
  addSelected();
}

// --- Network constructor ---------------------------------------------------------------------

NetworkConstructorDialog::NetworkConstructorDialog(const NetworkDescription& description,
                                                   std::optional<int> fixedInputs,
                                                   std::optional<int> fixedOutputs,
                                                   DialogPresenter* presenter)
    : VantorDialog(presenter),
      description_(description),
      fixedInputs_(fixedInputs),
      fixedOutputs_(fixedOutputs) {
  inputs = fixedInputs_ ? *fixedInputs_ : description.inputs;
  layerCount = description.layerCount;
  for (int l = 0; l < NetworkDescription::kMaxLayers; ++l) {
    Row& row = rows[l];
    row.neurons = description.neuronCounts[l];
    row.orderIndex = std::clamp(description.orders[l] - 1, 0, 2);
    // The function whose name starts with the stored letter.
    row.functionIndex = 0;
    for (std::size_t f = 0; f < description.functionNames.size(); ++f)
      if (description.functionNames[f][0] == description.functionCodes[l])
        row.functionIndex = static_cast<int>(f);
  }
  relayout();
}

void NetworkConstructorDialog::relayout() {
  layerCount = std::clamp(layerCount, 1, NetworkDescription::kMaxLayers);
  for (int l = 0; l < NetworkDescription::kMaxLayers; ++l) {
    Row& row = rows[l];
    if (l < layerCount) {
      row.label = "Layer " + std::to_string(l + 1);
      row.enabled = row.neuronsEnabled = true;
      // A row coming back from "Not Exist" starts again from one neuron.
      if (row.neurons < 1) row.neurons = 1;
    } else {
      row.label = "Not Exist";
      row.neurons = 0;
      row.enabled = row.neuronsEnabled = false;
    }
  }
  if (fixedOutputs_) {
    Row& last = rows[layerCount - 1];
    last.neurons = *fixedOutputs_;
    last.neuronsEnabled = false;
  }
  if (fixedInputs_) inputs = *fixedInputs_;
}

bool NetworkConstructorDialog::accept() {
  refusedField_ = Field::None;
  refusedLayer_ = -1;
  if (inputs < kMinInputs || inputs > kMaxInputs) {
    refusedField_ = Field::Inputs;
    refuseField(integerRangeMessage(kMinInputs, kMaxInputs));
    return false;
  }
  if (layerCount < 1 || layerCount > NetworkDescription::kMaxLayers) {
    refusedField_ = Field::LayerCount;
    refuseField(integerRangeMessage(1, NetworkDescription::kMaxLayers));
    return false;
  }
  for (int l = 0; l < layerCount; ++l)
    if (rows[l].neurons < 1) {
      refusedField_ = Field::Neurons;
      refusedLayer_ = l;
      platform::prompter().messageBox(kNonPositiveNeuronsText, kVantorApplicationName, platform::MB_OK);
      return false;
    }
  NetworkDescription result = description_;
  result.inputs = inputs;
  result.layerCount = layerCount;
  for (int l = 0; l < layerCount; ++l) {
    result.neuronCounts[l] = rows[l].neurons;
    result.orders[l] = rows[l].orderIndex + 1;
    const int f = std::clamp(rows[l].functionIndex, 0, static_cast<int>(result.functionNames.size()) - 1);
    result.functionCodes[l] = result.functionNames[static_cast<std::size_t>(f)][0];
  }
  result.outputs = result.neuronCounts[layerCount - 1];
  description_ = result;
  return true;
}

// --- Test set --------------------------------------------------------------------------------

TestSetDialog::TestSetDialog(const TestSetChoice& current, std::int32_t exampleCount,
                             DialogPresenter* presenter)
    : VantorDialog(presenter),
      mode(current.parameters.testSetMode),
      testCount(current.testCount),
      blockStart(current.parameters.blockStart),
      lastCount(current.parameters.lastCount),
      total_(exampleCount) {}

bool TestSetDialog::accept() {
  refusedField_ = Field::None;
  if (testCount < 0 || testCount > total_) {
    refusedField_ = Field::TestCount;
    refuseField(integerRangeMessage(0, total_));
    return false;
  }
  if (blockStart < 0 || blockStart > total_) {
    refusedField_ = Field::BlockStart;
    refuseField(integerRangeMessage(0, total_));
    return false;
  }
  if (lastCount < 0 || lastCount > testCount) {
    refusedField_ = Field::LastCount;
    refuseField(integerRangeMessage(0, testCount));
    return false;
  }
  return true;
}

TestSetChoice TestSetDialog::choice() const {
  TestSetChoice result;
  result.parameters.testSetMode = mode;
  result.parameters.blockStart = blockStart;
  result.parameters.lastCount = lastCount;
  result.testCount = testCount;
  return result;
}

// --- Randomisation ---------------------------------------------------------------------------

bool RandomizationDialog::accept() {
  // "Not inside" rather than "outside", so that a range that is not a number is refused too.
  if (!(randomization.range >= kMinRange && randomization.range <= kMaxRange)) {
    refuseField(numberRangeMessage(kMinRange, kMaxRange));
    return false;
  }
  return true;
}

// --- Algorithm selection ---------------------------------------------------------------------

SelectAlgorithmDialog::SelectAlgorithmDialog(AlgorithmLoader& loader, TrainingContext editContext,
                                             DialogPresenter* presenter)
    : VantorDialog(presenter), loader_(loader), editContext_(editContext) {
  listSelection = loader_.selectedAlgorithm + 1;
}

std::vector<std::string> SelectAlgorithmDialog::entries() const {
  std::vector<std::string> result{kNoAlgorithmEntry};
  for (TrainingAlgorithm* algorithm : loader_.algorithms) result.push_back(algorithm->Name());
  return result;
}

std::string SelectAlgorithmDialog::currentAlgorithm() const {
  TrainingAlgorithm* algorithm = loader_.Selected();
  return algorithm ? algorithm->Name() : std::string(kNotSelectedText);
}

std::string SelectAlgorithmDialog::description() const {
  TrainingAlgorithm* algorithm = loader_.Selected();
  return algorithm ? algorithm->Description() : std::string();
}

bool SelectAlgorithmDialog::customizeEnabled() const {
  return loader_.Selected() != nullptr;
}

bool SelectAlgorithmDialog::selectNew() {
  const int before = loader_.selectedAlgorithm;
  loader_.SelectAlgorithm(listSelection - 1);
  return loader_.selectedAlgorithm != before;
}

void SelectAlgorithmDialog::customize(QWidget* owner) {
  TrainingAlgorithm* algorithm = loader_.Selected();
  if (!algorithm) {
    platform::prompter().messageBox(kCustomizeRefusal, kVantorApplicationName, platform::MB_OK);
    return;
  }
  TrainingContext context = editContext_;
  context.owner = owner;
  algorithm->EditParameters(&context);
}
