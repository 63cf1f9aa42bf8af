// The plug-in protocol through real shared libraries: the loader reading methinfo, the real
// libkestrel.so training networks through the TrainingAlgorithm interface, and its dialog
// reached through the process's prompter.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mlp/engine/algorithm_loader.h"
#include "mlp/engine/perceptron.h"
#include "platform/random.h"
#include "plugins/rprop/rprop_parameters_dialog.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

class CurrentDirectoryScope {
 public:
  explicit CurrentDirectoryScope(const fs::path& dir) : previous_(fs::current_path()) {
    fs::current_path(dir);
  }
  ~CurrentDirectoryScope() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

class KestrelProtocolTest : public lumivane::test::PromptedTest {
 protected:
  lumivane::test::TempDir work;
  CurrentDirectoryScope cwd{work.path()};
  // An installation folder without methinfo, so only the test's own list counts.
  lumivane::test::TempDir install;
  AlgorithmLoader loader{install.path().string()};

  void loadList(const std::string& content) {
    writeFile(work.file("methinfo"), content);
    loader.LoadAlgorithms();
  }

  // The library stays loaded for the whole process, and with it the parameters an earlier test
  // confirmed: a test that trains first confirms the defaults (and the given threads) in the
  // plug-in's own dialog, as a user would.
  void confirmDefaults(TrainingAlgorithm& rprop, int threads = defaultRpropThreads()) {
    prompter.answerModal([threads](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<RpropParametersDialog&>(d);
      const double values[] = {
          ResilientPropagation::kDefaultInitialStep,    ResilientPropagation::kDefaultMinimalStep,
          ResilientPropagation::kDefaultMaximalStep,    ResilientPropagation::kDefaultDecreaseFactor,
          ResilientPropagation::kDefaultIncreaseFactor, double(threads)};
      for (int f = 0; f < RpropParametersDialog::kFieldCount; ++f)
        dialog.field(static_cast<RpropParametersDialog::Field>(f))
            ->setText(QString::number(values[f], 'g', 17));
      dialog.accept();
      return dialog.result() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
    });
    TrainingContext c;
    ASSERT_EQ(rprop.EditParameters(&c), 1);
  }

  void expectBox(std::size_t index, const std::string& text) {
    auto boxes = prompter.messages();
    ASSERT_LT(index, boxes.size());
    EXPECT_EQ(boxes[index].text, text);
    EXPECT_EQ(boxes[index].caption, "Noncritical error");
    EXPECT_EQ(boxes[index].icon(), platform::MB_ICONWARNING);
    EXPECT_TRUE(boxes[index].flags & platform::MB_SYSTEMMODAL);
  }
};

TEST_F(KestrelProtocolTest, TheSameLibraryListedTwiceGivesTwoEntriesForOneObject) {
  loadList(std::string(KESTREL_LIBRARY) + "\n" + KESTREL_LIBRARY + "\n");  // trailing break: no third entry
  EXPECT_TRUE(prompter.messages().empty());
  ASSERT_EQ(loader.algorithms.size(), 2u);
  ASSERT_EQ(loader.libraries.size(), 2u);
  EXPECT_EQ(loader.algorithms[0], loader.algorithms[1]);
  EXPECT_EQ(loader.libraries[0].handle(), loader.libraries[1].handle());
  EXPECT_EQ(loader.selectedAlgorithm, 0);
  EXPECT_EQ(loader.Selected()->Name(), "Rprop Algorithm");

  loader.FreeAlgorithms();
  EXPECT_TRUE(loader.algorithms.empty());
  EXPECT_TRUE(loader.libraries.empty());
  EXPECT_EQ(loader.selectedAlgorithm, -1);
}

TEST_F(KestrelProtocolTest, BrokenPluginsAreSkippedEachWithItsBox) {
  const std::string missing = work.file("libabsent.so");
  for (int i = 0; i < 3; ++i) prompter.answerMessage(platform::IDOK);
  loadList(missing + " " + FAKE_NULL_PLUGIN + "\n" + FAKE_NO_EXPORT_PLUGIN + "\n" + KESTREL_LIBRARY);
  ASSERT_EQ(prompter.messages().size(), 3u);
  expectBox(0, "Dll " + missing + " specified in file methinfo not found");
  expectBox(1, std::string("algorithm from dll ") + FAKE_NULL_PLUGIN + " can't be loaded");
  expectBox(2, std::string("algorithm from dll ") + FAKE_NO_EXPORT_PLUGIN + " can't be loaded");
  ASSERT_EQ(loader.algorithms.size(), 1u);
  EXPECT_EQ(loader.libraries.size(), 1u);
  EXPECT_EQ(loader.selectedAlgorithm, 0);
}

TEST_F(KestrelProtocolTest, TheBuildTreeListFindsKestrelBesideTheLibrary) {
  // No methinfo in the current directory: the one beside the library names kestrel by its bare
  // file name, found in that same folder.
  AlgorithmLoader installed(fs::path(KESTREL_LIBRARY).parent_path().string());
  installed.LoadAlgorithms();
  EXPECT_TRUE(prompter.messages().empty());
  ASSERT_EQ(installed.algorithms.size(), 1u);
  EXPECT_EQ(installed.algorithms[0]->Name(), "Rprop Algorithm");
}

TEST_F(KestrelProtocolTest, SelectingAnotherAlgorithmDetachesTheCurrentOne) {
  loadList(std::string(KESTREL_LIBRARY));
  TrainingAlgorithm* rprop = loader.Selected();
  ASSERT_NE(rprop, nullptr);
  int exists = 1, counter = 0;
  int counts[] = {2, 1}, orders[] = {1, 1};
  Perceptron net(2, 2, counts, orders, "tl");
  double q[] = {0.5, -0.5}, t[] = {0.25};
  double* questions[] = {q};
  double* answers[] = {t};
  TrainingContext c;
  c.network = &net;
  c.networkExists = &exists;
  c.questions = questions;
  c.answers = answers;
  c.inputCount = 2;
  c.outputCount = 1;
  c.trainingCount = 1;
  c.epochCounter = &counter;
  ASSERT_EQ(rprop->Attach(&c), 1);
  rprop->Epoch();
  EXPECT_EQ(counter, 1);

  loader.SelectAlgorithm(-1);  // "No algorithm" + "Select new"
  EXPECT_EQ(loader.selectedAlgorithm, -1);
  EXPECT_EQ(rprop->Epoch(), 0);  // detached: no epoch
  EXPECT_EQ(counter, 1);
}

TEST_F(KestrelProtocolTest, EditParametersShowsTheDialogThroughTheProcessPrompter) {
  loadList(std::string(KESTREL_LIBRARY));
  TrainingAlgorithm* rprop = loader.Selected();
  ASSERT_NE(rprop, nullptr);
  TrainingContext c;

  prompter.answerModal([](platform::ModalDialog&) { return platform::IDCANCEL; });
  EXPECT_EQ(rprop->EditParameters(&c), 0);

  // Change the initial step and confirm; the next opening shows the stored value.
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<RpropParametersDialog&>(d);
    dialog.field(RpropParametersDialog::Initial)->setText("0.3");
    dialog.accept();
    return dialog.result() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
  });
  EXPECT_EQ(rprop->EditParameters(&c), 1);
  std::string shown;
  prompter.answerModal([&shown](platform::ModalDialog& d) {
    shown =
        dynamic_cast<RpropParametersDialog&>(d).field(RpropParametersDialog::Initial)->text().toStdString();
    return platform::IDCANCEL;
  });
  rprop->EditParameters(&c);
  EXPECT_EQ(shown, "0.3");

  auto calls = prompter.calls();
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& call : calls) EXPECT_EQ(call.text, "Rprop parameters");
}

