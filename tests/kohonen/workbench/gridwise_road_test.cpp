// The whole road of a Gridwise window, driven through its session: a real host with
// samples/iris.csv, the range reader, the selector, the principal components, the map, the
// project file and the output into the sheet.
#include <cstring>

#include "kohonen/engine/cell_index.h"
#include "kohonen/engine/principal_components.h"
#include "session_fixture.h"

namespace gridwise_test {
namespace {

using platform::Variant;

// The output of a session starting at (top, left) holds ID (when asked), row letters and
// column number of every row's winner.
void expectOutputAt(const host::Sheet& sheet, const GridwiseSession& s, std::int32_t top, std::int32_t left,
                    bool ids, const std::function<CellPos(std::int32_t)>& winner) {
  const std::int32_t n = s.dataSet().rows();
  for (std::int32_t i = 0; i < n; ++i) {
    std::int32_t c = left;
    if (ids) {
      EXPECT_EQ(sheet.value(top + i, c++), Variant(s.table().rowIds[static_cast<std::size_t>(i)])) << i;
    }
    const CellPos cell = winner(i);
    EXPECT_EQ(sheet.value(top + i, c++), Variant(kohonen::rowLetters(cell.row))) << i;
    EXPECT_EQ(sheet.value(top + i, c), Variant(static_cast<double>(cell.column + 1))) << i;
  }
  // Nothing below the table (the sheet's own data lies beside it).
  EXPECT_TRUE(sheet.value(top + n, left).isEmpty());
}

TEST_F(GridwiseSessionTest, IrisFromPatternsToSheetAndThroughAProjectFile) {
  RecordingObserver observer;
  session->addObserver(observer);
  EXPECT_EQ(session->networkLines(), (std::vector<std::string>{"Net doesn't exist", ""}));
  EXPECT_EQ(session->componentLines(), (std::vector<std::string>{"", ""}));
  EXPECT_FALSE(session->canCreateNetwork());

  createIrisPatterns();
  // Standardised iris: the first two components are known to hold 72.96 % + 22.85 % of the
  // variance, so the 90 % rule keeps two of them and the page shows 95 %.
  ASSERT_TRUE(preselected.has_value());
  EXPECT_EQ(*preselected, 1);
  ASSERT_EQ(analyzerCurve.size(), 4u);
  EXPECT_NEAR(analyzerCurve[0] / analyzerCurve[3], 0.7296, 5e-4);
  EXPECT_NEAR(analyzerCurve[1] / analyzerCurve[3], 0.9581, 5e-4);
  EXPECT_EQ(session->componentLines(), (std::vector<std::string>{"Number of PC's: 2", "Info percent: 95"}));
  EXPECT_EQ(
      session->patternLines(),
      (std::vector<std::string>{
          "sepal_length_cm (Mean/Variance normalization)", "sepal_width_cm (Mean/Variance normalization)",
          "petal_length_cm (Mean/Variance normalization)", "petal_width_cm (Mean/Variance normalization)"}));
  EXPECT_EQ(session->dataSet().workingMatrix().Cols(), 2);
  EXPECT_TRUE(observer.all() & kPatternsChanged);
  EXPECT_TRUE(observer.all() & kComponentsChanged);
  // The decomposition ran under the plain progress window.
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back()->variant, ProgressVariant::GridwisePlain);
  EXPECT_EQ(progress.back()->texts, std::vector<std::string>{kPcProgressText});

