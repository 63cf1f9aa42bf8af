// The batch program against the desktop road: the same choices, made once through the sessions'
// commands with scripted dialogs as the windows make them (in this process, the generator
// restarted as a new process starts it) and once by lumivane-batch in a child process, give the
// same project and network bytes and the same cells in the sheet.

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/selector_request.h"
#include "tests/batch/batch_equivalence_support.h"

namespace batch_test {
namespace {

TEST_F(BatchEquivalenceTest, GridwiseProjectAndCellsAreTheDesktops) {
  // --- the desktop road
  platform::crtSrand(1);
  host->model().open(samplePath("iris.csv"));
  DataSourceChoice choice;
  choice.columns = "A-I";
  choice.firstRow = 1;
  choice.lastRow = 151;
  choice.rowIdsInFirstColumn = true;
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Gridwise), app(), choice, table));
  GridwiseSession session(table, connection(Tool::Gridwise));
  session.openSheet();
  TrainingSettings settings;
  settings.iterations = 300;
  settings.initialStiffness = 1.5;
  session.applyPreferences(settings, session.palette());

  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
    r.deselectAll();
    const std::int32_t measurements[] = {0, 1, 2, 3};
    r.select(measurements);
    r.normaliseCommand();
    r.setExtractComponents(true);
    return IDOK;
  });
  prompter.answerModal([](ModalDialog& d) {
    dynamic_cast<NormalisationRequest&>(d).button = 3;  // tanh
    return IDOK;
  });
  prompter.answerModal([](ModalDialog& d) {
    dynamic_cast<PcAnalyzerRequest&>(d).selectedEntry = 2;  // three components
    return IDOK;
  });
  ASSERT_TRUE(session.createPatterns());
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<NetworkSizeRequest&>(d);
    r.rows = 4;
    r.columns = 6;
    return IDOK;
  });
  ASSERT_TRUE(session.createNetwork());
  prompter.answerFile(desktop.file("iris.gwp"));
  ASSERT_TRUE(session.saveProject());
  session.initOutputPlace();
  session.setUseActiveSheet(false);
  session.selectWorkbook(0);  // Data.xlsx, opened first
  session.selectWorksheet(0);
  session.setFirstCell("B2");
  session.setOutputIds(true);
  prompter.answerMessage(IDYES);  // "Output data to Excel?"
  ASSERT_EQ(session.output(), OutputWriter::Outcome::Written);

  // --- the batch run
  const ProcessResult r = runBatch({"gridwise",
                                    "--quiet",
                                    "--data",
                                    samplePath("iris.csv"),
                                    "--row-ids",
                                    "--select",
                                    "sepal_length_cm,sepal_width_cm,petal_length_cm,petal_width_cm",
                                    "--norm",
                                    "tanh",
                                    "--pcs",
                                    "3",
                                    "--map-rows",
                                    "4",
                                    "--map-columns",
                                    "6",
                                    "--iterations",
                                    "300",
                                    "--stiffness",
                                    "1.5",
                                    "--save-project",
                                    "iris.gwp",
                                    "--output",
                                    "cells.xlsx:Cells!B2",
                                    "--output-ids"},
                                   batch.path(), logs.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The confirmation of the output is the one box, a question, which --quiet does not print.
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readAll(batch.path() / "iris.gwp"), readAll(desktop.path() / "iris.gwp"));
  EXPECT_EQ(readAll(batch.path() / "iris.gwp").substr(0, 4), "MLP1");
  // ID, row letters and column number of each of the 150 flowers.
  expectSameCells(host->model().workbook(0).sheet(0), batch.file("cells.xlsx"), 2, 2, 151, 4);
}

}  // namespace
}  // namespace batch_test
