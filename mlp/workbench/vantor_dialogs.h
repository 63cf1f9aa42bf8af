#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mlp/engine/network_description.h"
#include "mlp/engine/training_run.h"
#include "platform/prompter.h"
#include "shared/normaliser.h"

class QWidget;  // opaque here: the owner window handed to a plug-in's dialog

// The dialogs of Vantor's commands as models without widgets: each holds the dialog's values
// and its rules (which buttons are enabled, what ">>" does, which field OK refuses), so the
// commands and the tests work on them directly. The session runs them through the prompter;
// a scripted prompter hands them to the test's script, the Qt prompter calls execModal(),
// which asks the installed presenter (the windows) to show the real dialog on the model.
class VantorDialog;

// Shows a dialog model modally and returns IDOK or IDCANCEL. Installed by the windows; the
// presenter tells the models apart by their type.
class DialogPresenter {
 public:
  virtual ~DialogPresenter() = default;
  virtual int present(VantorDialog& dialog) = 0;
};

class VantorDialog : public platform::ModalDialog {
 public:
  explicit VantorDialog(DialogPresenter* presenter) : presenter_(presenter) {}
  // Without a presenter the dialog cannot be shown and counts as cancelled.
  int execModal() override { return presenter_ ? presenter_->present(*this) : platform::IDCANCEL; }
  DialogPresenter* presenter() const { return presenter_; }

 private:
  DialogPresenter* presenter_;
};

// The application name: caption of the commands' standard boxes.
inline constexpr const char* kVantorApplicationName = "VANTOR3";

// "Inputs normalization" / "Outputs normalization": four radio buttons, the first chosen when
// the dialog opens. The two dialogs order their buttons differently; callers map by label.
class NormalisationDialog final : public VantorDialog {
 public:
  enum class Side { Inputs, Outputs };
  struct Option {
    std::string label;
    NormalisationKind kind;
  };

  NormalisationDialog(Side side, DialogPresenter* presenter);
  std::string dialogTitle() const override;
  const std::vector<Option>& options() const { return options_; }
  // Chooses the button with this label; false when there is none.
  bool choose(const std::string& label);
  int selected = 0;  // index into options()
  NormalisationKind chosenKind() const;

 private:
  Side side_;
  std::vector<Option> options_;
};

// "Select inputs" / "Select outputs". The inputs dialog starts with the data set's current
// inputs (each unnormalised); the outputs dialog starts empty. The lists' selections are the
// two flag vectors, which the view keeps in step with its list widgets.
class ColumnChoiceDialog final : public VantorDialog {
 public:
  using Side = NormalisationDialog::Side;

  ColumnChoiceDialog(Side side, std::vector<std::string> columnNames,
                     const std::vector<std::int32_t>& initial, DialogPresenter* presenter);
  std::string dialogTitle() const override;
  Side side() const { return side_; }

  // "All Data": every raw column name, with its selection.
  const std::vector<std::string>& allData() const { return columnNames_; }
  std::vector<bool> allDataSelected;
  // "Inputs" / "Outputs": the chosen columns, with the selection of the inputs list.
  const std::vector<std::int32_t>& columns() const { return columns_; }
  const std::vector<std::string>& names() const { return names_; }
  const std::vector<NormalisationKind>& kinds() const { return kinds_; }
  std::vector<bool> chosenSelected;

  // Enabling: "Normalization...", "OK" and "Clear" while something is chosen; ">>" while
  // "All Data" has a selection; "<" (inputs only) while the chosen list has one.
  bool canNormalise() const { return !columns_.empty(); }
  bool canAccept() const { return !columns_.empty(); }
  bool canClear() const { return !columns_.empty(); }
  bool canAdd() const;
  bool canRemove() const;
  bool hasRemove() const { return side_ == Side::Inputs; }

  // ">>": the choice becomes exactly the selected "All Data" items in list order, all
  // unnormalised; the "All Data" selection is cleared.
  void addSelected();
  // "<": drops the selected chosen items.
  void removeSelected();
  // "Select all": selects every "All Data" item.
  void selectAll();
  // "Clear": empties the choice.
  void clear();
  // "Normalization...": runs the side's normalisation dialog through the prompter; on OK its
  // kind goes to every chosen column. True when confirmed.
  bool normalise();
  // Gives every chosen column this kind (what a confirmed normalisation dialog does).
  void setAllKinds(NormalisationKind kind);
  // Convenience for scripts: selects the named columns in "All Data" and presses ">>".
  void choose(const std::vector<std::string>& columnNames);

 private:
  Side side_;
  std::vector<std::string> columnNames_;
  std::vector<std::int32_t> columns_;
  std::vector<std::string> names_;
  std::vector<NormalisationKind> kinds_;
};

// The "Network Constructor". Rows are numbered from layer 1 (the bottom row of the dialog).
class NetworkConstructorDialog final : public VantorDialog {
 public:
  static constexpr int kMinInputs = 1;
  static constexpr int kMaxInputs = 100000;
  static constexpr const char* kNonPositiveNeuronsText =
      "Number of neurons in the layer must be a positive number";

  struct Row {
    std::string label;      // "Layer %i" or "Not Exist"
    int neurons = 0;        // the neurons edit ("0" for a row that does not exist)
    int orderIndex = 0;     // order list position (order − 1)
    int functionIndex = 0;  // function list position
    bool enabled = false;
    bool neuronsEnabled = false;  // false for the fixed output layer
  };

