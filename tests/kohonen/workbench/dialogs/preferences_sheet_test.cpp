// "Program preferences": OK, Cancel and Apply, the range messages on leaving the training page,
// the swatch's stripes and the double click that picks one of them.
#include "kohonen/workbench/qt/dialogs/preferences_sheet.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "platform/scripted_prompter.h"
#include "tests/kohonen/workbench/dialogs/dialog_test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using dialog_test::standardButton;

// Records where the colour dialog opens, answering from the scripted prompter.
class ColourRecorder final : public platform::Prompter {
 public:
  explicit ColourRecorder(platform::ScriptedPrompter& script) : script_(script) {}
  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return script_.messageBox(text, caption, flags);
  }
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& r) override {
    return script_.fileDialog(r);
  }
  std::optional<platform::Rgb> chooseColour(platform::Rgb initial) override {
    openedAt.push_back(initial);
    return script_.chooseColour(initial);
  }
  int runModal(platform::ModalDialog& d) override { return script_.runModal(d); }

  std::vector<platform::Rgb> openedAt;

 private:
  platform::ScriptedPrompter& script_;
};

class PreferencesSheetTest : public lumivane::test::PromptedTest {
 protected:
  PreferencesRequest request{
      TrainingSettings{}, PaletteTable{},
      [this](const TrainingSettings& s, const PaletteTable& p) { delivered.emplace_back(s, p); }};
  std::vector<std::pair<TrainingSettings, PaletteTable>> delivered;

  static QTabWidget* tabs(const QDialog& sheet) { return sheet.findChild<QTabWidget*>(); }
  // The training page's fields in their order on the page.
  static std::vector<QLineEdit*> fields(const QDialog& sheet) {
    auto* page = tabs(sheet)->widget(1);
    auto found = page->findChildren<QLineEdit*>();
    std::sort(found.begin(), found.end(), [page](QLineEdit* a, QLineEdit* b) {
      return a->mapTo(page, QPoint()).y() < b->mapTo(page, QPoint()).y();
    });
    return {found.begin(), found.end()};
  }
  static void retype(QLineEdit& field, const QString& text) {
    field.selectAll();
    field.del();
    QTest::keyClicks(&field, text);
  }
};

TEST_F(PreferencesSheetTest, PagesAndFieldsAsTheSheetOpens) {
  PreferencesSheet sheet(request);
  sheet.show();
  EXPECT_EQ(sheet.windowTitle(), "Program preferences");
  ASSERT_EQ(tabs(sheet)->count(), 2);
  EXPECT_EQ(tabs(sheet)->tabText(0), "Colors");
  EXPECT_EQ(tabs(sheet)->tabText(1), "Training Parameters");
  auto* combo = tabs(sheet)->widget(0)->findChild<QComboBox*>();
  ASSERT_EQ(combo->count(), 9);
  EXPECT_EQ(combo->itemText(0), "2");
  EXPECT_EQ(combo->itemText(8), "10");
  EXPECT_EQ(combo->currentText(), "2");
  QStringList labels;
  for (auto* label : tabs(sheet)->widget(1)->findChildren<QLabel*>()) labels << label->text();
  for (const char* expected : {"Number of iterations:", "Initial stiffness:", "Delta:", "Decay factor:"})
    EXPECT_TRUE(labels.contains(expected)) << expected;
  const auto f = fields(sheet);
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0]->text(), "2000");
  EXPECT_EQ(f[1]->text(), "2");
  EXPECT_EQ(f[2]->text(), "0.01");
  EXPECT_EQ(f[3]->text(), "0.001");
  EXPECT_FALSE(standardButton(sheet, QDialogButtonBox::Apply)->isEnabled());
}

TEST_F(PreferencesSheetTest, ApplyDeliversBothPagesAndCancelKeepsWhatWasApplied) {
  PreferencesSheet sheet(request);
  sheet.show();
  tabs(sheet)->setCurrentIndex(1);
  QAbstractButton* apply = standardButton(sheet, QDialogButtonBox::Apply);
  const auto f = fields(sheet);
  retype(*f[2], "0.5");
  EXPECT_TRUE(apply->isEnabled());
  apply->click();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].first.delta, 0.5);
  EXPECT_EQ(delivered[0].first.iterations, 2000);
  EXPECT_FALSE(apply->isEnabled());

  retype(*f[0], "300");
  EXPECT_TRUE(apply->isEnabled());
  sheet.reject();
  EXPECT_EQ(sheet.result(), QDialog::Rejected);
  EXPECT_EQ(delivered.size(), 1u);  // the last apply stands; the later edit is dropped
}

