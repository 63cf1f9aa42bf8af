#include "shared/output_writer.h"

#include <gtest/gtest.h>

#include "excel_test_support.h"

namespace bridge_test {
namespace {

using platform::IDNO;
using platform::IDYES;
using platform::MB_ICONERROR;
using platform::MB_ICONINFORMATION;
using platform::MB_SYSTEMMODAL;
using platform::Variant;

// A table whose cell (i, j) holds 100·i + j, with a text in its top-left corner.
class TableWriter final : public OutputWriter {
 public:
  TableWriter(ExcelConnection& connection, std::int32_t rows, std::int32_t columns)
      : OutputWriter(connection), rows_(rows), columns_(columns) {}
  std::int32_t tableRows() const override { return rows_; }
  std::int32_t tableColumns() const override { return columns_; }
  Variant cellValue(std::int32_t i, std::int32_t j) const override {
    return i == 0 && j == 0 ? Variant("corner") : Variant(100.0 * i + j);
  }
  std::string cellWriteText() const override { return "Writing cell names ..."; }

 private:
  std::int32_t rows_, columns_;
};

class OutputWriterTest : public BridgeTest {
 protected:
  OutputPlace activePlace(const std::string& firstCell) {
    OutputPlace place;
    place.firstCell = firstCell;
    return place;
  }
  // The table's cells are where they belong and the frame around it is empty.
  void expectTableAt(const host::Sheet& s, std::int32_t top, std::int32_t left, std::int32_t rows,
                     std::int32_t columns) {
    for (std::int32_t i = -1; i <= rows; ++i) {
      for (std::int32_t j = -1; j <= columns; ++j) {
        const Variant v = s.value(top + i, left + j);
        if (i < 0 || j < 0 || i == rows || j == columns)
          EXPECT_TRUE(v.isEmpty()) << i << "," << j;
        else if (i == 0 && j == 0)
          EXPECT_EQ(v, Variant("corner"));
        else
          EXPECT_EQ(v, Variant(100.0 * i + j)) << i << "," << j;
      }
    }
  }
  // Runs output() expecting the Gridwise question (answered Yes) and one refusal, returned.
  platform::ScriptedPrompter::Call refusedGridwise(OutputWriter& writer, OutputPlace place) {
    prompter.answerMessage(IDYES);
    expectMessages(1);
    EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Refused);
    return messages().back();
  }
};

TEST_F(OutputWriterTest, BlockOfThreeByTwoFromC5LandsInC5ToD7) {
  TableWriter writer(entered(Tool::Gridwise), 3, 2);
  OutputPlace place = activePlace("C5");
  prompter.answerMessage(IDYES);
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  expectTableAt(sheet(), 5, 3, 3, 2);
  EXPECT_EQ(messages()[0].text, "Output data to Excel?");
  EXPECT_EQ(messages()[0].buttons(), platform::MB_YESNO);
  EXPECT_EQ(messages()[0].icon(), platform::MB_ICONQUESTION);
  EXPECT_TRUE(progress.empty());  // one assignment, no progress window
  EXPECT_FALSE(connection(Tool::Gridwise).busy());
}

TEST_F(OutputWriterTest, CellByCellWritesTheSameCells) {
  startHost(7);
  TableWriter writer(entered(Tool::Gridwise), 3, 2);
  OutputPlace place = activePlace("c5");
  prompter.answerMessage(IDYES);
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  expectTableAt(sheet(), 5, 3, 3, 2);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0]->variant, ProgressVariant::GridwiseOutput);
  EXPECT_TRUE(progress[0]->foreground);
  EXPECT_EQ(progress[0]->texts, (std::vector<std::string>{"Writing cell names ..."}));
  EXPECT_EQ(progress[0]->positions, (std::vector<int>{100}));
  EXPECT_EQ(progress[0]->finishes, (std::vector<std::chrono::milliseconds>{kProgressFinishedPause}));
  EXPECT_TRUE(progress[0]->closed);
  EXPECT_EQ(place.firstCell, "c5");  // Gridwise leaves the page's text as typed
}