// --- learning through the real plug-in ----------------------------------------------------------

// The host's side of a training run, reduced to what the protocol needs: the examples, the
// counter, the callback recording the training error after every epoch.
struct TrainingRun {
  Perceptron* net = nullptr;
  int exists = 1;
  int counter = 0;
  std::vector<double*> questions, answers;
  std::vector<double> errors;

  static int measure(void* data) {
    auto* run = static_cast<TrainingRun*>(data);
    run->errors.push_back(run->net->RmsError(run->questions.data(), run->net->inputs, run->answers.data(),
                                             run->net->outputs, static_cast<int>(run->questions.size())));
    return 1;
  }

  TrainingContext context() {
    TrainingContext c;
    c.network = net;
    c.networkExists = &exists;
    c.questions = questions.data();
    c.answers = answers.data();
    c.inputCount = net->inputs;
    c.outputCount = net->outputs;
    c.trainingCount = static_cast<int>(questions.size());
    c.epochCounter = &counter;
    c.callbackData = this;
    c.callback = &TrainingRun::measure;
    return c;
  }
};

TEST_F(KestrelProtocolTest, LearnsXorWithinFiveHundredEpochs) {
  loadList(std::string(KESTREL_LIBRARY));
  TrainingAlgorithm* rprop = loader.Selected();
  ASSERT_NE(rprop, nullptr);
  confirmDefaults(*rprop);

  platform::crtSrand(1);  // the generator's state at program start
  int counts[] = {2, 1}, orders[] = {1, 1};
  Perceptron net(2, 2, counts, orders, "tl");
  double q[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  double t[4][1] = {{0}, {1}, {1}, {0}};
  TrainingRun run;
  run.net = &net;
  for (int e = 0; e < 4; ++e) {
    run.questions.push_back(q[e]);
    run.answers.push_back(t[e]);
  }
  TrainingContext c = run.context();
  ASSERT_EQ(rprop->Attach(&c), 1);
  const double initial = net.RmsError(run.questions.data(), 2, run.answers.data(), 1, 4);
  while (run.counter < 500 && (run.errors.empty() || run.errors.back() >= 0.01)) rprop->Epoch();
  ASSERT_FALSE(run.errors.empty());
  EXPECT_LT(run.errors.back(), 0.01) << "after " << run.counter << " epochs, starting from " << initial;
  EXPECT_EQ(run.counter, static_cast<int>(run.errors.size()));
  rprop->Detach();
}

// The threads confirmed in the dialog are the ones the next epoch runs with; the dialog shows
// them when it opens again.
TEST_F(KestrelProtocolTest, TheThreadsConfirmedInTheDialogReachTheEpoch) {
  loadList(std::string(KESTREL_LIBRARY));
  TrainingAlgorithm* rprop = loader.Selected();
  ASSERT_NE(rprop, nullptr);
  for (int threads : {3, 1}) {
    confirmDefaults(*rprop, threads);
    std::string shown;
    prompter.answerModal([&shown](platform::ModalDialog& d) {
      shown =
          dynamic_cast<RpropParametersDialog&>(d).field(RpropParametersDialog::Threads)->text().toStdString();
      return platform::IDCANCEL;
    });
    TrainingContext none;
    EXPECT_EQ(rprop->EditParameters(&none), 0);
    EXPECT_EQ(shown, std::to_string(threads));

    platform::crtSrand(1);
    int counts[] = {2, 1}, orders[] = {1, 1};
    Perceptron net(2, 2, counts, orders, "tl");
    double q[2][2] = {{0, 1}, {1, 0}}, t[2][1] = {{1}, {1}};
    TrainingRun run;
    run.net = &net;
    for (int e = 0; e < 2; ++e) {
      run.questions.push_back(q[e]);
      run.answers.push_back(t[e]);
    }
    TrainingContext c = run.context();
    ASSERT_EQ(rprop->Attach(&c), 1);
    rprop->Epoch();
    // The plug-in's object is a ResilientPropagation; its state is plain data read here.
    const auto& kestrel = static_cast<const ResilientPropagation&>(*rprop);
    ASSERT_NE(kestrel.state, nullptr);
    EXPECT_EQ(kestrel.state->threadCount(), threads);
    rprop->Detach();
  }
  confirmDefaults(*rprop);
}

// Rows of samples/two_spiral.csv (id,x,y,spiral,is_test): inputs centred to [-1, 1], targets ±1.
struct Spiral {
  std::vector<std::vector<double>> trainRows, testRows, trainTargets, testTargets;
};

Spiral readSpiral() {
  Spiral s;
  std::ifstream in(lumivane::test::samplePath("two_spiral.csv"));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string id, x, y, spiral, isTest;
    std::getline(fields, id, ',');
    std::getline(fields, x, ',');
    std::getline(fields, y, ',');
    std::getline(fields, spiral, ',');
    std::getline(fields, isTest, ',');
    std::vector<double> row{2 * std::stod(x) - 1, 2 * std::stod(y) - 1};
    std::vector<double> target{std::stod(spiral) > 0.5 ? 1.0 : -1.0};
    (std::stoi(isTest) ? s.testRows : s.trainRows).push_back(row);
    (std::stoi(isTest) ? s.testTargets : s.trainTargets).push_back(target);
  }
  return s;
}