TEST_F(PreferencesSheetTest, ValuesOutOfRangeAreRefusedWithTheirMessages) {
  PreferencesSheet sheet(request);
  sheet.show();
  QTabWidget* pages = tabs(sheet);
  pages->setCurrentIndex(1);
  const auto f = fields(sheet);
  QAbstractButton* apply = standardButton(sheet, QDialogButtonBox::Apply);

  struct Case {
    std::size_t field;
    const char* text;
    const char* message;
  };
  for (const Case& c : {Case{0, "0", "Please enter an integer between 1 and 1000000."},
                        Case{0, "12.5", "Please enter an integer between 1 and 1000000."},
                        Case{1, "100.5", "Please enter a number between 0 and 100."},
                        Case{2, "abc", "Please enter a number between 0 and 10."},
                        Case{3, "-0.1", "Please enter a number between 0 and 1."}}) {
    TrainingSettings valid;
    request.setTraining(valid);
    f[0]->setText("2000");
    f[1]->setText("2");
    f[2]->setText("0.01");
    f[3]->setText("0.001");
    retype(*f[c.field], c.text);
    const std::size_t before = prompter.messages().size();

    // Apply, leaving the page and OK: each refuses with the message of the field, which gets
    // the caret, and nothing is delivered.
    prompter.answerMessage(platform::IDOK);
    apply->click();
    prompter.answerMessage(platform::IDOK);
    pages->setCurrentIndex(0);
    EXPECT_EQ(pages->currentIndex(), 1) << c.text;
    prompter.answerMessage(platform::IDOK);
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible()) << c.text;
    EXPECT_EQ(sheet.focusWidget(), f[c.field]) << c.text;
    const auto messages = prompter.messages();
    ASSERT_EQ(messages.size(), before + 3) << c.text;
    for (std::size_t i = before; i < messages.size(); ++i) {
      EXPECT_EQ(messages[i].text, c.message);
      EXPECT_EQ(messages[i].caption, "Gridwise");
      EXPECT_EQ(messages[i].icon(), unsigned{platform::MB_ICONWARNING});
    }
  }
  EXPECT_TRUE(delivered.empty());

  // Mended, the page may be left and OK closes; the caller delivers the pages after OK.
  retype(*f[3], "1");
  pages->setCurrentIndex(0);
  EXPECT_EQ(pages->currentIndex(), 0);
  sheet.accept();
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_EQ(request.training().decayFactor, 1.0);
  EXPECT_EQ(request.training().iterations, 2000);
}

TEST_F(PreferencesSheetTest, SwatchDrawsTheStripesThatADoubleClickPicks) {
  ColourRecorder recorder(prompter);
  platform::PrompterScope scope(recorder);
  PreferencesSheet sheet(request);
  sheet.show();
  auto* swatch = sheet.findChild<PaletteSwatch*>();
  ASSERT_NE(swatch, nullptr);
  auto* combo = tabs(sheet)->widget(0)->findChild<QComboBox*>();
  swatch->setFixedSize(300, 40);

  // Three greys: black, 127, white, each a third of the width.
  combo->setCurrentIndex(1);
  EXPECT_EQ(request.colourCount(), 3);
  const auto at = [&](int x) { return swatch->picture().pixelColor(x, 20); };
  EXPECT_EQ(at(0), QColor(0, 0, 0));
  EXPECT_EQ(at(99), QColor(0, 0, 0));
  EXPECT_EQ(at(100), QColor(127, 127, 127));
  EXPECT_EQ(at(199), QColor(127, 127, 127));
  EXPECT_EQ(at(200), QColor(255, 255, 255));
  EXPECT_EQ(at(299), QColor(255, 255, 255));

  // A width that is no multiple of the count: each drawn pixel belongs to the stripe it picks.
  swatch->setFixedSize(97, 40);
  combo->setCurrentIndex(5);
  ASSERT_EQ(request.colourCount(), 7);
  for (int x = 0; x < 97; ++x)
    EXPECT_EQ(at(x), QColor(request.palette().colour(7, PreferencesRequest::stripeAt(x, 97, 7)).r,
                            request.palette().colour(7, PreferencesRequest::stripeAt(x, 97, 7)).g,
                            request.palette().colour(7, PreferencesRequest::stripeAt(x, 97, 7)).b))
        << x;

  // Double clicks: the first pixel of stripe 1 (13), then stripe 4 cancelled.
  prompter.answerColour(platform::Rgb{10, 20, 30});
  QTest::mouseDClick(swatch, Qt::LeftButton, {}, QPoint(13, 20));
  prompter.answerColour(std::nullopt);
  QTest::mouseDClick(swatch, Qt::LeftButton, {}, QPoint(60, 20));
  ASSERT_EQ(recorder.openedAt.size(), 2u);
  EXPECT_EQ(recorder.openedAt[0], (PaletteTable().colour(7, 1)));
  EXPECT_EQ(recorder.openedAt[1], (PaletteTable().colour(7, 4)));
  PaletteTable expected;
  expected.setColour(7, 1, {10, 20, 30});
  EXPECT_EQ(request.palette(), expected);
  EXPECT_EQ(at(13), QColor(10, 20, 30));
  EXPECT_EQ(at(12), QColor(0, 0, 0));

  // From the keyboard: two stripes to the right of the last pick, Enter.
  swatch->setFocus();
  prompter.answerColour(platform::Rgb{1, 2, 3});
  QTest::keyClick(swatch, Qt::Key_Right);
  QTest::keyClick(swatch, Qt::Key_Right);
  QTest::keyClick(swatch, Qt::Key_Return);
  EXPECT_EQ(request.palette().colour(7, 3), (platform::Rgb{1, 2, 3}));
  EXPECT_TRUE(sheet.isVisible());

  // The working copy reaches the caller only through Apply.
  EXPECT_TRUE(delivered.empty());
  QAbstractButton* apply = standardButton(sheet, QDialogButtonBox::Apply);
  ASSERT_TRUE(apply->isEnabled());
  apply->click();
  ASSERT_EQ(delivered.size(), 1u);
  expected.setColour(7, 3, {1, 2, 3});
  EXPECT_EQ(delivered[0].second, expected);
}

}  // namespace
