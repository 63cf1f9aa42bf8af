// The rules of the command dialogs, on their models: what the buttons do, which are enabled,
// and which values OK refuses with which message.

#include "mlp/workbench/vantor_dialogs.h"

#include <gtest/gtest.h>

#include "mlp/engine/algorithm_loader.h"
#include "tests/mlp/engine/training_run_test_support.h"

namespace lumivane::test {
namespace {

using Side = NormalisationDialog::Side;

std::vector<std::string> names(const std::vector<NormalisationDialog::Option>& options) {
  std::vector<std::string> result;
  for (const auto& o : options) result.push_back(o.label);
  return result;
}

TEST(NormalisationDialogTest, ButtonsMapByLabelNotPosition) {
  NormalisationDialog inputs(Side::Inputs, nullptr), outputs(Side::Outputs, nullptr);
  EXPECT_EQ(inputs.dialogTitle(), "Inputs normalization");
  EXPECT_EQ(outputs.dialogTitle(), "Outputs normalization");
  EXPECT_EQ(names(inputs.options()),
            (std::vector<std::string>{"Leave data unnormalized", "Mean / Variance", "(-1, +1) normalization",
                                      "tanh - normalization"}));
  EXPECT_EQ(names(outputs.options()),
            (std::vector<std::string>{"Leave data unnormalized", "(-1, +1) normalization", "Mean/Variance",
                                      "tanh - normalization"}));
  // Each opens on its first button; the second button means different kinds.
  EXPECT_EQ(inputs.chosenKind(), NormalisationKind::None);
  inputs.selected = outputs.selected = 1;
  EXPECT_EQ(inputs.chosenKind(), NormalisationKind::MeanVariance);
  EXPECT_EQ(outputs.chosenKind(), NormalisationKind::MinMax);
  EXPECT_TRUE(outputs.choose("tanh - normalization"));
  EXPECT_EQ(outputs.chosenKind(), NormalisationKind::Tanh);
  EXPECT_FALSE(outputs.choose("Mean / Variance"));  // the inputs' wording
}

class ColumnChoiceDialogTest : public PromptedTest {
 protected:
  std::vector<std::string> all{"a", "b", "c", "d", "e"};
};

TEST_F(ColumnChoiceDialogTest, AddReplacesTheChoiceAndResetsKinds) {
  ColumnChoiceDialog dialog(Side::Inputs, all, {1, 3}, nullptr);
  EXPECT_EQ(dialog.dialogTitle(), "Select inputs");
  EXPECT_EQ(dialog.names(), (std::vector<std::string>{"b", "d"}));
  EXPECT_TRUE(dialog.canAccept());
  EXPECT_FALSE(dialog.canAdd());
  EXPECT_FALSE(dialog.canRemove());

  prompter.answerModal([](platform::ModalDialog& d) {
    EXPECT_EQ(d.dialogTitle(), "Inputs normalization");
    dynamic_cast<NormalisationDialog&>(d).choose("Mean / Variance");
    return platform::IDOK;
  });
  ASSERT_TRUE(dialog.normalise());
  EXPECT_EQ(dialog.kinds(), (std::vector<NormalisationKind>(2, NormalisationKind::MeanVariance)));

  dialog.allDataSelected = {true, false, true, false, true};
  EXPECT_TRUE(dialog.canAdd());
  dialog.addSelected();
  EXPECT_EQ(dialog.columns(), (std::vector<std::int32_t>{0, 2, 4}));
  EXPECT_EQ(dialog.kinds(), (std::vector<NormalisationKind>(3, NormalisationKind::None)));
  EXPECT_FALSE(dialog.canAdd());  // the selection of "All Data" is cleared

  dialog.chosenSelected = {false, true, false};
  EXPECT_TRUE(dialog.canRemove());
  dialog.removeSelected();
  EXPECT_EQ(dialog.names(), (std::vector<std::string>{"a", "e"}));

  // A cancelled normalisation changes nothing.
  prompter.answerModal([](platform::ModalDialog&) { return platform::IDCANCEL; });
  EXPECT_FALSE(dialog.normalise());
  EXPECT_EQ(dialog.kinds(), (std::vector<NormalisationKind>(2, NormalisationKind::None)));

  dialog.clear();
  EXPECT_FALSE(dialog.canAccept() || dialog.canNormalise() || dialog.canClear());
  dialog.selectAll();
  dialog.addSelected();
  EXPECT_EQ(dialog.columns().size(), all.size());
}

TEST_F(ColumnChoiceDialogTest, OutputsStartEmptyAndHaveNoRemove) {
  ColumnChoiceDialog dialog(Side::Outputs, all, {1, 3}, nullptr);
  EXPECT_EQ(dialog.dialogTitle(), "Select outputs");
  EXPECT_TRUE(dialog.columns().empty());
  EXPECT_FALSE(dialog.canAccept());
  dialog.choose({"c", "a"});
  EXPECT_EQ(dialog.names(), (std::vector<std::string>{"a", "c"}));  // list order
  dialog.chosenSelected = {true, true};
  EXPECT_FALSE(dialog.canRemove());
  dialog.removeSelected();
  EXPECT_EQ(dialog.columns().size(), 2u);
  prompter.answerModal([](platform::ModalDialog& d) {
    EXPECT_EQ(d.dialogTitle(), "Outputs normalization");
    dynamic_cast<NormalisationDialog&>(d).selected = 1;
    return platform::IDOK;
  });
  ASSERT_TRUE(dialog.normalise());
  EXPECT_EQ(dialog.kinds()[1], NormalisationKind::MinMax);
}

class NetworkConstructorDialogTest : public PromptedTest {};

TEST_F(NetworkConstructorDialogTest, OpensWithTheDataSetsCountsFixed) {
  NetworkDescription description;
  description.neuronCounts[1] = 2;
  NetworkConstructorDialog dialog(description, 4, 2, nullptr);
  EXPECT_EQ(dialog.inputs, 4);
  EXPECT_FALSE(dialog.inputsEnabled());
  EXPECT_EQ(dialog.layerCount, 2);
  EXPECT_EQ(dialog.rows[0].label, "Layer 1");
  EXPECT_EQ(dialog.rows[0].neurons, 3);
  EXPECT_EQ(dialog.functionNames()[static_cast<std::size_t>(dialog.rows[0].functionIndex)],
            std::string("tanh"));
  EXPECT_EQ(dialog.rows[1].neurons, 2);
  EXPECT_FALSE(dialog.rows[1].neuronsEnabled);
  EXPECT_EQ(dialog.functionNames()[static_cast<std::size_t>(dialog.rows[1].functionIndex)],
            std::string("linear"));
  EXPECT_EQ(dialog.rows[2].label, "Not Exist");
  EXPECT_EQ(dialog.rows[2].neurons, 0);
  EXPECT_FALSE(dialog.rows[2].enabled);

  // Three layers: the fixed output count moves to layer 3, layer 2 becomes editable.
  dialog.layerCount = 3;
  dialog.relayout();
  EXPECT_EQ(dialog.rows[2].label, "Layer 3");
  EXPECT_EQ(dialog.rows[2].neurons, 2);
  EXPECT_FALSE(dialog.rows[2].neuronsEnabled);
  EXPECT_TRUE(dialog.rows[1].neuronsEnabled);
  dialog.layerCount = 9;
  dialog.relayout();
  EXPECT_EQ(dialog.layerCount, NetworkDescription::kMaxLayers);

  dialog.layerCount = 3;
  dialog.relayout();
  dialog.rows[1].neurons = 0;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(prompter.messages().back().text, "Number of neurons in the layer must be a positive number");
  EXPECT_EQ(prompter.messages().back().caption, "VANTOR3");
  dialog.rows[1].neurons = 6;
  dialog.rows[1].orderIndex = 2;
  dialog.rows[1].functionIndex = 1;
  ASSERT_TRUE(dialog.accept());
  const NetworkDescription& built = dialog.description();
  EXPECT_EQ(built.inputs, 4);
  EXPECT_EQ(built.layerCount, 3);
  EXPECT_EQ(built.neuronCounts[1], 6);
  EXPECT_EQ(built.orders[1], 3);
  EXPECT_EQ(built.functionCodes[1], 'l');
  EXPECT_EQ(built.outputs, 2);
}

TEST_F(NetworkConstructorDialogTest, FreeInputsAreRangeChecked) {
  NetworkConstructorDialog dialog(NetworkDescription{}, std::nullopt, std::nullopt, nullptr);
  EXPECT_TRUE(dialog.inputsEnabled());
  EXPECT_TRUE(dialog.rows[1].neuronsEnabled);
  dialog.inputs = 0;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 1 and 100000.");
  dialog.inputs = 100000;
  EXPECT_TRUE(dialog.accept());
}

class TestSetDialogTest : public PromptedTest {};

TEST_F(TestSetDialogTest, LiveCountEnablingAndRefusalsInOrder) {
  TestSetDialog dialog(TestSetChoice{}, 10, nullptr);
  dialog.testCount = 3;
  EXPECT_EQ(dialog.trainingExamples(), 7);
  EXPECT_FALSE(dialog.blockStartEnabled() || dialog.lastCountEnabled());
  dialog.mode = TestSetMode::BlockOfExamples;
  EXPECT_TRUE(dialog.blockStartEnabled());
  dialog.mode = TestSetMode::RandomAndLast;
  EXPECT_TRUE(dialog.lastCountEnabled());
  EXPECT_FALSE(dialog.blockStartEnabled());

  // Test count first, then block start, then the last count against the test count.
  dialog.testCount = 11;
  dialog.blockStart = 11;
  dialog.lastCount = 12;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 0 and 10.");
  dialog.testCount = 3;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 0 and 10.");
  dialog.blockStart = 10;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 0 and 3.");
  dialog.lastCount = 3;
  EXPECT_TRUE(dialog.accept());
  const TestSetChoice choice = dialog.choice();
  EXPECT_EQ(choice.testCount, 3);
  EXPECT_EQ(choice.parameters.testSetMode, TestSetMode::RandomAndLast);
  EXPECT_EQ(choice.parameters.lastCount, 3);
}

TEST_F(TestSetDialogTest, RandomizationRange) {
  RandomizationDialog dialog(nullptr);
  EXPECT_EQ(dialog.randomization.range, 0.5);
  EXPECT_EQ(dialog.randomization.kind, Randomization::Kind::Randomize);
  dialog.randomization.range = 1000.5;
  prompter.answerMessage(platform::IDOK);
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(prompter.messages().back().text, "Please enter a number between 0 and 1000.");
  dialog.randomization.range = 1000.0;
  EXPECT_TRUE(dialog.accept());
}

class SelectAlgorithmDialogTest : public PromptedTest {};

TEST_F(SelectAlgorithmDialogTest, SelectingNoAlgorithmDetachesAndDisablesCustomize) {
  ScriptedAlgorithm first, second;
  AlgorithmLoader loader("");
  loader.algorithms = {&first, &second};
  loader.selectedAlgorithm = 0;
  SelectAlgorithmDialog dialog(loader, TrainingContext{}, nullptr);
  EXPECT_EQ(dialog.entries().size(), 3u);
  EXPECT_EQ(dialog.entries()[0], "No algorithm");
  EXPECT_EQ(dialog.listSelection, 1);
  EXPECT_TRUE(dialog.customizeEnabled());
  EXPECT_EQ(dialog.currentAlgorithm(), first.Name());

  dialog.listSelection = 0;
  EXPECT_TRUE(dialog.selectNew());
  EXPECT_EQ(first.detachCalls, 1);
  EXPECT_EQ(loader.selectedAlgorithm, -1);
  EXPECT_FALSE(dialog.customizeEnabled());
  EXPECT_EQ(dialog.currentAlgorithm(), "Algorithm isn't selected");
  EXPECT_EQ(dialog.description(), "");
  prompter.answerMessage(platform::IDOK);
  dialog.customize(nullptr);
  EXPECT_EQ(prompter.messages().back().text, "Algorithm not selected");

  dialog.listSelection = 2;
  EXPECT_TRUE(dialog.selectNew());
  EXPECT_EQ(loader.Selected(), &second);
  loader.algorithms.clear();  // the loader must not free what it did not load
  loader.selectedAlgorithm = -1;
}

}  // namespace
}  // namespace lumivane::test