  // fixedInputs / fixedOutputs: the data set's counts when it has inputs / outputs.
  NetworkConstructorDialog(const NetworkDescription& description, std::optional<int> fixedInputs,
                           std::optional<int> fixedOutputs, DialogPresenter* presenter);
  std::string dialogTitle() const override { return "Network Constructor"; }

  int inputs = 2;      // "Number of inputs"
  int layerCount = 2;  // "Number of layers:" with its up-down (1 … 5)
  Row rows[NetworkDescription::kMaxLayers];
  bool inputsEnabled() const { return !fixedInputs_; }
  const std::array<const char*, 2>& functionNames() const { return description_.functionNames; }

  // Re-layout (up-down moved, the layer-count edit left, Enter): clamps the layer count to
  // 1 … 5, labels and enables the rows up to it, resets and disables the others, and puts the
  // fixed output count on the new last layer.
  void relayout();
  // "OK": the range checks on inputs and layer count, then a positive neuron count in every
  // layer; each refusal shows its message through the prompter and keeps the dialog open
  // (false). True when the description is ready.
  bool accept();
  // The field the last refused accept() named, so a view can put the focus on it.
  enum class Field { None, Inputs, LayerCount, Neurons };
  Field refusedField() const { return refusedField_; }
  int refusedLayer() const { return refusedLayer_; }  // 0-based, with Field::Neurons
  // The description built by the last successful accept().
  const NetworkDescription& description() const { return description_; }

 private:
  NetworkDescription description_;
  std::optional<int> fixedInputs_;
  std::optional<int> fixedOutputs_;
  Field refusedField_ = Field::None;
  int refusedLayer_ = -1;
};

// The "Test set redactor".
class TestSetDialog final : public VantorDialog {
 public:
  TestSetDialog(const TestSetChoice& current, std::int32_t exampleCount, DialogPresenter* presenter);
  std::string dialogTitle() const override { return "Test set redactor"; }

  std::int32_t totalExamples() const { return total_; }  // "Total number of examples:"
  // "Number of training examples:", recomputed as the test-count edit changes.
  std::int32_t trainingExamples() const { return total_ - testCount; }
  bool blockStartEnabled() const { return mode == TestSetMode::BlockOfExamples; }
  bool lastCountEnabled() const { return mode == TestSetMode::RandomAndLast; }

  TestSetMode mode = TestSetMode::RandomTestSet;
  std::int32_t testCount = 0;   // "Number of test examples:"
  std::int32_t blockStart = 0;  // "First example of the block:"
  std::int32_t lastCount = 0;   // "Amount of last examples:"

  // "OK": test count 0 … N, block start 0 … N, last count 0 … test count, in this order; the
  // first value out of range shows the range message and keeps the dialog open (false).
  bool accept();
  TestSetChoice choice() const;
  // The field the last refused accept() named.
  enum class Field { None, TestCount, BlockStart, LastCount };
  Field refusedField() const { return refusedField_; }

 private:
  std::int32_t total_;
  Field refusedField_ = Field::None;
};

// "Stopping criteria": no range checks.
class StoppingCriteriaDialog final : public VantorDialog {
 public:
  StoppingCriteriaDialog(const StoppingCriteria& current, DialogPresenter* presenter)
      : VantorDialog(presenter), criteria(current) {}
  std::string dialogTitle() const override { return "Stopping criteria"; }
  StoppingCriteria criteria;
};

// "Randomization": randomise or add noise, with a range of 0 … 1000 (0.5 when it opens).
class RandomizationDialog final : public VantorDialog {
 public:
  static constexpr double kMinRange = 0.0;
  static constexpr double kMaxRange = 1000.0;
  explicit RandomizationDialog(DialogPresenter* presenter) : VantorDialog(presenter) {}
  std::string dialogTitle() const override { return "Randomization"; }
  Randomization randomization;
  // "OK": the range message for a range outside 0 … 1000 (dialog stays open).
  bool accept();
};

class AlgorithmLoader;

// "Select algorithm": works on the loader directly, as its buttons take effect at once.
class SelectAlgorithmDialog final : public VantorDialog {
 public:
  static constexpr const char* kNoAlgorithmEntry = "No algorithm";
  static constexpr const char* kNotSelectedText = "Algorithm isn't selected";
  static constexpr const char* kCustomizeRefusal = "Algorithm not selected";

  // editContext: the context for "Customize..." without its owner (set from the dialog).
  SelectAlgorithmDialog(AlgorithmLoader& loader, TrainingContext editContext, DialogPresenter* presenter);
  std::string dialogTitle() const override { return "Select algorithm"; }

  // "Algorithms available": "No algorithm", then every algorithm's Name().
  std::vector<std::string> entries() const;
  int listSelection = 0;                 // set to selectedAlgorithm + 1 on opening
  std::string currentAlgorithm() const;  // the "Current algorithm" box
  std::string description() const;       // the "Description" box
  bool customizeEnabled() const;
  // "Select new": detaches the current algorithm, selects listSelection − 1. True when the
  // selection changed.
  bool selectNew();
  // "Customize...": the selected algorithm's own dialog, owned by `owner` (this dialog's
  // window).
  void customize(QWidget* owner);

 private:
  AlgorithmLoader& loader_;
  TrainingContext editContext_;
};

// The framework's range messages of a dialog field.
std::string integerRangeMessage(std::int64_t low, std::int64_t high);
std::string numberRangeMessage(double low, double high);
