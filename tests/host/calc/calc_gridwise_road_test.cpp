// Gridwise on a running Calc: iris read from Calc is the table our host reads, and the map's
// output (IDs, row letters, column numbers) lands in Calc's sheet exactly as in ours.
#include <gtest/gtest.h>

#include "host/calc/calc_objects.h"
#include "tests/host/calc/calc_test_office.h"
#include "tests/kohonen/workbench/session_fixture.h"

namespace gridwise_test {
namespace {

using calc_test::objectOf;
using platform::Variant;

class CalcGridwiseRoadTest : public GridwiseSessionTest {
 protected:
  void SetUp() override {
    GridwiseSessionTest::SetUp();
    CALC_TEST_REQUIRE_OFFICE();
    office = calc_test::sharedOffice().office();
    calc = platform::makeRef<host::calc::CalcApplication>(office);
    calc->addLibrary([](const char* name) { return bridge_test::toolExport(name); });
    book = office->newDocument();
    // The Application's active workbook is this test's, whichever the office calls current.
    office->setActiveDocument(book);
  }
  void TearDown() override {
    if (office && office->alive()) office->setActiveDocument({});
    GridwiseSessionTest::TearDown();
  }
  platform::RefPtr<platform::Dispatch> calcSheet(const std::string& name) {
    return objectOf(objectOf(calc.get(), "Workbooks", {Variant(book)}).get(), "Worksheets", {Variant(name)});
  }
  // The output of the session into the active sheet of the connection's host.
  void outputAt(const std::string& firstCell) {
    session->initOutputPlace();
    session->setOutputIds(true);
    session->setFirstCell(firstCell);
    prompter.answerMessage(IDYES);
    ASSERT_EQ(session->output(), OutputWriter::Outcome::Written);
  }

  std::shared_ptr<host::calc::CalcOffice> office;
  platform::RefPtr<host::calc::CalcApplication> calc;
  std::string book;
};

TEST_F(CalcGridwiseRoadTest, IrisReadAndMapOutputWrittenAsOnOurHost) {
  calc_test::copyToCalc(irisSheet(), calcSheet("Sheet1").get());
  office->select(book, "Sheet1", host::CellArea{1, 1, 1, 1});
  // The fixture read iris from our host with this choice; the same from Calc.
  DataSourceChoice choice;
  choice.columns = "A-I";
  choice.firstRow = 1;
  choice.lastRow = kIrisRows + 1;
  choice.namesInFirstRow = true;
  choice.rowIdsInFirstColumn = true;
  ExcelConnection& gridwise = connection(Tool::Gridwise);
  ASSERT_TRUE(gridwise.enter(calc.get()));
  RawTable fromCalc;
  ASSERT_TRUE(readRange(gridwise, calc.get(), choice, fromCalc));
  EXPECT_EQ(fromCalc.columnNames, table.columnNames);
  EXPECT_EQ(fromCalc.rowIds, table.rowIds);
  EXPECT_EQ(fromCalc.columns, table.columns);

  createIrisPatterns();
  createMap(4, 5);
  // Into the data's own sheet beside the data, on each host.
  ASSERT_TRUE(gridwise.enter(app()));
  outputAt("K2");
  ASSERT_TRUE(gridwise.enter(calc.get()));
  outputAt("K2");
  EXPECT_FALSE(gridwise.busy());
  EXPECT_EQ(irisSheet().usedArea()->right, 13);  // I, then K to M: ID, row letters, column
  calc_test::expectSameCells(irisSheet(), calcSheet("Sheet1").get());
}

}  // namespace
}  // namespace gridwise_test