  createMap(5, 5);
  EXPECT_EQ(offeredSize, std::make_pair(10, 10));
  EXPECT_EQ(session->networkLines(), (std::vector<std::string>{"Number of rows: 5", "Number of columns: 5"}));
  EXPECT_EQ(session->lastTraining().passes, 2000);
  EXPECT_FALSE(session->lastTraining().cancelled);
  EXPECT_TRUE(observer.all() & kNetChanged);
  ASSERT_EQ(progress.back()->variant, ProgressVariant::GridwiseCancellable);
  EXPECT_EQ(progress.back()->positions.front(), 0);
  EXPECT_EQ(progress.back()->positions.back(), 99);  // pass 1995, the last multiple of 5
  EXPECT_TRUE(progress.back()->closed);
  // The cell index is built for every row, from the trained map.
  ASSERT_EQ(session->cellIndex().dataRowCount(), kIrisRows);
  for (std::int32_t i = 0; i < kIrisRows; ++i)
    EXPECT_EQ(session->cellIndex().cellOf(i), winnerOf(*session, i));
  // A 5 × 5 map spreads 150 flowers over more than a handful of cells.
  int used = 0;
  for (std::int32_t r = 0; r < 5; ++r)
    for (std::int32_t c = 0; c < 5; ++c) used += session->cellIndex().count(r, c) > 0;
  EXPECT_GT(used, 10);

  session->initOutputPlace();
  session->setOutputIds(true);
  // IT1 is column 254: with IDs the table reaches 256 and fits; IU1 does not.
  session->setFirstCell("IU1");
  prompter.answerMessage(IDYES);
  expectMessages(1);
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Refused);
  EXPECT_EQ(lastMessage().text, "The number of columns is greater than maximum value!");
  EXPECT_EQ(lastMessage().caption, "Gridwise");
  EXPECT_EQ(lastMessage().icon(), MB_ICONINFORMATION);

  session->setFirstCell("IT1");
  prompter.answerMessage(IDYES);
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Written);
  expectOutputAt(irisSheet(), *session, 1, 254, true, [&](std::int32_t i) { return winnerOf(*session, i); });

  session->setFirstCell("B2");
  prompter.answerMessage(IDYES);
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Written);
  const auto question = prompter.messages().back();
  EXPECT_EQ(question.text, "Output data to Excel?");
  EXPECT_EQ(question.flags, MB_YESNO | MB_ICONQUESTION);
  expectOutputAt(irisSheet(), *session, 2, 2, true, [&](std::int32_t i) { return winnerOf(*session, i); });

  // Save, then load into a fresh session over the same table.
  lumivane::test::TempDir dir;
  const std::string path = dir.file("iris.gwp");
  prompter.answerFile(path);
  ASSERT_TRUE(session->saveProject());
  const auto request = prompter.lastFileRequest();
  ASSERT_TRUE(request);
  EXPECT_TRUE(request->save);
  EXPECT_EQ(request->fileName, "Untitled.gwp");
  EXPECT_EQ(request->filter, "Gridwise projects (*.gwp)|*.gwp||");
  EXPECT_TRUE(request->overwritePrompt);

  GridwiseSession loaded(table, connection(Tool::Gridwise));
  prompter.answerFile(path);
  ASSERT_TRUE(loaded.loadProject());
  EXPECT_TRUE(loaded.hasPatterns());
  ASSERT_TRUE(loaded.hasNet());
  EXPECT_FALSE(prompter.lastFileRequest()->save);
  EXPECT_TRUE(prompter.lastFileRequest()->mustExist);
  const std::vector<double> before = allWeights(*session->net()), after = allWeights(*loaded.net());
  ASSERT_EQ(before.size(), after.size());
  EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * sizeof(double)), 0);
  EXPECT_EQ(loaded.componentLines(), session->componentLines());
  EXPECT_EQ(loaded.patternLines(), session->patternLines());
  EXPECT_EQ(loaded.networkLines(), session->networkLines());
  // The loaded selection is where the selector starts next time.
  EXPECT_EQ(loaded.columnChoice().selected, (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_TRUE(loaded.columnChoice().extractComponents);
  EXPECT_EQ(loaded.columnChoice().kinds[0], NormalisationKind::MeanVariance);

  // The loaded session writes the same cells as the one that trained the map.
  loaded.initOutputPlace();
  loaded.setOutputIds(true);
  loaded.setFirstCell("G2");
  prompter.answerMessage(IDYES);
  EXPECT_EQ(loaded.output(), OutputWriter::Outcome::Written);
  for (std::int32_t i = 0; i < kIrisRows; ++i)
    for (std::int32_t j = 0; j < 3; ++j)
      EXPECT_EQ(irisSheet().value(2 + i, 7 + j), irisSheet().value(2 + i, 2 + j));
  session->removeObserver(observer);
}

TEST_F(GridwiseSessionTest, VersionSevenWritesIdsThenCellNamesCellByCell) {
  startIris(7, 100);
  scriptSelector({0, 1, 2, 3}, 2, false);
  ASSERT_TRUE(session->createPatterns());
  EXPECT_EQ(session->componentLines(),
            (std::vector<std::string>{"PCs are not supported", "Info percent: 100"}));
  createMap(3, 4);
  session->initOutputPlace();

  // 100 rows end at 16384 from 16285 and one row too far from 16286.
  session->setFirstCell("A16286");
  prompter.answerMessage(IDYES);
  expectMessages(1);
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Refused);
  EXPECT_EQ(lastMessage().text, "The number of rows is greater than maximum value!");
  EXPECT_EQ(lastMessage().icon(), MB_ICONINFORMATION);

  session->setOutputIds(true);
  session->setFirstCell("c16285");
  prompter.answerMessage(IDYES);
  const std::size_t windowsBefore = progress.size();
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Written);
  expectOutputAt(irisSheet(), *session, 16285, 3, true,
                 [&](std::int32_t i) { return winnerOf(*session, i); });
  ASSERT_EQ(progress.size(), windowsBefore + 1);
  const bridge_test::ProgressRecord& p = *progress.back();
  EXPECT_EQ(p.variant, ProgressVariant::GridwiseOutput);
  EXPECT_TRUE(p.foreground);
  EXPECT_EQ(p.texts, (std::vector<std::string>{"Writing IDs ...", "Writing cell names ..."}));
  // Each pass: 0 %, every tenth row, and 100 % at its end.
  EXPECT_EQ(std::count(p.positions.begin(), p.positions.end(), 100), 4);
  EXPECT_EQ(p.positions.front(), 0);
  EXPECT_TRUE(p.closed);
  EXPECT_FALSE(connection(Tool::Gridwise).busy());
}

