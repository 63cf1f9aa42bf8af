// Whole command sequences of a Vantor session without a widget: columns, network, training with
// the real kestrel, network and project files through the commands, and the sheet's guards.

#include "mlp/workbench/vantor_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "mlp/engine/network_file.h"
#include "mlp/workbench/vantor_project.h"
#include "tests/mlp/workbench/session_test_support.h"

namespace lumivane::test {
namespace {

using platform::IDNO;
using platform::IDOK;
using platform::IDYES;
using platform::MB_ICONINFORMATION;
using platform::MB_ICONWARNING;
using platform::MB_OK;
using platform::MB_SYSTEMMODAL;
using platform::MB_YESNO;

// iris.csv after its ID column: four measurements, the species number, three indicators.
constexpr int kIrisMeasurements = 4;
constexpr int kIrisFirstIndicator = 5;
constexpr int kIrisSpecies = 3;

class VantorSessionTest : public SessionFixture {
 protected:
  void SetUp() override { table = loadSampleTable("iris.csv"); }

  // Inputs: the measurements standardised; outputs: the indicators mapped onto [-1, +1].
  void chooseIrisColumns() {
    selectInputs(columnNames(table, 0, kIrisMeasurements), "Mean / Variance");
    selectOutputs(columnNames(table, kIrisFirstIndicator, kIrisSpecies), "(-1, +1) normalization");
  }
  // Every row's answer of a network on a session's data set.
  static std::vector<double> allAnswers(VantorSession& s) {
    std::vector<double> result;
    s.run().WithModel([&](const TrainingModelView& view) {
      const VantorDataSet& data = *view.dataSet;
      std::vector<double> answer(static_cast<std::size_t>(view.network->outputs));
      for (std::int32_t r = 0; r < data.rows(); ++r) {
        view.network->Answer(data.inputRow(r), data.inputCount(), answer.data(), view.network->outputs);
        result.insert(result.end(), answer.begin(), answer.end());
      }
    });
    return result;
  }
  void expectMessage(const platform::ScriptedPrompter::Call& call, const std::string& text,
                     const std::string& caption, unsigned flags) {
    EXPECT_EQ(call.text, text);
    EXPECT_EQ(call.caption, caption);
    EXPECT_EQ(call.flags, flags) << text;
  }
};

TEST_F(VantorSessionTest, TrainedNetworkAndProjectSurviveTheirFiles) {
  if (!listKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  open(table);
  ASSERT_EQ(session->algorithms().selectedAlgorithm, 0);
  chooseIrisColumns();
  EXPECT_EQ(session->dataSet().inputNormalisers()[0].kind(), NormalisationKind::MeanVariance);
  EXPECT_EQ(session->dataSet().outputNormalisers()[2].kind(), NormalisationKind::MinMax);
  EXPECT_EQ(session->InputLines()[0], "sepal_length_cm (Mean/Variance normalization)");
  EXPECT_EQ(session->OutputLines()[1], "is_versicolor ([-1, +1] - normalization)");

  createNetwork([](NetworkConstructorDialog& d) {
    d.rows[0].neurons = 5;
    d.rows[0].orderIndex = 1;  // second-order hidden neurons
  });
  ASSERT_TRUE(session->networkExists());
  EXPECT_EQ(session->network()->inputs, kIrisMeasurements);
  EXPECT_EQ(session->network()->neuronCounts[0], 5);
  EXPECT_EQ(session->network()->outputs, kIrisSpecies);
  const float initialError = session->run().Snapshot().trainingError;

  setCriteria({1, 39, 0.0f, 0.0f});
  trainToEnd();
  EXPECT_EQ(session->EpochText(), "40");  // stops once the counter passes 39
  EXPECT_LT(session->run().Snapshot().trainingError, initialError);
  EXPECT_TRUE(observer.told(kTrainingStateChanged));
  EXPECT_TRUE(session->changed());

  answerFile(work.file("iris.mlp"));
  ASSERT_TRUE(session->SaveNetwork());
  const auto netRequest = prompter.lastFileRequest();
  ASSERT_TRUE(netRequest);
  EXPECT_TRUE(netRequest->save);
  EXPECT_EQ(netRequest->fileName, "Untitled.mlp");
  EXPECT_EQ(netRequest->filter, "Network files (*.mlp)|*.mlp||");
  EXPECT_TRUE(netRequest->overwritePrompt);

  answerFile(work.file("iris.vtp"));
  ASSERT_TRUE(session->SaveProject());
  EXPECT_FALSE(session->changed());
  const auto projectRequest = prompter.lastFileRequest();
  EXPECT_EQ(projectRequest->fileName, "Untitled.vtp");
  EXPECT_EQ(projectRequest->defaultExt, "vtp");
  EXPECT_EQ(projectRequest->filter, "Vantor 3.0 project (*.vtp)|*.vtp||");

  const std::string weights = weightsOf(*session->network());
  const std::vector<double> answers = allAnswers(*session);

  // A fresh tool instance on the same table: the project brings back network and data set.
  VantorSession& first = *session;
  auto second = std::make_unique<VantorSession>(table, work.path().string());
  ASSERT_TRUE(second->Initialise());
  answerFile(work.file("iris.vtp"));
  ASSERT_TRUE(second->LoadProject());
  EXPECT_TRUE(second->networkExists() && second->inputsChosen() && second->outputsChosen());
  EXPECT_EQ(weightsOf(*second->network()), weights);
  EXPECT_EQ(second->dataSet().outputColumns(), first.dataSet().outputColumns());
  EXPECT_EQ(second->InputLines(), first.InputLines());
  EXPECT_EQ(allAnswers(*second), answers);
  EXPECT_EQ(second->EpochText(), "0");  // the history is not stored
  answerFile(work.file("again.vtp"));
  ASSERT_TRUE(second->SaveProject());
  EXPECT_EQ(fileBytes(work.file("again.vtp")), fileBytes(work.file("iris.vtp")));

  // The network file alone, into an instance that already has the same columns.
  auto third = std::make_unique<VantorSession>(table, work.path().string());
  ASSERT_TRUE(third->Initialise());
  session.swap(third);  // the fixture's helpers work on `session`
  chooseIrisColumns();
  answerFile(work.file("iris.mlp"));
  ASSERT_TRUE(session->LoadNetwork());
  EXPECT_EQ(weightsOf(*session->network()), weights);
  EXPECT_EQ(allAnswers(*session), answers);
  answerFile(work.file("again.mlp"));
  ASSERT_TRUE(session->SaveNetwork());
  EXPECT_EQ(fileBytes(work.file("again.mlp")), fileBytes(work.file("iris.mlp")));
  session.swap(third);
}

TEST_F(VantorSessionTest, ReadinessCheckSpeaksInItsOrder) {
  open(table);
  const unsigned plain = MB_OK;
  expectBox();
  EXPECT_FALSE(session->SaveProject());
  expectMessage(lastMessage(), "Create the network first", "VANTOR3", plain);

  createNetwork();  // the default 2 inputs → 3 tanh → 1 linear
  expectBox();
  EXPECT_FALSE(session->StartTraining());
  expectMessage(lastMessage(), "Select data set first!", "VANTOR3", plain);

  expectBox(IDYES);  // the destroy warning: a network exists
  selectInputs(columnNames(table, 0, kIrisMeasurements));
  EXPECT_FALSE(session->networkExists());
  createNetwork();
  expectBox();
  EXPECT_FALSE(session->SaveProject());
  expectMessage(lastMessage(), "Your data has no outputs specified and\nmay be used only to save answers!",
                "VANTOR3", plain);

  // Networks of the wrong sizes come from network files; they load with a warning and stay.
  const int threeOutputs[] = {3, 3};
  const int oneOutput[] = {3, 1};
  const int orders[] = {1, 1};
  const char codes[] = {'t', 'l'};
  ASSERT_TRUE(saveNetworkFile(Perceptron(2, 2, threeOutputs, orders, codes), work.file("two.mlp")).ok());
  ASSERT_TRUE(saveNetworkFile(Perceptron(4, 2, oneOutput, orders, codes), work.file("four.mlp")).ok());
  expectBox(IDYES);
  selectOutputs(columnNames(table, kIrisFirstIndicator, kIrisSpecies));
  answerFile(work.file("two.mlp"));
  expectBox();
  ASSERT_TRUE(session->LoadNetwork());
  expectMessage(lastMessage(), "Warning! Number of inputs of net isn't equal the data inputs dimension.",
                "VANTOR3", plain);
  EXPECT_EQ(session->TrainingErrorText(), "Not exist");
  EXPECT_EQ(session->TestErrorText(), "Not exist");
  expectBox();
  EXPECT_FALSE(session->StartTraining());
  expectMessage(lastMessage(),
                "Inputs dimension in data set isn't equal the one of the network!\n"
                "Create proper network or change data set!",
                "VANTOR3", plain);

  expectBox(IDYES);  // "Your current network will be destroyed!"
  answerFile(work.file("four.mlp"));
  expectBox();
  ASSERT_TRUE(session->LoadNetwork());
  expectMessage(lastMessage(), "Warning! Number of outputs of net isn't equal the data outputs dimension.",
                "VANTOR3", plain);
  expectBox();
  EXPECT_FALSE(session->SaveProject());
  expectMessage(lastMessage(),
                "Outputs dimension in data set isn't equal the one of the network!\n"
                "Create proper network or change data set!",
                "VANTOR3", plain);
  EXPECT_FALSE(std::filesystem::exists(work.file("Untitled.vtp")));
}

TEST_F(VantorSessionTest, CommandGuardsWithoutWhatTheyNeed) {
  open(table);
  const auto missing = prompter.messages().front();
  expectMessage(missing, "Can't find necessary file methinfo ", "Noncritical error",
                MB_ICONINFORMATION | MB_SYSTEMMODAL);
  EXPECT_EQ(session->algorithms().selectedAlgorithm, -1);

  expectBox();
  EXPECT_EQ(session->Boxcounting(), nullptr);
  expectMessage(lastMessage(), "Determine the questions first!", "VANTOR3", MB_OK);
  expectBox();
  EXPECT_FALSE(session->EditTestSet());
  expectMessage(lastMessage(), "You haven't created training data.\nData must have inputs and outputs.",
                "VANTOR3", MB_OK);
  expectBox();
  EXPECT_FALSE(session->RandomizeSynapses());
  expectMessage(lastMessage(), "Create the network first", "VANTOR3", MB_OK);
  expectBox();
  EXPECT_FALSE(session->EditAlgorithm());
  expectMessage(lastMessage(), "There's no algorithm to edit.\n Select an algorithm first.", "VANTOR3",
                MB_OK);

  selectInputs(columnNames(table, 0, kIrisMeasurements));
  expectBox();
  EXPECT_EQ(session->Boxcounting(), nullptr);
  expectMessage(lastMessage(), "Determine the answers first!", "VANTOR3", MB_OK);
  selectOutputs(columnNames(table, kIrisFirstIndicator, kIrisSpecies));
  createNetwork();
  expectBox();
  EXPECT_FALSE(session->StartTraining());
  expectMessage(lastMessage(), "Select training algorithm first", "VANTOR3", MB_OK);
}

TEST_F(VantorSessionTest, AnsweringNoChangesNothing) {
  open(table);
  chooseIrisColumns();
  createNetwork();
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<RandomizationDialog&>(d);
    dialog.randomization.range = 2.0;
    return dialog.accept() ? IDOK : platform::IDCANCEL;
  });
  ASSERT_TRUE(session->RandomizeSynapses());
  const Perceptron* network = session->network();
  const std::string weights = weightsOf(*network);
  const std::vector<float> history = session->run().TrainingHistory();

