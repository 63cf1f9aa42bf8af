// Vantor on a running Calc: the data source read from Calc's selection is the table our own host
// reads, and the trained network's output lands in Calc cell for cell as it lands in our sheet.
#include <gtest/gtest.h>

#include "host/calc/calc_objects.h"
#include "mlp/workbench/vantor_session.h"
#include "shared/range_reader.h"
#include "tests/host/calc/calc_test_office.h"
#include "tests/mlp/workbench/session_test_support.h"
#include "tests/shared/excel_test_support.h"

namespace lumivane::test {
namespace {

using calc_test::objectOf;
using platform::Variant;

// wine.csv without its ID column: 13 measurements, the cultivar, three indicator columns.
constexpr int kMeasurements = 13;
constexpr int kFirstIndicator = 14;
constexpr int kCultivars = 3;

class CalcVantorRoadTest : public SessionFixtureOn<bridge_test::BridgeTest> {
 protected:
  void SetUp() override {
    SessionFixtureOn<bridge_test::BridgeTest>::SetUp();
    CALC_TEST_REQUIRE_OFFICE();
    office = calc_test::sharedOffice().office();
    calc = platform::makeRef<host::calc::CalcApplication>(office);
    calc->addLibrary([](const char* name) { return bridge_test::toolExport(name); });
    book = office->newDocument();
    // The Application's active workbook is this test's, whichever the office calls current.
    office->setActiveDocument(book);
    office->addSheet(book, "Results");
  }
  void TearDown() override {
    if (office && office->alive()) office->setActiveDocument({});
    SessionFixtureOn<bridge_test::BridgeTest>::TearDown();
  }
  platform::RefPtr<platform::Dispatch> calcSheet(const std::string& name) {
    return objectOf(objectOf(calc.get(), "Workbooks", {Variant(book)}).get(), "Worksheets", {Variant(name)});
  }
  static OutputPlace placeOn(const std::string& workbook, const std::string& firstCell) {
    OutputPlace place;
    place.useActive = false;
    place.workbooks = {workbook};
    place.selectedWorkbook = 0;
    place.worksheets = {"Results"};
    place.selectedWorksheet = 0;
    place.firstCell = firstCell;
    return place;
  }

  std::shared_ptr<host::calc::CalcOffice> office;
  platform::RefPtr<host::calc::CalcApplication> calc;
  std::string book;
};

TEST_F(CalcVantorRoadTest, SelectionReadAndAllDataWrittenAsOnOurHost) {
  // The same wine table in our host and in Calc, selected in Calc without its ID column.
  host::Workbook& wine = host->model().open(samplePath("wine.csv"));
  const host::Sheet& data = wine.sheet(0);
  const auto used = data.usedArea();
  ASSERT_TRUE(used);
  calc_test::copyToCalc(data, calcSheet("Sheet1").get());
  office->select(book, "Sheet1", host::CellArea{used->top, used->left + 1, used->bottom, used->right});

  ExcelConnection& vantor = connection(Tool::Vantor);
  ASSERT_TRUE(vantor.enter(calc.get()));
  const DataSourceChoice choice = dataSourceDefaults(vantor, calc.get());
  EXPECT_EQ(choice.columns, "B-R");
  EXPECT_EQ(choice.firstRow, used->top);
  EXPECT_EQ(choice.lastRow, used->bottom);
  RawTable fromCalc;
  ASSERT_TRUE(readRange(vantor, calc.get(), choice, fromCalc));
  ASSERT_TRUE(vantor.enter(app()));
  RawTable fromOurs;
  ASSERT_TRUE(readRange(vantor, app(), choice, fromOurs));
  EXPECT_EQ(fromCalc.columnNames, fromOurs.columnNames);
  EXPECT_EQ(fromCalc.rowCount, fromOurs.rowCount);
  EXPECT_EQ(fromCalc.columns, fromOurs.columns);

  // One trained network, its output written to both hosts.
  const bool trains = listKestrel();
  table = fromCalc;
  open(table);
  selectInputs(columnNames(table, 0, kMeasurements), "Mean / Variance");
  selectOutputs(columnNames(table, kFirstIndicator, kCultivars), "(-1, +1) normalization");
  createNetwork([](NetworkConstructorDialog& d) { d.rows[0].neurons = 6; });
  if (trains) {
    setCriteria({1, 29, 0.0f, 0.0f});
    trainToEnd();
  }
  wine.addSheet("Results");
  OutputPlace ours = placeOn(wine.name(), "C3");
  ASSERT_EQ(session->Output(ours, OutputKind::AllData), OutputWriter::Outcome::Written);
  ASSERT_TRUE(vantor.enter(calc.get()));
  OutputPlace theirs = placeOn(book, "C3");
  ASSERT_EQ(session->Output(theirs, OutputKind::AllData), OutputWriter::Outcome::Written);
  EXPECT_FALSE(vantor.busy());

  const host::Sheet& results = *wine.findSheet("Results");
  ASSERT_TRUE(results.usedArea());
  EXPECT_EQ(results.usedArea()->rows(), table.rowCount + 1);  // the header and every row
  calc_test::expectSameCells(results, calcSheet("Results").get());
}

}  // namespace
}  // namespace lumivane::test
