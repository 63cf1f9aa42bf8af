// "Select relevant columns" and "Inputs normalization": the starting choice, the move buttons
// and their enabling, and what reaches the request.
#include "kohonen/workbench/qt/dialogs/selector_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include "kohonen/workbench/selector_request.h"
#include "tests/kohonen/workbench/dialogs/dialog_test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using dialog_test::button;
using dialog_test::standardButton;

const std::vector<std::string> kIrisColumns = {"sepal_length_cm", "sepal_width_cm", "petal_length_cm",
                                               "petal_width_cm", "species"};

QStringList texts(const QListWidget& list) {
  QStringList out;
  for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
  return out;
}

void highlight(QListWidget& list, std::initializer_list<int> rows) {
  list.clearSelection();
  for (int row : rows) list.item(row)->setSelected(true);
}

class SelectorDialogTest : public lumivane::test::PromptedTest {
 protected:
  // The left and right lists, told apart by their place.
  static std::pair<QListWidget*, QListWidget*> lists(const QDialog& dialog) {
    auto found = dialog.findChildren<QListWidget*>();
    EXPECT_EQ(found.size(), 2);
    if (found.size() != 2) return {nullptr, nullptr};
    if (found[0]->mapTo(&dialog, QPoint()).x() > found[1]->mapTo(&dialog, QPoint()).x())
      std::swap(found[0], found[1]);
    return {found[0], found[1]};
  }
};

TEST_F(SelectorDialogTest, StartsFromThePreviousChoice) {
  ColumnChoice previous = ColumnChoice::initial(5);
  previous.selected = {1, 3};
  previous.kinds.assign(5, NormalisationKind::MeanVariance);
  previous.extractComponents = true;
  ColumnSelectionRequest request(kIrisColumns, previous);
  SelectorDialog dialog(request);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Select relevant columns");
  auto [left, right] = lists(dialog);
  ASSERT_TRUE(left && right);
  EXPECT_EQ(texts(*left), (QStringList{"sepal_length_cm", "petal_length_cm", "species"}));
  EXPECT_EQ(texts(*right), (QStringList{"sepal_width_cm", "petal_width_cm"}));
  auto* extract = dialog.findChild<QCheckBox*>();
  ASSERT_NE(extract, nullptr);
  EXPECT_EQ(extract->text(), "Extract principal components");
  EXPECT_TRUE(extract->isChecked());
  EXPECT_TRUE(standardButton(dialog, QDialogButtonBox::Ok)->isEnabled());
  EXPECT_TRUE(button(dialog, "Normalize...")->isEnabled());

  extract->setChecked(false);
  EXPECT_FALSE(request.extractComponents());
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(request.choice().kinds, previous.kinds);
}

