// Every guard of the Gridwise commands: the questions, the refusals and failures with their
// texts, captions and icons, and the state each leaves behind.
#include <filesystem>
#include <fstream>

#include "kohonen/engine/gridwise_project.h"
#include "kohonen/engine/training_run.h"
#include "kohonen/workbench/preferences_request.h"
#include "session_fixture.h"

namespace gridwise_test {
namespace {

namespace fs = std::filesystem;

// Checks the last message box against text, the Gridwise caption and the icon and buttons.
#define EXPECT_BOX(call, expectedText, expectedFlags) \
  do {                                                \
    const auto c_ = (call);                           \
    EXPECT_EQ(c_.text, expectedText);                 \
    EXPECT_EQ(c_.caption, "Gridwise");                \
    EXPECT_EQ(c_.flags, unsigned(expectedFlags));     \
  } while (false)

RawTable smallTable(std::int32_t columns, std::int32_t rows) {
  RawTable t;
  EXPECT_TRUE(t.allocate(columns, rows, true));
  for (std::int32_t c = 0; c < columns; ++c) {
    t.columnNames[static_cast<std::size_t>(c)] = "c" + std::to_string(c);
    for (std::int32_t r = 0; r < rows; ++r)
      t.columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = r * (c + 1);
  }
  t.loaded = true;
  return t;
}

TEST_F(GridwiseSessionTest, TablesOfOneRowOrOneColumnAreRefusedBeforeTheSelector) {
  const struct {
    std::int32_t columns, rows;
    const char* message;
  } cases[] = {{3, 1, "Data must contain more than one row!"},
               {1, 5, "Data must contain more than one column!"}};
  for (const auto& k : cases) {
    const RawTable t = smallTable(k.columns, k.rows);
    GridwiseSession s(t, connection(Tool::Gridwise));
    expectMessages(1);
    EXPECT_FALSE(s.createPatterns());
    EXPECT_BOX(lastMessage(), k.message, MB_ICONINFORMATION);
    EXPECT_FALSE(s.hasPatterns());
    EXPECT_EQ(s.dataSet().chosenCount(), 0);
  }
  // No selector was shown.
  for (const auto& call : prompter.calls()) EXPECT_NE(call.kind, platform::ScriptedPrompter::Kind::Modal);
}

TEST_F(GridwiseSessionTest, NewPatternsAskFirstAndKeepEverythingOnNoOrCancel) {
  createIrisPatterns();
  createMap(3, 3);
  const std::vector<double> weights = allWeights(*session->net());

  prompter.answerMessage(IDNO);
  EXPECT_FALSE(session->createPatterns());
  EXPECT_BOX(lastMessage(), "Current network and data will be destroyed! Continue?",
             MB_YESNO | MB_ICONQUESTION);
  // Yes, then Cancel in the selector: nothing is destroyed either.
  prompter.answerMessage(IDYES);
  scriptSelector({0}, -1, false, IDCANCEL);
  EXPECT_FALSE(session->createPatterns());
  // Yes, and OK with nothing selected (the dialog keeps OK disabled then) counts as Cancel.
  prompter.answerMessage(IDYES);
  scriptSelector({}, -1, false, IDOK);
  EXPECT_FALSE(session->createPatterns());

  EXPECT_TRUE(session->hasPatterns());
  ASSERT_TRUE(session->hasNet());
  EXPECT_EQ(allWeights(*session->net()), weights);
  EXPECT_EQ(session->componentLines(), (std::vector<std::string>{"Number of PC's: 2", "Info percent: 95"}));
}

TEST_F(GridwiseSessionTest, NewPatternsDestroyTheMapAndTheSelectorStartsFromThePreviousChoice) {
  createIrisPatterns();
  createMap(2, 3);
  RecordingObserver observer;
  session->addObserver(observer);

  prompter.answerMessage(IDYES);
  ColumnChoice offered;
  prompter.answerModal([&](ModalDialog& d) {
    auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
    offered = r.choice();
    r.deselect(std::vector<std::int32_t>{1, 2});
    r.setExtractComponents(false);
    return IDOK;
  });
  ASSERT_TRUE(session->createPatterns());
  EXPECT_EQ(offered.selected, (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_TRUE(offered.extractComponents);
  EXPECT_EQ(offered.kinds, std::vector<NormalisationKind>(kIrisColumns, NormalisationKind::MeanVariance));

  EXPECT_FALSE(session->hasNet());
  EXPECT_EQ(session->networkLines(), (std::vector<std::string>{"Net doesn't exist", ""}));
  EXPECT_TRUE(observer.all() & kNetChanged);
  EXPECT_FALSE(session->canSaveProject());
  EXPECT_EQ(session->patternLines(),
            (std::vector<std::string>{"sepal_length_cm (Mean/Variance normalization)",
                                      "petal_width_cm (Mean/Variance normalization)"}));
  EXPECT_EQ(session->componentLines(),
            (std::vector<std::string>{"PCs are not supported", "Info percent: 100"}));
  session->removeObserver(observer);
}

TEST_F(GridwiseSessionTest, ComponentsOfASingleColumnAreRefusedAndThePatternsStandUnprojected) {
  scriptSelector({kPetalWidth}, 3, true);
  expectMessages(1);
  ASSERT_TRUE(session->createPatterns());
  EXPECT_BOX(lastMessage(), "Selected data must contain more than one column\n in order to use PC analisys!",
             MB_ICONINFORMATION);
  EXPECT_TRUE(session->hasPatterns());
  EXPECT_FALSE(session->dataSet().projected());
  EXPECT_EQ(session->patternLines(),
            std::vector<std::string>{"petal_width_cm (Hyperbolic tangent noralization)"});
  EXPECT_EQ(session->componentLines(),
            (std::vector<std::string>{"PCs are not supported", "Info percent: 100"}));
}

TEST_F(GridwiseSessionTest, ConstantColumnsKeepEveryComponent) {
  // Two columns that never vary: no variance, so nothing is preselected and all are kept.
  RawTable t = smallTable(3, 6);
  for (auto& v : t.columns[0]) v = 4.0;
  for (auto& v : t.columns[1]) v = -1.0;
  GridwiseSession s(t, connection(Tool::Gridwise));
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
    r.select(std::vector<std::int32_t>{0, 1});
    r.setExtractComponents(true);
    return IDOK;
  });
  std::optional<std::int32_t> offered = 0;
  prompter.answerModal([&](ModalDialog& d) {
    offered = dynamic_cast<PcAnalyzerRequest&>(d).selectedEntry;
    return IDOK;
  });
  ASSERT_TRUE(s.createPatterns());
  EXPECT_FALSE(offered.has_value());
  EXPECT_EQ(s.dataSet().workingMatrix().Cols(), 2);
  EXPECT_EQ(s.componentLines()[0], "Number of PC's: 2");
}

TEST_F(GridwiseSessionTest, ChoosingAnotherComponentCountInTheAnalyzerProjectsOnIt) {
  scriptSelector({0, 1, 2, 3}, 1, true);
  scriptAnalyzer(0);  // only the first component
  ASSERT_TRUE(session->createPatterns());
  EXPECT_EQ(session->dataSet().workingMatrix().Cols(), 1);
  EXPECT_EQ(session->componentLines(), (std::vector<std::string>{"Number of PC's: 1", "Info percent: 72"}));
}

TEST_F(GridwiseSessionTest, CreateNetworkGuards) {
  // Without patterns the command does nothing (its button is disabled).
  EXPECT_FALSE(session->createNetwork());
  EXPECT_TRUE(prompter.calls().empty());

  createIrisPatterns();
  // Cancel in the size dialog: no map.
  scriptNetworkSize(4, 4, IDCANCEL);
  EXPECT_FALSE(session->createNetwork());
  EXPECT_FALSE(session->hasNet());
  // Sizes outside 1 … 255 are refused with the standard message.
  for (auto [rows, columns] : {std::pair{0, 4}, std::pair{4, 256}}) {
    scriptNetworkSize(rows, columns);
    expectMessages(1);
    EXPECT_FALSE(session->createNetwork());
    EXPECT_BOX(lastMessage(), "Please enter an integer between 1 and 255.", platform::MB_ICONWARNING);
    EXPECT_FALSE(session->hasNet());
  }

  createMap(4, 6);
  const std::vector<double> weights = allWeights(*session->net());
  // With a map: the question; No keeps it.
  prompter.answerMessage(IDNO);
  EXPECT_FALSE(session->createNetwork());
  EXPECT_BOX(lastMessage(), "Current network will be destroyed! Continue?", MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(allWeights(*session->net()), weights);
  // Yes: the size dialog offers the present size.
  prompter.answerMessage(IDYES);
  scriptNetworkSize(1, 1);
  ASSERT_TRUE(session->createNetwork());
  EXPECT_EQ(offeredSize, std::make_pair(4, 6));
  EXPECT_EQ(session->net()->cellCount(), 1);
}

TEST_F(GridwiseSessionTest, CancelledTrainingKeepsThePartlyTrainedMap) {
  createIrisPatterns();
  // Cancel before the first pass: the map stays as laid on the components.
  ToolUi ui;
  ui.openProgress = [](ProgressVariant) { return std::make_unique<CancellingProgress>(0); };
  setToolUi(ui);
  createMap(5, 5);
  EXPECT_TRUE(session->lastTraining().cancelled);
  EXPECT_EQ(session->lastTraining().passes, 0);
  const KohonenNet laidOut = createNetwork(5, 5, session->dataSet().workingMatrix());
  EXPECT_EQ(allWeights(*session->net()), allWeights(laidOut));
  EXPECT_EQ(session->cellIndex().dataRowCount(), kIrisRows);

  // Cancel after 30 passes: the map is trained that far and indexed.
  ui.openProgress = [](ProgressVariant) { return std::make_unique<CancellingProgress>(30); };
  setToolUi(ui);
  prompter.answerMessage(IDYES);
  createMap(5, 5);
  EXPECT_TRUE(session->lastTraining().cancelled);
  EXPECT_EQ(session->lastTraining().passes, 30);
  ASSERT_TRUE(session->hasNet());
  EXPECT_NE(allWeights(*session->net()), allWeights(laidOut));
  for (std::int32_t i = 0; i < kIrisRows; ++i)
    EXPECT_EQ(session->cellIndex().cellOf(i), winnerOf(*session, i));
}

TEST_F(GridwiseSessionTest, TrainingUsesTheSessionsSettings) {
  createIrisPatterns();
  TrainingSettings settings;
  settings.iterations = 7;
  settings.initialStiffness = 0.5;
  settings.delta = 0.2;
  session->applyPreferences(settings, session->palette());
  createMap(3, 3);
  EXPECT_EQ(session->lastTraining().passes, 7);
  // The same run done with the engine alone gives the same bits.
  KohonenNet expected = createNetwork(3, 3, session->dataSet().workingMatrix());
  CellIndex index;
  NullProgress quiet;
  trainNetwork(expected, session->dataSet().workingMatrix(), settings, quiet, index);
  EXPECT_EQ(allWeights(*session->net()), allWeights(expected));
}

TEST_F(GridwiseSessionTest, SaveAndLoadGuardsAndTheStateAfterEachFailure) {
  lumivane::test::TempDir dir;
  // Save is not offered without patterns and map.
  EXPECT_FALSE(session->saveProject());
  createIrisPatterns();
  createMap(3, 3);

  // Cancel in the save dialog writes nothing.
  prompter.answerFile(std::nullopt);
  EXPECT_FALSE(session->saveProject());
  EXPECT_TRUE(fs::is_empty(dir.path()));
  // A folder that does not exist.
  const std::string unwritable = (dir.path() / "missing" / "p.gwp").string();
  prompter.answerFile(unwritable);
  expectMessages(1);
  EXPECT_FALSE(session->saveProject());
  EXPECT_BOX(lastMessage(), "Can't open file " + unwritable, MB_ICONINFORMATION);

  const std::string good = dir.file("good.gwp");
  prompter.answerFile(good);
  ASSERT_TRUE(session->saveProject());

  // Load: No to the question, then Cancel in the file dialog: nothing changes.
  prompter.answerMessage(IDNO);
  EXPECT_FALSE(session->loadProject());
  prompter.answerMessage(IDYES);
  prompter.answerFile(std::nullopt);
  EXPECT_FALSE(session->loadProject());
  EXPECT_TRUE(session->hasNet());

  // A file that cannot be opened, and one with another magic: the map is gone, the patterns stay.
  const std::string missing = dir.file("nothing.gwp");
  const std::string foreign = dir.file("foreign.gwp");
  std::ofstream(foreign, std::ios::binary) << "MLP2 and more";
  for (const auto& [path, message] : {std::pair{missing, "Can't open file " + missing},
                                      std::pair{foreign, std::string("Bad file format!")}}) {
    prompter.answerMessage(IDYES);
    prompter.answerFile(path);
    expectMessages(1);
    EXPECT_FALSE(session->loadProject());
    EXPECT_BOX(lastMessage(), message, MB_ICONINFORMATION);
    EXPECT_FALSE(session->hasNet());
    EXPECT_TRUE(session->hasPatterns());
    createMap(3, 3);
  }

  // A truncated project: "The file is corrupted!", and neither patterns nor map remain.
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string truncated = dir.file("truncated.gwp");
  std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() - 9);
  prompter.answerMessage(IDYES);
  prompter.answerFile(truncated);
  expectMessages(1);
  EXPECT_FALSE(session->loadProject());
  EXPECT_BOX(lastMessage(), "The file is corrupted!", MB_ICONINFORMATION);
  EXPECT_FALSE(session->hasNet());
  EXPECT_FALSE(session->hasPatterns());
  EXPECT_TRUE(session->patternLines().empty());
  EXPECT_EQ(session->componentLines(), (std::vector<std::string>{"", ""}));
  EXPECT_FALSE(session->canCreateNetwork());

  // Nothing exists now, so loading the good file asks nothing.
  prompter.answerFile(good);
  ASSERT_TRUE(session->loadProject());
  EXPECT_TRUE(session->hasPatterns());
  EXPECT_TRUE(session->hasNet());
  EXPECT_EQ(session->cellIndex().dataRowCount(), kIrisRows);
}

TEST_F(GridwiseSessionTest, AProjectOfMoreColumnsThanTheTableIsCorrupted) {
  lumivane::test::TempDir dir;
  scriptSelector({0, 6, 7}, 2, false);
  ASSERT_TRUE(session->createPatterns());
  createMap(2, 2);
  const std::string path = dir.file("wide.gwp");
  prompter.answerFile(path);
  ASSERT_TRUE(session->saveProject());

  // A table of the first five columns only.
  startIris(9, 20);
  RawTable narrow = table;
  narrow.columns.resize(5);
  narrow.columnNames.resize(5);
  GridwiseSession s(narrow, connection(Tool::Gridwise));
  prompter.answerFile(path);
  expectMessages(1);
  EXPECT_FALSE(s.loadProject());
  EXPECT_BOX(lastMessage(), "The file is corrupted!", MB_ICONINFORMATION);
  EXPECT_FALSE(s.hasPatterns());
  // The full table of the same sheet takes it.
  prompter.answerFile(path);
  EXPECT_TRUE(session->loadProject());
  EXPECT_EQ(session->dataSet().chosenColumns(), (std::vector<std::int32_t>{0, 6, 7}));
}

TEST_F(GridwiseSessionTest, NewMapPicturesUseTheChosenFeatureAndThePalette) {
  EXPECT_FALSE(session->createNewMap().has_value());
  createIrisPatterns();
  createMap(4, 4);
  PaletteTable palette;
  palette.setColour(3, 2, {200, 10, 20});
  session->applyPreferences(session->trainingSettings(), palette);

  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<NewMapRequest&>(d);
    EXPECT_EQ(r.columnNames().size(), static_cast<std::size_t>(kIrisColumns));
    r.featureColumn = kSpecies;
    r.colourCount = 3;
    return IDOK;
  });
  const std::optional<MapPicture> picture = session->createNewMap();
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->title, "species map");
  ASSERT_EQ(picture->colours.size(), 3u);
  EXPECT_EQ(picture->colours[2], (MapColour{200, 10, 20}));
  double hits = 0;
  for (double h : picture->hits.values) hits += h;
  EXPECT_EQ(hits, kIrisRows);

  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<NewMapRequest&>(d);
    r.colourCount = 7;
    r.setMode(MapMode::Existence);
    EXPECT_FALSE(r.colourCountEnabled());
    r.featureColumn = kSepalLength;
    return IDOK;
  });
  const std::optional<MapPicture> existence = session->createNewMap();
  ASSERT_TRUE(existence);
  EXPECT_EQ(existence->title, mapTitle("sepal_length_cm", MapMode::Existence));
  EXPECT_EQ(existence->colours.size(), 2u);
  prompter.answerModal([](ModalDialog&) { return IDCANCEL; });
  EXPECT_FALSE(session->createNewMap().has_value());
}