TEST_F(GridwiseSessionTest, AnOutputStartedDuringAnotherWriteFollowsIt) {
  scriptSelector({0, 1, 2, 3}, -1, false);
  ASSERT_TRUE(session->createPatterns());
  createMap(2, 2);
  session->initOutputPlace();
  session->setFirstCell("K1");
  // Another window's write is in progress when this session's Output is pressed.
  bridge_test::RecordingRequest other(connection(Tool::Gridwise), "iris.csv", "iris");
  OutputWriter::Outcome during = OutputWriter::Outcome::Refused;
  other.during = [&] {
    prompter.answerMessage(IDYES);
    during = session->output();
    EXPECT_TRUE(irisSheet().value(1, 11).isEmpty());  // not yet written
  };
  connection(Tool::Gridwise).CallOnHostThread(other);
  EXPECT_EQ(during, OutputWriter::Outcome::Queued);
  EXPECT_EQ(other.calls, std::vector<std::string>{"block"});
  expectOutputAt(irisSheet(), *session, 1, 11, false, [&](std::int32_t i) { return winnerOf(*session, i); });
  EXPECT_FALSE(connection(Tool::Gridwise).busy());
}

TEST_F(GridwiseSessionTest, WithoutIdsTheLastColumnIsTheLimit) {
  scriptSelector({0, 1}, -1, false);
  ASSERT_TRUE(session->createPatterns());
  createMap(2, 2);
  session->initOutputPlace();
  session->setFirstCell("IU1");
  prompter.answerMessage(IDYES);
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Written);
  expectOutputAt(irisSheet(), *session, 1, 255, false, [&](std::int32_t i) { return winnerOf(*session, i); });
  session->setFirstCell("IV1");
  prompter.answerMessage(IDYES);
  expectMessages(1);
  EXPECT_EQ(session->output(), OutputWriter::Outcome::Refused);
  EXPECT_EQ(lastMessage().text, "The number of columns is greater than maximum value!");
}

}  // namespace
}  // namespace gridwise_test