TEST_F(OutputWriterTest, CellByCellProgressEveryTenRows) {
  startHost(7);
  TableWriter writer(entered(Tool::Vantor), 25, 1);
  OutputPlace place = activePlace("A1");
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0]->variant, ProgressVariant::Vantor);
  EXPECT_EQ(progress[0]->positions, (std::vector<int>{40, 80, 100}));
  EXPECT_EQ(sheet().value(25, 1), Variant(2400.0));
}

TEST_F(OutputWriterTest, ChecksInTheirOrder) {
  TableWriter writer(entered(Tool::Gridwise), 100, 3);
  prompter.answerMessage(IDNO);
  OutputPlace place = activePlace("A1");
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Refused);
  EXPECT_EQ(messages().size(), 1u);

  OutputPlace empty;
  empty.useActive = false;
  empty.firstCell = "3B";
  auto m = refusedGridwise(writer, empty);  // both lists empty: the worksheet comes first
  EXPECT_EQ(m.text, "You have not specified worksheet!");
  EXPECT_EQ(m.caption, "Gridwise");
  EXPECT_EQ(m.icon(), MB_ICONINFORMATION);
  empty.worksheets = {"Sheet1"};
  EXPECT_EQ(refusedGridwise(writer, empty).text, "You have not specified workbook!");
  empty.workbooks = {"Data.xlsx"};
  EXPECT_EQ(refusedGridwise(writer, empty).text,
            "You have specified bad first cell location.\nCheck it and try once again.");
  EXPECT_EQ(refusedGridwise(writer, activePlace("A0")).text, "Row number must be over zero!");
  EXPECT_EQ(refusedGridwise(writer, activePlace("IU1")).text,
            "The number of columns is greater than maximum value!");
  EXPECT_EQ(refusedGridwise(writer, activePlace("A65438")).text,
            "The number of rows is greater than maximum value!");
  EXPECT_TRUE(sheet().usedArea() == std::nullopt);

  // The last column and the last row of the sheet are still inside.
  prompter.answerMessage(IDYES);
  place = activePlace("IT65437");
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  EXPECT_EQ(sheet().value(65536, 256), Variant(9902.0));
}

TEST_F(OutputWriterTest, Version7RowLimit) {
  startHost(7);
  TableWriter writer(entered(Tool::Gridwise), 100, 2);
  EXPECT_EQ(refusedGridwise(writer, activePlace("A16286")).text,
            "The number of rows is greater than maximum value!");
  prompter.answerMessage(IDYES);
  OutputPlace place = activePlace("A16285");
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  EXPECT_EQ(sheet().value(16384, 2), Variant(9901.0));
}

TEST_F(OutputWriterTest, VantorPageBoxesAndUpperCasing) {
  TableWriter writer(entered(Tool::Vantor), 3, 2);
  OutputPlace place;
  place.useActive = false;
  place.firstCell = "c5";
  expectMessages(2);
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Refused);
  place.workbooks = {"Data.xlsx"};
  place.worksheets = {"Sheet1"};
  place.firstCell = "5c";
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Refused);
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0].text, "You have not specified worksheet!");
  EXPECT_EQ(messages()[0].caption, "VANTOR3");
  EXPECT_EQ(messages()[0].flags, platform::MB_OK);
  EXPECT_EQ(messages()[1].caption, "");
  EXPECT_EQ(messages()[1].flags, platform::MB_OK);

  place.firstCell = "c5";
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  EXPECT_EQ(place.firstCell, "C5");
  expectTableAt(sheet(), 5, 3, 3, 2);
}

TEST_F(OutputWriterTest, TheActiveSheetIsReadAtTheMomentOfOutput) {
  ExcelConnection& c = entered(Tool::Vantor);
  OutputPlace place = activePlace("A1");
  fillActiveTarget(c, place);
  EXPECT_EQ(place.workbooks, (std::vector<std::string>{"Data.xlsx"}));
  EXPECT_FALSE(place.listsEnabled);
  host::Workbook& other = host->model().newWorkbook();  // becomes the active one
  TableWriter writer(c, 1, 1);
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  EXPECT_EQ(writer.workbookName, other.name());
  EXPECT_EQ(other.sheet(0).value(1, 1), Variant("corner"));
  EXPECT_TRUE(sheet().value(1, 1).isEmpty());
}