double accuracy(Perceptron& net, std::vector<std::vector<double>>& rows,
                std::vector<std::vector<double>>& targets) {
  int right = 0;
  for (std::size_t e = 0; e < rows.size(); ++e) {
    double answer = 0;
    net.Answer(rows[e].data(), 2, &answer, 1);
    right += (answer > 0) == (targets[e][0] > 0);
  }
  return static_cast<double>(right) / static_cast<double>(rows.size());
}

TEST_F(KestrelProtocolTest, HigherOrderHiddenLayerLearnsTheTwoSpiralsBetterThanChance) {
  loadList(std::string(KESTREL_LIBRARY));
  TrainingAlgorithm* rprop = loader.Selected();
  ASSERT_NE(rprop, nullptr);
  confirmDefaults(*rprop);
  Spiral data = readSpiral();
  ASSERT_EQ(data.trainRows.size(), 193u);
  ASSERT_EQ(data.testRows.size(), 193u);

  platform::crtSrand(1);
  int counts[] = {24, 1}, orders[] = {3, 1};
  Perceptron net(2, 2, counts, orders, "tl");
  TrainingRun run;
  run.net = &net;
  for (std::size_t e = 0; e < data.trainRows.size(); ++e) {
    run.questions.push_back(data.trainRows[e].data());
    run.answers.push_back(data.trainTargets[e].data());
  }
  TrainingContext c = run.context();
  ASSERT_EQ(rprop->Attach(&c), 1);
  for (int epoch = 0; epoch < 1500; ++epoch) rprop->Epoch();
  const double trained = accuracy(net, data.trainRows, data.trainTargets);
  const double tested = accuracy(net, data.testRows, data.testTargets);
  std::printf("two spirals: training error %.4f, train accuracy %.3f, test accuracy %.3f\n",
              run.errors.back(), trained, tested);
  EXPECT_LT(run.errors.back(), run.errors.front());
  EXPECT_GT(trained, 0.9);
  EXPECT_GT(tested, 0.7);
  rprop->Detach();
}

}  // namespace
