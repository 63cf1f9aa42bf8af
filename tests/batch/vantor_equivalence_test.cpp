// The batch program against the desktop road: the same choices, made once through the sessions'
// commands with scripted dialogs as the windows make them (in this process, the generator
// restarted as a new process starts it) and once by lumivane-batch in a child process, give the
// same project and network bytes and the same cells in the sheet.

#include <QLineEdit>
#include <thread>

#include "mlp/workbench/vantor_session.h"
#include "plugins/rprop/rprop_parameters_dialog.h"
#include "tests/batch/batch_equivalence_support.h"

namespace batch_test {
namespace {

// wine.csv read from column B: 13 measurements, the cultivar, three indicators.
const std::vector<std::string> kWineInputs = {
    "alcohol",         "malic_acid",      "ash",        "alcalinity_of_ash",
    "magnesium",       "total_phenols",   "flavanoids", "nonflavanoid_phenols",
    "proanthocyanins", "color_intensity", "hue",        "od280_od315_of_diluted_wines",
    "proline"};
const std::vector<std::string> kWineOutputs = {"is_cultivar1", "is_cultivar2", "is_cultivar3"};

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ",") + n;
  return s;
}

TEST_F(BatchEquivalenceTest, VantorProjectNetworkAndAnswersAreTheDesktops) {
  // --- the desktop road
  platform::crtSrand(1);
  host->model().open(samplePath("wine.csv"));
  DataSourceChoice choice;
  choice.columns = "B-R";
  choice.firstRow = 1;
  choice.lastRow = 179;
  RawTable table;
  ASSERT_TRUE(readRange(entered(Tool::Vantor), app(), choice, table));
  auto session = std::make_unique<VantorSession>(table, std::string(BATCH_LIBRARY_DIR));
  ASSERT_TRUE(session->Initialise());

  auto columns = [&](const std::vector<std::string>& names, NormalisationKind kind) {
    prompter.answerModal([names](ModalDialog& d) {
      auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
      dialog.choose(names);
      EXPECT_TRUE(dialog.normalise());
      return IDOK;
    });
    prompter.answerModal([kind](ModalDialog& d) {
      auto& n = dynamic_cast<NormalisationDialog&>(d);
      for (std::size_t i = 0; i < n.options().size(); ++i)
        if (n.options()[i].kind == kind) n.selected = static_cast<int>(i);
      return IDOK;
    });
  };
  columns(kWineInputs, NormalisationKind::MeanVariance);
  ASSERT_TRUE(session->SelectInputs());
  columns(kWineOutputs, NormalisationKind::MinMax);
  ASSERT_TRUE(session->SelectOutputs());
  prompter.answerModal([](ModalDialog& d) {
    auto& t = dynamic_cast<TestSetDialog&>(d);
    t.mode = TestSetMode::RandomTestSet;
    t.testCount = 40;
    return t.accept() ? IDOK : platform::IDCANCEL;
  });
  ASSERT_TRUE(session->EditTestSet());
  prompter.answerModal([](ModalDialog& d) {
    auto& n = dynamic_cast<NetworkConstructorDialog&>(d);
    n.rows[0].neurons = 6;
    n.rows[0].orderIndex = 1;
    n.rows[1].functionIndex = 1;
    return n.accept() ? IDOK : platform::IDCANCEL;
  });
  ASSERT_TRUE(session->CreateNetwork());
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<RpropParametersDialog&>(d);
    r.field(RpropParametersDialog::Initial)->setText("0.05");
    r.field(RpropParametersDialog::Increase)->setText("1.1");
    r.accept();
    return r.result() == QDialog::Accepted ? IDOK : platform::IDCANCEL;
  });
  ASSERT_TRUE(session->EditAlgorithm());
  prompter.answerModal([](ModalDialog& d) {
    dynamic_cast<StoppingCriteriaDialog&>(d).criteria = {1, 59, 0.0f, 0.0f};
    return IDOK;
  });
  ASSERT_TRUE(session->EditStoppingCriteria());
  ASSERT_TRUE(session->StartTraining());
  while (session->isTraining()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(session->WaitForTrainingEnd());
  ASSERT_EQ(session->EpochText(), "60");
  prompter.answerFile(desktop.file("wine.mlp"));
  ASSERT_TRUE(session->SaveNetwork());
  prompter.answerFile(desktop.file("wine.vtp"));
  ASSERT_TRUE(session->SaveProject());
  OutputPlace place;
  place.useActive = false;
  place.workbooks = {"Data.xlsx"};
  place.selectedWorkbook = 0;
  place.worksheets = {"Sheet1"};
  place.selectedWorksheet = 0;
  place.firstCell = "C3";
  ASSERT_EQ(session->Output(place, OutputKind::AllData), OutputWriter::Outcome::Written);
  session.reset();

  // --- the batch run
  const ProcessResult r = runBatch({"vantor",         "--quiet",  "--data",     samplePath("wine.csv"),
                                    "--columns",      "B-R",      "--inputs",   joined(kWineInputs),
                                    "--input-norm",   "meanvar",  "--outputs",  joined(kWineOutputs),
                                    "--output-norm",  "minmax",   "--test-set", "random",
                                    "--test-count",   "40",       "--net",      "6t2,3l1",
                                    "--initial-step", "0.05",     "--increase", "1.1",
                                    "--epochs",       "60",       "--save-net", "wine.mlp",
                                    "--save-project", "wine.vtp", "--output",   "answers.xlsx!C3",
                                    "--all-data"},
                                   batch.path(), logs.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");  // quiet, and no box was shown

  EXPECT_EQ(readAll(batch.path() / "wine.mlp"), readAll(desktop.path() / "wine.mlp"));
  EXPECT_EQ(readAll(batch.path() / "wine.vtp"), readAll(desktop.path() / "wine.vtp"));
  // The program links both tools; each keeps its own project magic.
  EXPECT_EQ(readAll(batch.path() / "wine.vtp").substr(0, 4), std::string("VT\x03\x00", 4));
  // Header row, then 178 rows of 13 inputs, 3 outputs and 3 answers from C3.
  expectSameCells(host->model().workbook(0).sheet(0), batch.file("answers.xlsx"), 3, 3, 3 + 178,
                  3 + 13 + 6 - 1);
}

}  // namespace
}  // namespace batch_test