TEST_F(GridwiseSessionTest, CellDescriptionFollowsDoubleClicksWhileItIsOpen) {
  session->describeCells();  // no map yet: nothing opens
  EXPECT_TRUE(prompter.calls().empty());
  createIrisPatterns();
  createMap(4, 4);
  RecordingObserver observer;
  session->addObserver(observer);
  const CellPos target = session->cellIndex().cellOf(100);
  prompter.answerModal([&](ModalDialog& d) {
    auto& r = dynamic_cast<CellDescriptionRequest&>(d);
    EXPECT_EQ(session->openCellDescription(), &r);
    EXPECT_EQ(r.cellNames().size(), 16u);
    EXPECT_EQ(r.cellNames()[5], "B2");
    EXPECT_EQ(r.cell(), (CellPos{0, 0}));
    EXPECT_EQ(r.description().count, session->cellIndex().count(0, 0));
    // A map window's double click while the dialog is open selects the cell in it.
    session->showCell(target);
    EXPECT_EQ(r.cell(), target);
    const auto& d2 = r.description();
    EXPECT_EQ(d2.count, session->cellIndex().count(target.row, target.column));
    EXPECT_NE(std::find(d2.rowIds.begin(), d2.rowIds.end(), table.rowIds[100]), d2.rowIds.end());
    EXPECT_EQ(d2.centreLines.size(), 4u);   // one per selected column, back in its own units
    EXPECT_EQ(d2.averageLines.size(), 8u);  // one per raw column
    return IDOK;
  });
  session->describeCells();
  EXPECT_EQ(session->openCellDescription(), nullptr);
  EXPECT_EQ(observer.all(), kCellDescriptionChanged);
  // Without an open dialog a double click opens it at that cell.
  prompter.answerModal([&](ModalDialog& d) {
    EXPECT_EQ(dynamic_cast<CellDescriptionRequest&>(d).cell(), target);
    return IDOK;
  });
  session->showCell(target);
  session->removeObserver(observer);
}