TEST_F(SelectorDialogTest, MovesKeepTableOrderAndTheButtonsFollowTheLists) {
  ColumnSelectionRequest request(kIrisColumns, ColumnChoice::initial(5));
  SelectorDialog dialog(request);
  dialog.show();
  auto [left, right] = lists(dialog);
  ASSERT_TRUE(left && right);
  QAbstractButton* select = button(dialog, ">");
  QAbstractButton* selectAll = button(dialog, ">>");
  QAbstractButton* deselect = button(dialog, "<");
  QAbstractButton* deselectAll = button(dialog, "<<");
  QAbstractButton* normalise = button(dialog, "Normalize...");
  QAbstractButton* ok = standardButton(dialog, QDialogButtonBox::Ok);
  ASSERT_TRUE(select && selectAll && deselect && deselectAll && normalise && ok);

  // Nothing selected: only ">>" can do anything (">" waits for a highlighted entry).
  EXPECT_FALSE(select->isEnabled());
  EXPECT_TRUE(selectAll->isEnabled());
  EXPECT_FALSE(deselect->isEnabled());
  EXPECT_FALSE(deselectAll->isEnabled());
  EXPECT_FALSE(normalise->isEnabled());
  EXPECT_FALSE(ok->isEnabled());
  dialog.accept();  // Enter without a selection does not close
  EXPECT_TRUE(dialog.isVisible());

  // Highlighted out of order, moved in table order; ">" waits again after the move.
  highlight(*left, {3, 1});
  EXPECT_TRUE(select->isEnabled());
  select->click();
  EXPECT_EQ(texts(*right), (QStringList{"sepal_width_cm", "petal_width_cm"}));
  EXPECT_EQ(texts(*left), (QStringList{"sepal_length_cm", "petal_length_cm", "species"}));
  EXPECT_FALSE(select->isEnabled());
  EXPECT_TRUE(deselectAll->isEnabled());
  EXPECT_TRUE(normalise->isEnabled());
  EXPECT_TRUE(ok->isEnabled());

  // One more from the left lands between the two already selected.
  highlight(*left, {1});
  select->click();
  EXPECT_EQ(request.selected(), (std::vector<std::int32_t>{1, 2, 3}));

  highlight(*right, {0, 2});
  EXPECT_TRUE(deselect->isEnabled());
  deselect->click();
  EXPECT_EQ(texts(*right), (QStringList{"petal_length_cm"}));
  EXPECT_FALSE(deselect->isEnabled());

  // A double click moves one entry across.
  QApplication::processEvents();  // the lists lay their items out
  const QPoint first = left->visualItemRect(left->item(0)).center();
  QTest::mouseClick(left->viewport(), Qt::LeftButton, {}, first);  // a double click starts as a press
  QTest::mouseDClick(left->viewport(), Qt::LeftButton, {}, first);
  EXPECT_EQ(request.selected(), (std::vector<std::int32_t>{0, 2}));

  selectAll->click();
  EXPECT_EQ(left->count(), 0);
  EXPECT_EQ(right->count(), 5);
  EXPECT_FALSE(selectAll->isEnabled());
  deselectAll->click();
  EXPECT_EQ(left->count(), 5);
  EXPECT_TRUE(request.selected().empty());
  EXPECT_FALSE(deselectAll->isEnabled());
  EXPECT_FALSE(normalise->isEnabled());
  EXPECT_FALSE(ok->isEnabled());
}

TEST_F(SelectorDialogTest, NormalizeGivesTheChosenKindToEveryColumn) {
  ColumnChoice previous = ColumnChoice::initial(5);
  previous.selected = {0};
  ColumnSelectionRequest request(kIrisColumns, previous);
  SelectorDialog dialog(request);
  prompter.answerModal([](platform::ModalDialog& d) {
    EXPECT_EQ(d.dialogTitle(), "Inputs normalization");
    static_cast<NormalisationRequest&>(d).button = 2;
    return int{platform::IDOK};
  });
  button(dialog, "Normalize...")->click();
  EXPECT_EQ(request.choice().kinds, std::vector<NormalisationKind>(5, NormalisationKind::MinMax));
  EXPECT_EQ(prompter.pendingAnswers(), 0u);
}

TEST(NormalisationDialogTest, OpensOnTheFirstKindAndOnlyOkStoresTheChoice) {
  NormalisationRequest request;
  {
    GridwiseNormalisationDialog dialog(request);
    EXPECT_EQ(dialog.windowTitle(), "Inputs normalization");
    auto radios = dialog.findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 4);
    QStringList labels;
    for (auto* r : radios) labels << r->text();
    EXPECT_EQ(labels, (QStringList{"Leave data unnormalized", "Mean / Variance", "(-1, +1) normalization",
                                   "tanh - normalization"}));
    EXPECT_TRUE(radios[0]->isChecked());
    radios[3]->setChecked(true);
    dialog.accept();
  }
  EXPECT_EQ(request.button, 3);
  EXPECT_EQ(request.kind(), NormalisationKind::Tanh);
  {
    GridwiseNormalisationDialog dialog(request);
    dialog.findChildren<QRadioButton*>()[1]->setChecked(true);
    dialog.reject();
  }
  EXPECT_EQ(request.button, 3);
}

}  // namespace