  expectBox(IDNO);
  EXPECT_FALSE(session->LoadProject());
  expectMessage(lastMessage(),
                "Warning! Your current network and data set will be lost!\nDo you want to continue?",
                "Vantor 3.0", MB_YESNO | MB_ICONINFORMATION);
  expectBox(IDNO);
  EXPECT_FALSE(session->SelectInputs());
  expectMessage(lastMessage(),
                "Warning! Your current network and data set will be destroyed!\nDo you want to continue?",
                "Warning!", MB_YESNO);
  expectBox(IDNO);
  EXPECT_FALSE(session->LoadNetwork());
  expectMessage(lastMessage(), "Your current network will be destroyed!\nDo you want to proceed?",
                "Vantor 3.0", MB_YESNO);
  ASSERT_EQ(session->network(), network);
  EXPECT_EQ(weightsOf(*network), weights);
  EXPECT_EQ(session->run().TrainingHistory(), history);
  EXPECT_EQ(session->dataSet().inputCount(), kIrisMeasurements);
  EXPECT_EQ(session->dataSet().outputCount(), kIrisSpecies);

  // Yes to the warning, then Cancel in the dialog: the columns stay, the network is gone.
  expectBox(IDYES);
  prompter.answerModal([](platform::ModalDialog&) { return platform::IDCANCEL; });
  EXPECT_FALSE(session->SelectOutputs());
  EXPECT_FALSE(session->networkExists());
  EXPECT_EQ(session->dataSet().outputCount(), kIrisSpecies);
  EXPECT_TRUE(observer.told(kNetworkChanged));
}

TEST_F(VantorSessionTest, NewColumnsKeepTheTestSetChoice) {
  open(table);
  chooseIrisColumns();
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<TestSetDialog&>(d);
    EXPECT_EQ(dialog.totalExamples(), 150);
    dialog.mode = TestSetMode::BlockOfExamples;
    dialog.blockStart = 100;
    dialog.testCount = 30;
    return dialog.accept() ? IDOK : platform::IDCANCEL;
  });
  ASSERT_TRUE(session->EditTestSet());
  EXPECT_EQ(session->run().Snapshot().testCount, 30);
  // The block 100..129 sits at the end of the order.
  EXPECT_EQ(session->dataSet().order()[120], 100);

  selectInputs(columnNames(table, 0, 2));
  selectOutputs(columnNames(table, kIrisFirstIndicator, 1));
  EXPECT_EQ(session->run().Snapshot().testCount, 30);
  EXPECT_EQ(session->run().Snapshot().trainingCount, 120);
  EXPECT_EQ(session->dataSet().order()[120], 100);
  EXPECT_EQ(session->dataSet().testSetMode(), TestSetMode::BlockOfExamples);
}

