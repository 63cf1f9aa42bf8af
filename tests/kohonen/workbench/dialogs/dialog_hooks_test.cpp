// The installed hooks: each shows its dialog modally and answers IDOK or IDCANCEL as it closed.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences_request.h"
#include "kohonen/workbench/qt/dialogs/gridwise_dialogs.h"
#include "kohonen/workbench/selector_request.h"
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

}  // namespace
