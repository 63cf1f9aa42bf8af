// The installed hooks: each shows its dialog modally and answers IDOK or IDCANCEL as it closed.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences_request.h"
#include "kohonen/workbench/qt/dialogs/gridwise_dialogs.h"
#include "kohonen/workbench/selector_request.h"
#include "platform/qt/qt_prompter.h"
#include "tests/kohonen/workbench/dialogs/dialog_test_helpers.h"

namespace {

using platform::IDCANCEL;
using platform::IDOK;

void pressOk(QDialog& dialog) {
  QAbstractButton* ok = dialog_test::standardButton(dialog, QDialogButtonBox::Ok);
  ASSERT_NE(ok, nullptr) << dialog.windowTitle().toStdString();
  ok->click();
}

TEST(GridwiseDialogHooksTest, FillsItsFiveHooksAndLeavesTheMapHooksAlone) {
  GridwiseDialogHooks hooks;
  int mapHookCalls = 0;
  hooks.chooseNewMap = [&](NewMapRequest&) { return ++mapHookCalls; };
  installGridwiseDialogViews(hooks);
  EXPECT_TRUE(hooks.selectColumns && hooks.chooseNormalisation && hooks.analyseComponents &&
              hooks.chooseNetworkSize && hooks.editPreferences);
  EXPECT_FALSE(hooks.describeCell || hooks.findCell);
  NewMapRequest map({"a"});
  EXPECT_EQ(hooks.chooseNewMap(map), 1);
}

TEST(GridwiseDialogHooksTest, EachDialogRunsModallyAndAnswersAsItClosed) {
  GridwiseDialogHooks hooks;
  installGridwiseDialogViews(hooks);
  QString title;
  const auto titled = [&](std::function<void(QDialog&)> then) {
    return [&title, then](QDialog& d) {
      title = d.windowTitle();
      EXPECT_TRUE(d.isModal());
      then(d);
    };
  };
  const auto cancel = [](QDialog& d) { d.reject(); };

  ColumnSelectionRequest columns({"a", "b"}, ColumnChoice::initial(2));
  columns.selectAll();
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.selectColumns(columns); }, titled(pressOk)), IDOK);
  EXPECT_EQ(title, "Select relevant columns");
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.selectColumns(columns); }, cancel), IDCANCEL);

  NormalisationRequest normalisation;
  EXPECT_EQ(
      dialog_test::whileModal([&] { return hooks.chooseNormalisation(normalisation); }, titled(pressOk)),
      IDOK);
  EXPECT_EQ(title, "Inputs normalization");

  RealMatrix values(2, 1);
  values(0, 0) = 3.0;
  values(1, 0) = 1.0;
  PcAnalyzerRequest components(values);
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.analyseComponents(components); }, titled(pressOk)),
            IDOK);
  EXPECT_EQ(title, "PC Analyzer");
  EXPECT_EQ(components.componentsToKeep(), 2);

  NetworkSizeRequest size(10, 10);
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.chooseNetworkSize(size); }, titled([](QDialog& d) {
                                      d.findChildren<QLineEdit*>()[0]->setText("4");
                                      pressOk(d);
                                    })),
            IDOK);
  EXPECT_EQ(title, "Create Network");
  EXPECT_EQ(size.rows, 4);
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.chooseNetworkSize(size); }, cancel), IDCANCEL);

  PreferencesRequest preferences(TrainingSettings{}, PaletteTable{}, {});
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.editPreferences(preferences); }, titled(pressOk)),
            IDOK);
  EXPECT_EQ(title, "Program preferences");
  EXPECT_EQ(dialog_test::whileModal([&] { return hooks.editPreferences(preferences); }, cancel), IDCANCEL);
}

TEST(GridwiseDialogHooksTest, NormalizeOpensTheNormalisationDialogOverTheSelector) {
  // The road a user takes: the request runs through the Qt prompter into the installed views,
  // and the selector's "Normalize..." raises its own dialog on top.
  GridwiseDialogHooks hooks;
  installGridwiseDialogViews(hooks);
  setGridwiseDialogHooks(hooks);
  platform::QtPrompter qtPrompter;
  platform::PrompterScope scope(qtPrompter);

  ColumnSelectionRequest request({"a", "b", "c"}, ColumnChoice::initial(3));
  request.select(std::vector<std::int32_t>{1});
  QString nestedTitle;
  const int answer =
      dialog_test::whileModal([&] { return platform::prompter().runModal(request); },
                              [&](QDialog& selector) {
                                dialog_test::whileModal(
                                    [&] {
                                      dialog_test::button(selector, "Normalize...")->click();
                                      return 0;
                                    },
                                    [&](QDialog& normalisation) {
                                      nestedTitle = normalisation.windowTitle();
                                      normalisation.findChildren<QRadioButton*>()[1]->setChecked(true);
                                      pressOk(normalisation);
                                    });
                                pressOk(selector);
                              });
  setGridwiseDialogHooks({});
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(nestedTitle, "Inputs normalization");
  EXPECT_EQ(request.choice().kinds, std::vector<NormalisationKind>(3, NormalisationKind::MeanVariance));
  EXPECT_EQ(request.selected(), (std::vector<std::int32_t>{1}));
}

}  // namespace
