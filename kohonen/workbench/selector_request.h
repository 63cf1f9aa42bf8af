#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/prompter.h"
#include "shared/normaliser.h"

// The user's choice of columns for the working matrix, as the "Select relevant columns" dialog
// leaves it: the selected raw columns in table order, a normalisation kind for every raw column
// of the table, and whether to extract principal components.
struct ColumnChoice {
  std::vector<std::int32_t> selected;
  std::vector<NormalisationKind> kinds;  // one per raw column
  bool extractComponents = false;

  // Nothing selected, every column unnormalised, no components: the choice before the first
  // "Create patterns...".
  static ColumnChoice initial(std::int32_t columnCount);
  friend bool operator==(const ColumnChoice&, const ColumnChoice&) = default;
};

// The "Inputs normalization" dialog: one radio button of "Kind of normalization" (the first
// when the dialog opens).
class NormalisationRequest final : public platform::ModalDialog {
 public:
  static constexpr std::array<const char*, 4> kButtonTexts = {
      "Leave data unnormalized", "Mean / Variance", "(-1, +1) normalization", "tanh - normalization"};
  // The kinds of the buttons, in their order.
  static constexpr std::array<NormalisationKind, 4> kButtonKinds = {
      NormalisationKind::None, NormalisationKind::MeanVariance, NormalisationKind::MinMax,
      NormalisationKind::Tanh};

  std::string dialogTitle() const override { return "Inputs normalization"; }
  int execModal() override;

  // 0 … 3; another value leaves the columns as they are on OK.
  int button = 0;
  // The kind of the chosen button; None for a value outside the buttons.
  NormalisationKind kind() const;
};

// The "Select relevant columns" dialog: "All columns" on the left (the columns not selected),
// "Selected" on the right, both in table order, and the "Extract principal components" box.
// The request starts from the previous choice and keeps the rules of the buttons: the page calls
// the move operations with the entries highlighted in a list and enables the buttons from the
// can…() queries.
class ColumnSelectionRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "Select relevant columns";

  // names: every raw column of the table. A previous choice that does not fit the table (other
  // kinds count, indices outside it) is replaced by the initial one.
  ColumnSelectionRequest(std::vector<std::string> names, ColumnChoice previous);

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  const std::vector<std::string>& columnNames() const { return names_; }
  // The left list: the raw columns not selected, in table order.
  std::vector<std::int32_t> available() const;
  // The right list: the selected raw columns, in table order.
  const std::vector<std::int32_t>& selected() const { return choice_.selected; }

  // ">" and "<": move the given raw columns (indices outside the list are ignored).
  void select(std::span<const std::int32_t> columns);
  void deselect(std::span<const std::int32_t> columns);
  // ">>" and "<<".
  void selectAll();
  void deselectAll();

  bool canSelectAll() const { return !available().empty(); }
  // "<<", "Normalize..." and "OK" need a selected column.
  bool canDeselectAll() const { return !choice_.selected.empty(); }
  bool canNormalise() const { return !choice_.selected.empty(); }
  bool canAccept() const { return !choice_.selected.empty(); }

  // "Normalize...": the "Inputs normalization" dialog through the prompter; OK gives every raw
  // column of the table the chosen kind, Cancel changes nothing.
  void normaliseCommand();
  void setKindForAll(NormalisationKind kind);

  bool extractComponents() const { return choice_.extractComponents; }
  void setExtractComponents(bool on) { choice_.extractComponents = on; }

  const ColumnChoice& choice() const { return choice_; }

 private:
  std::vector<std::string> names_;
  ColumnChoice choice_;
};
