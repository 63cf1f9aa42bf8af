// The "Rprop parameters" dialog: its fields, the order of its checks, the range message.

#include "plugins/rprop/rprop_parameters_dialog.h"

#include <gtest/gtest.h>

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <iterator>
#include <string>

#include "tests/support/test_support.h"

namespace {

using Dialog = RpropParametersDialog;

class RpropParametersDialogTest : public lumivane::test::PromptedTest {
 protected:
  RpropParameters defaults{0.1, 1e-8, 10.0, 0.5, 1.2};
  Dialog dialog{defaults, nullptr};

  void set(Dialog::Field f, const char* text) { dialog.field(f)->setText(QString::fromUtf8(text)); }

  // Presses OK expecting exactly one refusal with the given text.
  void expectRefusal(const std::string& text) {
    const std::size_t before = prompter.messages().size();
    prompter.answerMessage(platform::IDOK);
    dialog.accept();
    auto boxes = prompter.messages();
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().text, text);
    EXPECT_EQ(boxes.back().caption, "kestrel");
    EXPECT_EQ(boxes.back().icon(), platform::MB_ICONWARNING);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.parameters(), defaults);  // nothing taken over until every field passes
  }
};

TEST_F(RpropParametersDialogTest, ShowsTheSixFieldsWithTheirLabelsAndValues) {
  EXPECT_EQ(dialog.windowTitle(), "Rprop parameters");
  EXPECT_EQ(dialog.dialogTitle(), "Rprop parameters");
  const std::string cores = std::to_string(defaultRpropThreads());
  const char* labels[] = {"Initial delta", "Minimal delta", "Maximal delta", "Nu (-) ", "Nu (+)", "Threads"};
  const char* values[] = {"0.1", "1e-08", "10", "0.5", "1.2", cores.c_str()};
  static_assert(std::size(labels) == Dialog::kFieldCount);
  auto* form = dialog.findChild<QFormLayout*>();
  ASSERT_NE(form, nullptr);
  for (int f = 0; f < Dialog::kFieldCount; ++f) {
    auto* label = qobject_cast<QLabel*>(form->labelForField(dialog.field(static_cast<Dialog::Field>(f))));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), labels[f]);
    EXPECT_EQ(dialog.field(static_cast<Dialog::Field>(f))->text().toStdString(), values[f]);
  }
}

TEST_F(RpropParametersDialogTest, RefusesOutOfRangeValuesWithTheRangeMessage) {
  set(Dialog::Increase, "0.5");
  expectRefusal("Please enter a number between 1 and 10.");
  EXPECT_TRUE(dialog.field(Dialog::Increase)->hasSelectedText());

  set(Dialog::Increase, "1.2");
  set(Dialog::Minimal, "2");
  expectRefusal("Please enter a number between 0 and 1.");

  set(Dialog::Minimal, "abc");
  expectRefusal("Please enter a number.");
  set(Dialog::Minimal, "nan");
  expectRefusal("Please enter a number between 0 and 1.");
}

TEST_F(RpropParametersDialogTest, ChecksInitialMaximalMinimalNuPlusNuMinusInThatOrder) {
  // Every field out of range: each OK reports the first one left, in the documented order.
  set(Dialog::Initial, "11");
  set(Dialog::Minimal, "-1");
  set(Dialog::Maximal, "101");
  set(Dialog::Decrease, "1.5");
  set(Dialog::Increase, "0.9");
  expectRefusal("Please enter a number between 0 and 10.");
  set(Dialog::Initial, "10");  // the bounds themselves are accepted
  expectRefusal("Please enter a number between 0 and 100.");
  set(Dialog::Maximal, "100");
  expectRefusal("Please enter a number between 0 and 1.");
  EXPECT_TRUE(dialog.field(Dialog::Minimal)->hasSelectedText());
  set(Dialog::Minimal, "0");
  expectRefusal("Please enter a number between 1 and 10.");
  set(Dialog::Increase, "1");
  expectRefusal("Please enter a number between 0 and 1.");
  EXPECT_TRUE(dialog.field(Dialog::Decrease)->hasSelectedText());
  set(Dialog::Decrease, " 1 ");

  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.parameters(), (RpropParameters{10.0, 0.0, 100.0, 1.0, 1.0}));
}

// The threads field takes whole numbers 1 … 64 and is checked after the five of the rule.
TEST_F(RpropParametersDialogTest, ThreadsMustBeAnIntegerFromOneToSixtyFourCheckedLast) {
  set(Dialog::Threads, "0");
  set(Dialog::Increase, "0.9");
  expectRefusal("Please enter a number between 1 and 10.");
  set(Dialog::Increase, "1.2");
  expectRefusal("Please enter an integer between 1 and 64.");
  EXPECT_TRUE(dialog.field(Dialog::Threads)->hasSelectedText());
  for (const char* wrong : {"2.5", "two", "", "3x", "99999999999999999999"}) {
    set(Dialog::Threads, wrong);
    expectRefusal("Please enter an integer.");
  }
  set(Dialog::Threads, "65");
  expectRefusal("Please enter an integer between 1 and 64.");
  set(Dialog::Threads, " 64 ");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.parameters().threads, 64);
  EXPECT_EQ(dialog.parameters().initialStep, 0.1);
}

TEST_F(RpropParametersDialogTest, NoCheckRelatesTwoFields) {
  set(Dialog::Minimal, "0.9");
  set(Dialog::Maximal, "0.01");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.parameters().minimalStep, 0.9);
  EXPECT_EQ(dialog.parameters().maximalStep, 0.01);
}

TEST_F(RpropParametersDialogTest, TheEditorChangesNothingOnCancel) {
  RpropParameters p = defaults;
  prompter.answerModal([](platform::ModalDialog& d) {
    dynamic_cast<Dialog&>(d).field(Dialog::Initial)->setText("5");
    return platform::IDCANCEL;
  });
  EXPECT_EQ(editRpropParameters(nullptr, p), 0);
  EXPECT_EQ(p, defaults);

  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dlg = dynamic_cast<Dialog&>(d);
    dlg.field(Dialog::Initial)->setText("5");
    dlg.field(Dialog::Decrease)->setText("0.25");
    dlg.accept();
    return platform::IDOK;
  });
  EXPECT_EQ(editRpropParameters(nullptr, p), 1);
  EXPECT_EQ(p, (RpropParameters{5.0, 1e-8, 10.0, 0.25, 1.2}));
}

}  // namespace