TEST_F(OutputWriterTest, FillingTheLists) {
  ExcelConnection& c = entered(Tool::Gridwise);
  host::Workbook& second = host->model().newWorkbook();
  second.setName("Results.xlsx");
  second.addSheet("Answers");
  OutputPlace place;
  fillAllTargets(c, place);
  EXPECT_TRUE(place.listsEnabled);
  EXPECT_EQ(place.workbooks, (std::vector<std::string>{"Data.xlsx", "Results.xlsx"}));
  EXPECT_EQ(place.selectedWorkbook, 0);
  EXPECT_EQ(place.worksheets, (std::vector<std::string>{"Sheet1"}));
  place.selectedWorkbook = 1;
  fillWorksheets(c, place);
  EXPECT_EQ(place.worksheets, (std::vector<std::string>{"Sheet1", "Answers"}));

  // A workbook closed since the list was made leaves it.
  place.workbooks = {"Gone.xlsx", "Results.xlsx"};
  place.selectedWorkbook = 0;
  fillWorksheets(c, place);
  EXPECT_EQ(place.workbooks, (std::vector<std::string>{"Results.xlsx"}));
  EXPECT_EQ(place.selectedWorkbook, 0);
  EXPECT_EQ(place.worksheets, (std::vector<std::string>{"Sheet1", "Answers"}));
  EXPECT_TRUE(messages().empty());
}

TEST_F(OutputWriterTest, CellByCellTargetGoneIsReportedAndReleasesTheHost) {
  startHost(7);
  for (Tool tool : {Tool::Gridwise, Tool::Vantor}) {
    ExcelConnection& c = entered(tool);
    TableWriter writer(c, 2, 2);
    OutputPlace place;
    place.useActive = false;
    place.workbooks = {"Gone.xlsx"};
    place.worksheets = {"Sheet1"};
    place.firstCell = "A1";
    if (tool == Tool::Gridwise) prompter.answerMessage(IDYES);
    expectMessages(1);
    EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
    const auto m = messages().back();
    EXPECT_EQ(m.text, "Unable to write data!");
    if (tool == Tool::Gridwise) {
      EXPECT_EQ(m.caption, "Gridwise");
      EXPECT_EQ(m.flags, platform::MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
    } else {
      EXPECT_EQ(m.caption, "VANTOR3");
      EXPECT_EQ(m.flags, platform::MB_OK);
    }
    EXPECT_FALSE(c.busy());
  }
}

TEST_F(OutputWriterTest, BlockTargetGoneEndsTheRequestWithTheHostsReason) {
  ExcelConnection& c = entered(Tool::Vantor);
  TableWriter writer(c, 2, 2);
  OutputPlace place;
  place.useActive = false;
  place.workbooks = {"Data.xlsx"};
  place.worksheets = {"Vanished"};
  place.firstCell = "A1";
  expectMessages(1);
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  EXPECT_NE(messages().back().text.find("Vanished"), std::string::npos);
  EXPECT_FALSE(c.busy());
  EXPECT_FALSE(sheet().usedArea());

  place.worksheets = {"Sheet1"};  // the next output goes through
  EXPECT_EQ(writer.output(place), OutputWriter::Outcome::Written);
  expectTableAt(sheet(), 1, 1, 2, 2);
}

TEST_F(OutputWriterTest, TwoWindowsOutputOneAfterTheOther) {
  ExcelConnection& c = entered(Tool::Vantor);
  TableWriter first(c, 2, 2), second(c, 2, 2);
  OutputPlace a = activePlace("A1"), b = activePlace("E1");
  EXPECT_EQ(first.output(a), OutputWriter::Outcome::Written);
  EXPECT_EQ(second.output(b), OutputWriter::Outcome::Written);
  expectTableAt(sheet(), 1, 1, 2, 2);
  expectTableAt(sheet(), 1, 5, 2, 2);
}

}  // namespace
}  // namespace bridge_test
