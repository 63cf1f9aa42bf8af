// The dialog views over their models: the real widgets typed into and clicked, refusals seen
// through the scripted prompter, and the presenter running them modally.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "mlp/engine/algorithm_loader.h"
#include "mlp/workbench/qt/views/column_choice_view.h"
#include "mlp/workbench/qt/views/network_constructor_view.h"
#include "mlp/workbench/qt/views/training_dialog_views.h"
#include "mlp/workbench/qt/views/vantor_dialog_presenter.h"
#include "tests/mlp/engine/training_run_test_support.h"
#include "tests/mlp/workbench/views/modal_view_support.h"
#include "tests/support/test_support.h"

namespace lumivane::test {
namespace {

using platform::IDCANCEL;
using platform::IDOK;

// Replaces an edit's text the way a user does: select everything, type.
void typeInto(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClicks(edit, text.isEmpty() ? QString() : text);
  if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
}

class DialogViewTest : public PromptedTest {};

// --- Test set redactor -----------------------------------------------------------------------

TEST_F(DialogViewTest, TestSetTrainingCountFollowsTypingAndModeEnablesItsField) {
  TestSetDialog model(TestSetChoice{}, 10, nullptr);
  TestSetView view(model);
  view.show();
  EXPECT_EQ(view.totalLabel()->text(), "10");
  EXPECT_EQ(view.trainingLabel()->text(), "10");
  typeInto(view.testCountEdit(), "3");
  EXPECT_EQ(view.trainingLabel()->text(), "7");  // before OK
  typeInto(view.testCountEdit(), "10");
  EXPECT_EQ(view.trainingLabel()->text(), "0");

  EXPECT_EQ(view.modeButton(TestSetMode::RandomTestSet)->text(), "Random test set");
  EXPECT_EQ(view.modeButton(TestSetMode::LastExamples)->text(), "Test set - last examples");
  EXPECT_EQ(view.modeButton(TestSetMode::BlockOfExamples)->text(), "Test set -  block of examples");
  EXPECT_EQ(view.modeButton(TestSetMode::RandomAndLast)->text(), "Test set - random + last examples");
  EXPECT_TRUE(view.modeButton(TestSetMode::RandomTestSet)->isChecked());
  EXPECT_FALSE(view.blockStartEdit()->isEnabled());
  EXPECT_FALSE(view.lastCountEdit()->isEnabled());
  QTest::mouseClick(view.modeButton(TestSetMode::BlockOfExamples), Qt::LeftButton);
  EXPECT_TRUE(view.blockStartEdit()->isEnabled());
  EXPECT_FALSE(view.lastCountEdit()->isEnabled());
  QTest::mouseClick(view.modeButton(TestSetMode::RandomAndLast), Qt::LeftButton);
  EXPECT_FALSE(view.blockStartEdit()->isEnabled());
  EXPECT_TRUE(view.lastCountEdit()->isEnabled());
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(DialogViewTest, TestSetRefusesOutOfRangeValuesInOrderAndStaysOpen) {
  TestSetChoice current;
  current.parameters.testSetMode = TestSetMode::RandomAndLast;
  TestSetDialog model(current, 10, nullptr);
  TestSetView view(model);
  view.show();
  EXPECT_TRUE(view.lastCountEdit()->isEnabled());  // opened with the stored mode

  // Test count and last count both wrong: the test count is named first.
  typeInto(view.testCountEdit(), "11");
  typeInto(view.lastCountEdit(), "12");
  prompter.answerMessage(IDOK);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 0 and 10.");
  EXPECT_TRUE(view.isVisible());
  EXPECT_NE(view.result(), QDialog::Accepted);

  // Block start is checked even while its edit is disabled by the mode.
  typeInto(view.testCountEdit(), "3");
  view.blockStartEdit()->setText("11");
  prompter.answerMessage(IDOK);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 0 and 10.");
  EXPECT_EQ(model.refusedField(), TestSetDialog::Field::BlockStart);

  // A last count above the test count typed in the same dialog.
  view.blockStartEdit()->setText("0");
  typeInto(view.lastCountEdit(), "4");
  prompter.answerMessage(IDOK);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 0 and 3.");
  EXPECT_TRUE(view.isVisible());

  // An emptied field is out of range, never taken as 0.
  typeInto(view.lastCountEdit(), "");
  prompter.answerMessage(IDOK);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  EXPECT_EQ(model.refusedField(), TestSetDialog::Field::LastCount);

  typeInto(view.lastCountEdit(), "2");
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  EXPECT_EQ(view.result(), QDialog::Accepted);
  const TestSetChoice chosen = model.choice();
  EXPECT_EQ(chosen.testCount, 3);
  EXPECT_EQ(chosen.parameters.lastCount, 2);
  EXPECT_EQ(chosen.parameters.testSetMode, TestSetMode::RandomAndLast);
  EXPECT_EQ(prompter.messages().size(), 4u);
}

TEST_F(DialogViewTest, PresenterRunsTestSetModallyAndReturnsTheAnswer) {
  QtDialogPresenter presenter(nullptr);
  TestSetDialog model(TestSetChoice{}, 10, &presenter);
  whenShown<TestSetView>([](TestSetView& view) {
    EXPECT_EQ(view.windowTitle(), "Test set redactor");
    typeInto(view.testCountEdit(), "4");
    QTest::mouseClick(view.okButton(), Qt::LeftButton);
  });
  EXPECT_EQ(model.execModal(), IDOK);
  EXPECT_EQ(model.testCount, 4);

  TestSetDialog cancelled(TestSetChoice{}, 10, &presenter);
  whenShown<TestSetView>([](TestSetView& view) {
    typeInto(view.testCountEdit(), "5");
    view.reject();
  });
  EXPECT_EQ(cancelled.execModal(), IDCANCEL);
}

// --- Network Constructor ---------------------------------------------------------------------

TEST_F(DialogViewTest, ConstructorOpensWithFixedCountsAndMovesTheOutputsWithTheLayerCount) {
  NetworkConstructorDialog model(NetworkDescription{}, 4, 2, nullptr);
  NetworkConstructorView view(model);
  view.show();
  EXPECT_EQ(view.inputsEdit()->text(), "4");
  EXPECT_FALSE(view.inputsEdit()->isEnabled());
  EXPECT_EQ(view.layerCountBox()->value(), 2);
  EXPECT_EQ(view.row(0).label->text(), "Layer 1");
  EXPECT_EQ(view.row(0).neurons->text(), "3");
  EXPECT_TRUE(view.row(0).neurons->isEnabled());
  EXPECT_EQ(view.row(0).function->currentText(), "tanh");
  EXPECT_EQ(view.row(1).neurons->text(), "2");
  EXPECT_FALSE(view.row(1).neurons->isEnabled());
  EXPECT_EQ(view.row(1).function->currentText(), "linear");
  for (int l = 2; l < NetworkDescription::kMaxLayers; ++l) {
    EXPECT_EQ(view.row(l).label->text(), "Not Exist");
    EXPECT_EQ(view.row(l).neurons->text(), "0");
    EXPECT_FALSE(view.row(l).neurons->isEnabled());
    EXPECT_FALSE(view.row(l).order->isEnabled());
  }
  // Layer 1 is the bottom row, layer 5 the top one.
  for (int l = 1; l < NetworkDescription::kMaxLayers; ++l)
    EXPECT_LT(view.row(l).neurons->y(), view.row(l - 1).neurons->y()) << l;

  // The up-down moves the fixed output count to the new last layer.
  view.layerCountBox()->stepUp();
  EXPECT_EQ(view.row(2).label->text(), "Layer 3");
  EXPECT_EQ(view.row(2).neurons->text(), "2");
  EXPECT_FALSE(view.row(2).neurons->isEnabled());
  EXPECT_TRUE(view.row(1).neurons->isEnabled());
  EXPECT_EQ(view.row(3).label->text(), "Not Exist");

  typeInto(view.row(1).neurons, "5");
  view.row(1).order->setCurrentIndex(2);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  EXPECT_EQ(view.result(), QDialog::Accepted);
  const NetworkDescription& built = model.description();
  EXPECT_EQ(built.inputs, 4);
  EXPECT_EQ(built.layerCount, 3);
  EXPECT_EQ(built.neuronCounts[1], 5);
  EXPECT_EQ(built.orders[1], 3);
  EXPECT_EQ(built.neuronCounts[2], 2);
  EXPECT_EQ(built.outputs, 2);
}

TEST_F(DialogViewTest, ConstructorEnterRelaysOutWithoutClosing) {
  QtDialogPresenter presenter(nullptr);
  NetworkConstructorDialog model(NetworkDescription{}, std::nullopt, std::nullopt, &presenter);
  bool stillOpen = false;
  QString thirdLabel;
  whenShown<NetworkConstructorView>([&](NetworkConstructorView& view) {
    QLineEdit* spinText = view.layerCountBox()->findChild<QLineEdit*>();
    ASSERT_NE(spinText, nullptr);
    // Typed without the up-down's own tracking, so only Enter applies it.
    view.layerCountBox()->setKeyboardTracking(false);
    spinText->selectAll();
    QTest::keyClicks(spinText, "4");
    QTest::keyClick(spinText, Qt::Key_Return);
    QTest::keyClick(view.row(0).neurons, Qt::Key_Enter);
    stillOpen = QApplication::activeModalWidget() == &view && view.isVisible();
    thirdLabel = view.row(3).label->text();
    view.reject();
  });
  EXPECT_EQ(model.execModal(), IDCANCEL);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(thirdLabel, "Layer 4");
  EXPECT_EQ(model.layerCount, 4);
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(DialogViewTest, ConstructorRefusesNonPositiveNeuronsAndInputsOutOfRange) {
  NetworkConstructorDialog model(NetworkDescription{}, std::nullopt, std::nullopt, nullptr);
  NetworkConstructorView view(model);
  view.show();
  typeInto(view.row(1).neurons, "0");
  prompter.answerMessage(IDOK);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].text, "Number of neurons in the layer must be a positive number");
  EXPECT_EQ(prompter.messages()[0].caption, "VANTOR3");
  EXPECT_TRUE(view.isVisible());
  EXPECT_NE(view.result(), QDialog::Accepted);
  EXPECT_EQ(model.refusedLayer(), 1);

  typeInto(view.row(1).neurons, "-2");
  typeInto(view.inputsEdit(), "100001");
  prompter.answerMessage(IDOK);
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  // The data exchange's range check comes before the neurons.
  EXPECT_EQ(prompter.messages().back().text, "Please enter an integer between 1 and 100000.");

  typeInto(view.inputsEdit(), "100000");
  typeInto(view.row(1).neurons, "1");
  QTest::mouseClick(view.okButton(), Qt::LeftButton);
  EXPECT_EQ(view.result(), QDialog::Accepted);
  EXPECT_EQ(model.description().inputs, 100000);
  EXPECT_EQ(prompter.messages().size(), 2u);
}

// --- Column choice and normalisation ---------------------------------------------------------

TEST_F(DialogViewTest, ColumnChoiceButtonsFollowTheListsAndAddReplacesTheChoice) {
  ColumnChoiceDialog model(ColumnChoiceDialog::Side::Inputs, {"a", "b", "c", "d"}, {}, nullptr);
  ColumnChoiceView view(model);
  view.show();
  EXPECT_EQ(view.allDataList()->count(), 4);
  EXPECT_FALSE(view.addButton()->isEnabled());
  EXPECT_FALSE(view.okButton()->isEnabled());
  EXPECT_FALSE(view.clearButton()->isEnabled());
  EXPECT_FALSE(view.normaliseButton()->isEnabled());

  view.allDataList()->item(0)->setSelected(true);
  view.allDataList()->item(2)->setSelected(true);
  EXPECT_TRUE(view.addButton()->isEnabled());
  QTest::mouseClick(view.addButton(), Qt::LeftButton);
  ASSERT_EQ(view.chosenList()->count(), 2);
  EXPECT_EQ(view.chosenList()->item(1)->text(), "c");
  EXPECT_TRUE(view.allDataList()->selectedItems().isEmpty());
  EXPECT_FALSE(view.addButton()->isEnabled());
  EXPECT_TRUE(view.okButton()->isEnabled());

  // "Normalization..." gives every chosen column the kind; a new ">>" resets it.
  prompter.answerModal([](platform::ModalDialog& d) {
    EXPECT_TRUE(dynamic_cast<NormalisationDialog&>(d).choose("Mean / Variance"));
    return IDOK;
  });
  QTest::mouseClick(view.normaliseButton(), Qt::LeftButton);
  EXPECT_EQ(model.kinds(), std::vector<NormalisationKind>(2, NormalisationKind::MeanVariance));
  QTest::mouseClick(view.selectAllButton(), Qt::LeftButton);
  EXPECT_EQ(view.allDataList()->selectedItems().size(), 4);
  QTest::mouseClick(view.addButton(), Qt::LeftButton);
  EXPECT_EQ(view.chosenList()->count(), 4);
  EXPECT_EQ(model.kinds(), std::vector<NormalisationKind>(4, NormalisationKind::None));

  ASSERT_NE(view.removeButton(), nullptr);
  EXPECT_FALSE(view.removeButton()->isEnabled());
  view.chosenList()->item(1)->setSelected(true);
  view.chosenList()->item(3)->setSelected(true);
  EXPECT_TRUE(view.removeButton()->isEnabled());
  QTest::mouseClick(view.removeButton(), Qt::LeftButton);
  EXPECT_EQ(model.names(), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(view.chosenList()->count(), 2);

  QTest::mouseClick(view.clearButton(), Qt::LeftButton);
  EXPECT_EQ(view.chosenList()->count(), 0);
  EXPECT_FALSE(view.okButton()->isEnabled());
}

TEST_F(DialogViewTest, PresenterShowsTheNormalisationDialogOverTheColumnDialog) {
  QtDialogPresenter presenter(nullptr);
  ColumnChoiceDialog model(ColumnChoiceDialog::Side::Inputs, {"a", "b", "c"}, {}, &presenter);
  // The prompter hands the nested dialog to the presenter, as the Qt prompter does.
  prompter.answerModal([](platform::ModalDialog& d) { return d.execModal(); });
  QWidget* normalisationParent = nullptr;
  whenShown<ColumnChoiceView>([&](ColumnChoiceView& view) {
    view.allDataList()->item(1)->setSelected(true);
    view.allDataList()->item(2)->setSelected(true);
    QTest::mouseClick(view.addButton(), Qt::LeftButton);
    whenShown<NormalisationView>([&](NormalisationView& kinds) {
      normalisationParent = kinds.parentWidget();
      EXPECT_EQ(kinds.windowTitle(), "Inputs normalization");
      kinds.button(3)->setChecked(true);  // "tanh - normalization"
      kinds.accept();
    });
    QTest::mouseClick(view.normaliseButton(), Qt::LeftButton);
    QTest::mouseClick(view.okButton(), Qt::LeftButton);
  });
  EXPECT_EQ(model.execModal(), IDOK);
  EXPECT_NE(normalisationParent, nullptr);
  EXPECT_EQ(model.columns(), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(model.kinds(), std::vector<NormalisationKind>(2, NormalisationKind::Tanh));
}

TEST_F(DialogViewTest, OutputsDialogHasNoRemoveAndItsNormalisationMapsByName) {
  ColumnChoiceDialog model(ColumnChoiceDialog::Side::Outputs, {"a", "b"}, {0, 1}, nullptr);
  ColumnChoiceView view(model);
  EXPECT_EQ(view.windowTitle(), "Select outputs");
  EXPECT_EQ(view.removeButton(), nullptr);
  EXPECT_EQ(view.chosenList()->count(), 0);  // starts empty whatever the data set holds
  EXPECT_EQ(view.chosenList()->selectionMode(), QAbstractItemView::NoSelection);

  NormalisationDialog outputs(NormalisationDialog::Side::Outputs, nullptr);
  NormalisationView normalisation(outputs);
  ASSERT_EQ(normalisation.buttonCount(), 4);
  EXPECT_TRUE(normalisation.button(0)->isChecked());
  EXPECT_EQ(normalisation.button(1)->text(), "(-1, +1) normalization");
  EXPECT_EQ(normalisation.button(2)->text(), "Mean/Variance");
  normalisation.button(2)->setChecked(true);
  normalisation.accept();
  EXPECT_EQ(outputs.chosenKind(), NormalisationKind::MeanVariance);
}

// --- Randomisation, stopping criteria, algorithm selection -----------------------------------

TEST_F(DialogViewTest, RandomizationRefusesRangesOutsideZeroToThousand) {
  RandomizationDialog model(nullptr);
  RandomizationView view(model);
  view.show();
  EXPECT_EQ(view.rangeEdit()->text(), "0.5");
  EXPECT_TRUE(view.randomizeButton()->isChecked());
  for (const char* bad : {"1000.5", "-1", ""}) {
    view.rangeEdit()->setText(QString::fromLatin1(bad));
    prompter.answerMessage(IDOK);
    view.accept();
    EXPECT_EQ(prompter.messages().back().text, "Please enter a number between 0 and 1000.") << bad;
    EXPECT_NE(view.result(), QDialog::Accepted) << bad;
  }
  view.rangeEdit()->setText("1000");
  view.noiseButton()->setChecked(true);
  view.accept();
  EXPECT_EQ(view.result(), QDialog::Accepted);
  EXPECT_EQ(model.randomization.range, 1000.0);
  EXPECT_EQ(model.randomization.kind, Randomization::Kind::AddNoise);
}

TEST_F(DialogViewTest, StoppingCriteriaTakesAllFourValuesWithoutRangeChecks) {
  StoppingCriteria current;
  current.maxEpochs = 300;
  StoppingCriteriaDialog model(current, nullptr);
  StoppingCriteriaView view(model);
  EXPECT_FALSE(view.useCheck()->isChecked());
  EXPECT_EQ(view.maxEpochsEdit()->text(), "300");
  view.useCheck()->setChecked(true);
  view.maxEpochsEdit()->setText("-5");
  view.trainingLimitEdit()->setText("0.125");
  view.testLimitEdit()->setText("2e-3");
  view.accept();
  EXPECT_EQ(view.result(), QDialog::Accepted);
  EXPECT_EQ(model.criteria.useStoppingCriteria, 1);
  EXPECT_EQ(model.criteria.maxEpochs, -5);
  EXPECT_EQ(model.criteria.trainingErrorLimit, 0.125f);
  EXPECT_EQ(model.criteria.testErrorLimit, 0.002f);

  StoppingCriteriaDialog unread(current, nullptr);
  StoppingCriteriaView refused(unread);
  refused.trainingLimitEdit()->setText("");
  prompter.answerMessage(IDOK);
  refused.accept();
  EXPECT_NE(refused.result(), QDialog::Accepted);
  EXPECT_EQ(unread.criteria, current);  // nothing taken over from a refused dialog
}

TEST_F(DialogViewTest, SelectAlgorithmSelectsNewDetachesAndDisablesCustomize) {
  ScriptedAlgorithm algorithm;
  AlgorithmLoader loader{std::string()};
  loader.algorithms.push_back(&algorithm);
  loader.selectedAlgorithm = 0;
  SelectAlgorithmDialog model(loader, TrainingContext{}, nullptr);
  SelectAlgorithmView view(model);
  ASSERT_EQ(view.algorithmList()->count(), 2);
  EXPECT_EQ(view.algorithmList()->itemText(0), "No algorithm");
  EXPECT_EQ(view.algorithmList()->currentIndex(), 1);
  EXPECT_EQ(view.currentEdit()->text(), "Scripted");
  EXPECT_EQ(view.descriptionEdit()->toPlainText(), "scripted");
  EXPECT_TRUE(view.customizeButton()->isEnabled());

  view.algorithmList()->setCurrentIndex(0);
  EXPECT_EQ(loader.selectedAlgorithm, 0);  // only "Select new" takes effect
  QTest::mouseClick(view.selectNewButton(), Qt::LeftButton);
  EXPECT_EQ(loader.selectedAlgorithm, -1);
  EXPECT_EQ(algorithm.detachCalls, 1);
  EXPECT_EQ(view.currentEdit()->text(), "Algorithm isn't selected");
  EXPECT_TRUE(view.descriptionEdit()->toPlainText().isEmpty());
  EXPECT_FALSE(view.customizeButton()->isEnabled());
  loader.algorithms.clear();
}

}  // namespace
}  // namespace lumivane::test
