// The output of answers against the host's workbook model: the table of the Output page, the
// sheet's refusals in their order, and the whole road from columns to trained answers.

#include "mlp/workbench/vantor_output.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "mlp/engine/network_file.h"
#include "mlp/workbench/vantor_session.h"
#include "tests/mlp/workbench/session_test_support.h"
#include "tests/shared/excel_test_support.h"

namespace lumivane::test {
namespace {

using platform::MB_ICONINFORMATION;
using platform::MB_OK;
using platform::MB_SYSTEMMODAL;
using platform::Variant;

// wine.csv after its ID column: 13 measurements, the cultivar, three indicator columns.
constexpr int kWineMeasurements = 13;
constexpr int kWineFirstIndicator = 14;
constexpr int kCultivars = 3;

class VantorOutputTest : public SessionFixtureOn<bridge_test::BridgeTest> {
 protected:
  void SetUp() override {
    SessionFixtureOn<bridge_test::BridgeTest>::SetUp();
    entered(Tool::Vantor);
    host->model().workbook(0).addSheet("Results");
  }
  // The place the page hands over: a named sheet of Data.xlsx.
  static OutputPlace placeOn(const std::string& sheetName, const std::string& firstCell) {
    OutputPlace place;
    place.useActive = false;
    place.workbooks = {"Data.xlsx"};
    place.selectedWorkbook = 0;
    place.worksheets = {sheetName};
    place.selectedWorksheet = 0;
    place.firstCell = firstCell;
    return place;
  }
  host::Sheet& results() { return *host->model().workbook(0).findSheet("Results"); }
  // One refused output; returns the box.
  platform::ScriptedPrompter::Call refused(const std::string& firstCell, OutputKind kind) {
    OutputPlace place = placeOn("Results", firstCell);
    expectBox();
    EXPECT_EQ(session->Output(place, kind), OutputWriter::Outcome::Refused);
    return lastMessage();
  }
  static double number(const Variant& v) { return v.dblVal(); }
};

TEST_F(VantorOutputTest, TrainedAnswersClassifyTheWines) {
  if (!listKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  table = loadSampleTable("wine.csv");
  open(table);
  selectInputs(columnNames(table, 0, kWineMeasurements), "Mean / Variance");
  selectOutputs(columnNames(table, kWineFirstIndicator, kCultivars), "(-1, +1) normalization");
  createNetwork([](NetworkConstructorDialog& d) { d.rows[0].neurons = 8; });
  setCriteria({1, 299, 0.0f, 0.0f});
  trainToEnd();
  ASSERT_EQ(session->EpochText(), "300");

  OutputPlace place = placeOn("Results", "b2");
  ASSERT_EQ(session->Output(place, OutputKind::AllData), OutputWriter::Outcome::Written);
  EXPECT_EQ(place.firstCell, "B2");  // upper-cased as the page shows it
  const host::Sheet& sheet = results();
  const int n = table.rowCount, p = kWineMeasurements, q = kCultivars;
  EXPECT_EQ(sheet.value(2, 2), Variant("alcohol (Input)"));
  EXPECT_EQ(sheet.value(2, 2 + p - 1), Variant("proline (Input)"));
  EXPECT_EQ(sheet.value(2, 2 + p), Variant("is_cultivar1 (Output)"));
  EXPECT_EQ(sheet.value(2, 2 + p + q), Variant("is_cultivar1 (Predicted)"));
  EXPECT_EQ(sheet.value(2, 2 + p + 2 * q - 1), Variant("is_cultivar3 (Predicted)"));
  EXPECT_TRUE(sheet.value(2, 2 + p + 2 * q).isEmpty());
  EXPECT_TRUE(sheet.value(2 + n + 1, 2).isEmpty());
  EXPECT_TRUE(sheet.value(1, 2).isEmpty());

  int recognised = 0;
  std::vector<double> answer(q);
  for (int r = 0; r < n; ++r) {
    const int row = 3 + r;
    EXPECT_EQ(number(sheet.value(row, 2)), table.columns[0][static_cast<std::size_t>(r)]);
    EXPECT_EQ(number(sheet.value(row, 2 + p + 1)),
              table.columns[kWineFirstIndicator + 1][static_cast<std::size_t>(r)]);
    // The indicators were mapped from [0, 1] onto [-1, +1]: the answers come back the same way.
    session->run().WithModel([&](const TrainingModelView& view) {
      view.network->Answer(session->dataSet().inputRow(r), p, answer.data(), q);
    });
    std::vector<double> predicted(q), actual(q);
    for (int j = 0; j < q; ++j) {
      predicted[j] = number(sheet.value(row, 2 + p + q + j));
      actual[j] = table.columns[kWineFirstIndicator + j][static_cast<std::size_t>(r)];
      EXPECT_NEAR(predicted[j], (answer[j] + 1.0) / 2.0, 1e-12) << r << "," << j;
    }
    if (std::max_element(predicted.begin(), predicted.end()) - predicted.begin() ==
        std::max_element(actual.begin(), actual.end()) - actual.begin())
      ++recognised;
  }
  EXPECT_GE(recognised, 0.95 * n) << recognised << " of " << n;
  EXPECT_FALSE(connection(Tool::Vantor).busy());
}

TEST_F(VantorOutputTest, WithoutOutputsTheAnswersAreNumberedInNetworkUnits) {
  table = loadSampleTable("iris.csv");
  open(table);
  selectInputs(columnNames(table, 0, 4));
  createNetwork([](NetworkConstructorDialog& d) { d.rows[1].neurons = 2; });
  OutputPlace place = placeOn("Results", "A1");
  ASSERT_EQ(session->Output(place, OutputKind::AnswersOnly), OutputWriter::Outcome::Written);
  EXPECT_EQ(results().value(1, 1), Variant("Output 1 (Predicted)"));
  EXPECT_EQ(results().value(1, 2), Variant("Output 2 (Predicted)"));
  EXPECT_TRUE(results().value(1, 3).isEmpty());
  std::vector<double> answer(2);
  session->run().WithModel([&](const TrainingModelView& view) {
    view.network->Answer(session->dataSet().inputRow(149), 4, answer.data(), 2);
  });
  EXPECT_EQ(number(results().value(151, 2)), answer[1]);
  EXPECT_TRUE(results().value(152, 1).isEmpty());
}

TEST_F(VantorOutputTest, RefusalsInTheirOrderAndTheSheetsEdges) {
  table = loadSampleTable("iris.csv");
  open(table);
  const unsigned flags = MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL;
  auto m = refused("A1", OutputKind::AnswersOnly);
  EXPECT_EQ(m.text, "Create the network first!");
  EXPECT_EQ(m.caption, "Vantor 3");
  EXPECT_EQ(m.flags, flags);
  createNetwork();
  EXPECT_EQ(refused("A1", OutputKind::AnswersOnly).text, "Create the data set first!");
  expectBox(platform::IDYES);  // the destroy warning
  selectInputs(columnNames(table, 0, 4));
  selectOutputs(columnNames(table, 5, 3));
  // A network whose outputs do not fit would fail on every row: refused before writing.
  createNetwork();
  const int counts[] = {3, 1};
  const int orders[] = {1, 1};
  const char codes[] = {'t', 'l'};
  ASSERT_TRUE(saveNetworkFile(Perceptron(2, 2, counts, orders, codes), work.file("small.mlp")).ok());
  expectBox(platform::IDYES);
  answerFile(work.file("small.mlp"));
  expectMessages(2);  // both size warnings
  ASSERT_TRUE(session->LoadNetwork());
  EXPECT_EQ(refused("A1", OutputKind::AnswersOnly).text,
            "Number of network inputs isn't equal to data inputs dimension!");
  const int fourInputs[] = {3, 1};
  ASSERT_TRUE(saveNetworkFile(Perceptron(4, 2, fourInputs, orders, codes), work.file("outputs.mlp")).ok());
  expectBox(platform::IDYES);
  answerFile(work.file("outputs.mlp"));
  expectBox();
  ASSERT_TRUE(session->LoadNetwork());
  EXPECT_EQ(refused("A1", OutputKind::AnswersOnly).text,
            "Number of network outputs isn't equal to data outputs dimension!");
  createNetwork();

  EXPECT_EQ(refused("A0", OutputKind::AnswersOnly).text, "Row number must be over zero!");
  EXPECT_EQ(refused("AAA1", OutputKind::AnswersOnly).text,
            "Output range is over the maximal number of columns in MS Excel!");
  // All data is 4 + 2·3 = 10 columns wide: from IM it ends in column 256, from IN one beyond.
  EXPECT_EQ(refused("IN1", OutputKind::AllData).text,
            "Output range is over the maximal number of columns in MS Excel!");
  // 150 rows below the header: from row 65386 the table ends in the last row.
  EXPECT_EQ(refused("A65387", OutputKind::AnswersOnly).text,
            "Output range is over the maximal number of rows in MS Excel!");
  EXPECT_EQ(refused("5B", OutputKind::AnswersOnly).text,
            "You have specified bad first cell location.\nCheck it and try once again.");
  EXPECT_FALSE(results().usedArea());

  OutputPlace corner = placeOn("Results", "IM65386");
  ASSERT_EQ(session->Output(corner, OutputKind::AllData), OutputWriter::Outcome::Written);
  EXPECT_EQ(results().value(65386, 256), Variant("is_virginica (Predicted)"));
  EXPECT_EQ(number(results().value(65536, 247)), table.columns[0][149]);
  EXPECT_FALSE(connection(Tool::Vantor).busy());
}

}  // namespace
}  // namespace lumivane::test