TEST_F(VantorSessionTest, ClosingIsRefusedWhileTraining) {
  open(table);
  ScriptedAlgorithm& algorithm = scripted;
  session->algorithms().algorithms.push_back(&algorithm);
  session->algorithms().selectedAlgorithm = 0;
  chooseIrisColumns();
  createNetwork();
  algorithm.hold();
  ASSERT_TRUE(session->StartTraining());
  ASSERT_TRUE(algorithm.waitUntilEntered(1));

  expectBox();
  EXPECT_FALSE(session->RequestClose());
  expectMessage(lastMessage(), "Stop training process first!", "Can't exit Vantor!",
                MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
  // Commands that would change the model refuse silently meanwhile.
  EXPECT_FALSE(session->CreateNetwork());
  EXPECT_FALSE(session->SelectInputs());
  EXPECT_FALSE(session->LoadProject());
  EXPECT_TRUE(session->networkExists());

  session->StopTraining();
  algorithm.release();
  ASSERT_TRUE(session->WaitForTrainingEnd());
  EXPECT_FALSE(session->isTraining());
  EXPECT_TRUE(session->RequestClose());
  EXPECT_FALSE(session->networkExists());
  EXPECT_GE(algorithm.detachCalls, 1);
}

TEST_F(VantorSessionTest, ProjectFailuresLeaveTheDocumentedState) {
  open(table);
  chooseIrisColumns();
  createNetwork();
  answerFile(work.file("iris.vtp"));
  ASSERT_TRUE(session->SaveProject());
  const std::string good = fileBytes(work.file("iris.vtp"));

  // A path that cannot be opened: nothing changes at all.
  expectBox(IDYES);
  answerFile(work.file("missing.vtp"));
  expectBox();
  EXPECT_FALSE(session->LoadProject());
  expectMessage(lastMessage(), "Can't open file " + work.file("missing.vtp"), "VANTOR3",
                MB_OK | MB_ICONWARNING);
  EXPECT_TRUE(session->networkExists());

  auto loadBytes = [&](const std::string& bytes, const std::string& message) {
    std::ofstream(work.file("bad.vtp"), std::ios::binary) << bytes;
    if (session->networkExists() || session->inputsChosen() || session->outputsChosen()) expectBox(IDYES);
    answerFile(work.file("bad.vtp"));
    expectBox();
    EXPECT_FALSE(session->LoadProject());
    EXPECT_EQ(lastMessage().text, message);
    EXPECT_FALSE(session->networkExists());
  };
  std::string wrongMagic = good;
  wrongMagic[1] = 'X';
  loadBytes(wrongMagic, "This file isn't in Vantor format!");
  EXPECT_EQ(session->dataSet().inputCount(), kIrisMeasurements);  // the data set stays
  std::string wrongVersion = good;
  wrongVersion[2] = 4;
  loadBytes(wrongVersion, "This file belongs to another version of Vantor!");
  EXPECT_EQ(session->dataSet().outputCount(), kIrisSpecies);
  std::string minorSeven = good;
  minorSeven[4] = 7;
  std::ofstream(work.file("minor.vtp"), std::ios::binary) << minorSeven;
  expectBox(IDYES);
  answerFile(work.file("minor.vtp"));
  EXPECT_TRUE(session->LoadProject());  // the minor version is not examined

  // A network block of 2 inputs beside a data-set block of 4: refused, nothing defined.
  std::ostringstream mixed(std::ios::binary);
  mixed.write(good.data(), 6);
  const int counts[] = {3, 3};
  const int orders[] = {1, 1};
  const char codes[] = {'t', 'l'};
  Perceptron(2, 2, counts, orders, codes).WriteBlock(mixed);
  std::istringstream original(good, std::ios::binary);
  original.seekg(6);
  Perceptron skipped(original);
  mixed << original.rdbuf();
  loadBytes(mixed.str(), kProjectCountsDisagreeText);
  EXPECT_FALSE(session->inputsChosen());
  EXPECT_FALSE(session->outputsChosen());

  // The same project on a table with another column count.
  RawTable wine = loadSampleTable("wine.csv");
  auto other = std::make_unique<VantorSession>(wine, work.path().string());
  expectBox();  // no methinfo here
  ASSERT_TRUE(other->Initialise());
  answerFile(work.file("iris.vtp"));
  expectBox();
  EXPECT_FALSE(other->LoadProject());
  EXPECT_EQ(lastMessage().text,
            " The number of columns of your data don't match\nthe number of columns in project loaded.");
  EXPECT_FALSE(other->networkExists() || other->inputsChosen() || other->outputsChosen());
}

TEST_F(VantorSessionTest, BoxcountingKeepsItsResults) {
  open(table);
  chooseIrisColumns();
  NullProgress quiet;
  const significance::BoxCounter* results = session->Boxcounting(&quiet);
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results, session->lastBoxCounting());
  EXPECT_EQ(results->significance().Rows(), kIrisSpecies);
  EXPECT_EQ(results->significance().Cols(), kIrisMeasurements);
  EXPECT_EQ(results->inputNames()[3], "petal_width_cm");
  // Petal width tells setosa apart far better than sepal width does.
  EXPECT_GT(results->significance()(0, 3), results->significance()(0, 1));

  // A constant column is refused before anything is computed; the old results stay.
  RawTable constant = makeTable({{1, 2, 3, 4, 5, 6}, {7, 7, 7, 7, 7, 7}, {1, 0, 1, 0, 1, 1}});
  auto other = std::make_unique<VantorSession>(constant, work.path().string());
  expectBox();  // no methinfo here
  ASSERT_TRUE(other->Initialise());
  session.swap(other);
  selectInputs({"c0", "c1"});
  selectOutputs({"c2"});
  expectBox();
  EXPECT_EQ(session->Boxcounting(&quiet), nullptr);
  EXPECT_EQ(lastMessage().text,
            "Column 'c1' has zero variance!\nYou should remove it from the data set if you want to perform "
            "boxcounting!");
  EXPECT_EQ(lastMessage().caption, "Error");
  session.swap(other);
  EXPECT_EQ(session->lastBoxCounting(), results);
}

TEST_F(VantorSessionTest, TrainingPageTexts) {
  open(table);
  EXPECT_EQ(session->EpochText(), "0");
  EXPECT_EQ(session->TrainingErrorText(), "Not exist");
  chooseIrisColumns();
  EXPECT_EQ(session->TestErrorText(), "Not exist");
  createNetwork();
  EXPECT_NE(session->TrainingErrorText(), "Not exist");
  // No test examples yet: the test error is stored as 0.
  EXPECT_EQ(session->TestErrorText(), "       0");
}

}  // namespace
}  // namespace lumivane::test