TEST_F(GridwiseSessionTest, CellFinderListsIdsBySubstringOrAll) {
  createIrisPatterns();
  createMap(3, 3);
  prompter.answerModal([&](ModalDialog& d) {
    auto& r = dynamic_cast<CellFinderRequest&>(d);
    EXPECT_TRUE(r.listedRows().empty());
    r.setText("iris00");
    r.find();
    EXPECT_EQ(r.listedIds(), (std::vector<std::string>{"iris001", "iris002", "iris003", "iris004", "iris005",
                                                       "iris006", "iris007", "iris008", "iris009"}));
    r.selectListed(4);
    const CellPos cell = winnerOf(*session, 4);
    if (!r.found()) {
      ADD_FAILURE() << "nothing found for a listed row";
      return IDOK;
    }
    EXPECT_EQ(r.found()->cellName, kohonen::cellName(cell.row, cell.column));
    EXPECT_EQ(r.found()->cellRowIds.size(),
              static_cast<std::size_t>(session->cellIndex().count(cell.row, cell.column)));
    r.setShowAll(true);
    EXPECT_FALSE(r.findEnabled());
    EXPECT_EQ(r.listedRows().size(), static_cast<std::size_t>(kIrisRows));
    r.setShowAll(false);
    EXPECT_EQ(r.listedRows().size(), 9u);
    r.setText("nowhere");
    r.find();
    EXPECT_TRUE(r.listedRows().empty());
    return IDOK;
  });
  session->findCells();
}

TEST_F(GridwiseSessionTest, SetDefaultsAsksAndResetsBothSettings) {
  TrainingSettings custom;
  custom.iterations = 12;
  PaletteTable palette;
  palette.setColour(2, 0, {1, 2, 3});
  session->applyPreferences(custom, palette);

  prompter.answerMessage(IDNO);
  EXPECT_FALSE(session->setDefaultPreferences());
  EXPECT_BOX(lastMessage(), "Your personal settings will be set to default values.\nDo you wish to continue?",
             MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(session->trainingSettings().iterations, 12);

  RecordingObserver observer;
  session->addObserver(observer);
  prompter.answerMessage(IDYES);
  EXPECT_TRUE(session->setDefaultPreferences());
  EXPECT_EQ(session->trainingSettings().iterations, 2000);
  EXPECT_EQ(session->palette(), PaletteTable());
  EXPECT_EQ(observer.all(), kSettingsChanged | kPaletteChanged);
  session->removeObserver(observer);
}

TEST_F(GridwiseSessionTest, CustomPreferencesApplyOnOkAndOnApplyButNotOnCancel) {
  // OK: a colour picked on the swatch and new training values reach the session.
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<PreferencesRequest&>(d);
    EXPECT_EQ(r.colourCount(), 2);
    r.setColourCount(4);
    TrainingSettings t = r.training();
    t.delta = 0.5;
    r.setTraining(t);
    EXPECT_TRUE(r.pickColour(70, 100));  // stripe ⌊70·4 / 100⌋ = 2
    return IDOK;
  });
  prompter.answerColour(platform::Rgb{9, 8, 7});
  session->setCustomPreferences();
  EXPECT_EQ(session->trainingSettings().delta, 0.5);
  EXPECT_EQ(session->palette().colour(4, 2), (platform::Rgb{9, 8, 7}));
  const auto calls = prompter.calls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const auto& c) { return c.kind == platform::ScriptedPrompter::Kind::Colour; }),
            1);

  // Apply, then more edits, then Cancel: what was applied stays, the rest is dropped.
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<PreferencesRequest&>(d);
    TrainingSettings t = r.training();
    t.iterations = 50;
    r.setTraining(t);
    EXPECT_TRUE(r.modified());
    EXPECT_TRUE(r.apply());
    EXPECT_FALSE(r.modified());
    t.iterations = 60;
    r.setTraining(t);
    return IDCANCEL;
  });
  session->setCustomPreferences();
  EXPECT_EQ(session->trainingSettings().iterations, 50);

  // A value out of range: the standard message, and nothing changes.
  prompter.answerModal([](ModalDialog& d) {
    auto& r = dynamic_cast<PreferencesRequest&>(d);
    TrainingSettings t = r.training();
    t.delta = 10.5;
    r.setTraining(t);
    r.setColour(2, 1, {5, 5, 5});
    return IDOK;
  });
  expectMessages(1);
  session->setCustomPreferences();
  EXPECT_BOX(lastMessage(), "Please enter a number between 0 and 10.", platform::MB_ICONWARNING);
  EXPECT_EQ(session->trainingSettings().delta, 0.5);
  EXPECT_EQ(session->palette().colour(2, 1), (platform::Rgb{255, 255, 255}));
}

}  // namespace
}  // namespace gridwise_test
