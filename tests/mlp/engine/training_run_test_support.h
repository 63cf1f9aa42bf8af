#pragma once

// Shared by the training-run suites: a fixture that owns a table, a data set, the plug-in
// loader (with the real kestrel library when it is built) and the training run, a scripted
// stand-in algorithm, and waiting for the worker's notifications.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mlp/engine/algorithm_loader.h"
#include "mlp/engine/perceptron.h"
#include "mlp/engine/training_run.h"
#include "shared/raw_table.h"
#include "shared/vantor_data_set.h"
#include "tests/support/test_support.h"

namespace lumivane::test {

// Generous bound for anything the worker is waited for (sanitizer builds are slow).
inline constexpr std::chrono::seconds kWorkerTimeout{60};

// Runs a test inside a folder of its own, because methinfo is read from the current directory.
class CurrentDirectoryScope {
 public:
  explicit CurrentDirectoryScope(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~CurrentDirectoryScope() { std::filesystem::current_path(previous_); }
  CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
  CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

 private:
  std::filesystem::path previous_;
};

// Counts the worker's notifications and lets the test wait for them.
class NotificationLog {
 public:
  TrainingRun::Notifications notifications() {
    return {[this] { epochs_.fetch_add(1); },
            [this] {
              std::lock_guard lock(mutex_);
              ++ends_;
              changed_.notify_all();
            }};
  }
  // Waits until `count` runs have ended; false on time-out.
  bool waitForEnds(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWorkerTimeout, [&] { return ends_ >= count; });
  }
  int ends() const {
    std::lock_guard lock(mutex_);
    return ends_;
  }
  int epochs() const { return epochs_.load(); }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int ends_ = 0;
  std::atomic<int> epochs_{0};
};

// Polls condition every millisecond until it holds; false on time-out.
inline bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kWorkerTimeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A training algorithm whose behaviour the test scripts. Epoch behaves like a real plug-in
// (counter, then callback) and can be held inside until the test releases it.
class ScriptedAlgorithm final : public TrainingAlgorithm {
 public:
  ~ScriptedAlgorithm() = default;
  std::string Description() override { return "scripted"; }
  std::string Name() override { return "Scripted"; }
  int Epoch() override {
    if (!attached) return 0;
    {
      std::unique_lock lock(mutex_);
      ++epochsEntered;
      entered_.notify_all();
      released_.wait(lock, [&] { return !holdEpochs; });
    }
    ++*context.epochCounter;
    return context.callback ? context.callback(context.callbackData) : 0;
  }
  int Attach(const TrainingContext* received) override {
    context = *received;
    ++attachCalls;
    attached = attachResult;
    return attachResult;
  }
  void Detach() override {
    ++detachCalls;
    networkExistsAtDetach = context.networkExists ? *context.networkExists : -1;
    attached = 0;
  }
  int EditParameters(const TrainingContext*) override { return 0; }

  // Holding: every Epoch waits inside until release().
  void hold() {
    std::lock_guard lock(mutex_);
    holdEpochs = true;
  }
  void release() {
    std::lock_guard lock(mutex_);
    holdEpochs = false;
    released_.notify_all();
  }
  bool waitUntilEntered(int count) {
    std::unique_lock lock(mutex_);
    return entered_.wait_for(lock, kWorkerTimeout, [&] { return epochsEntered >= count; });
  }
  int entered() {
    std::lock_guard lock(mutex_);
    return epochsEntered;
  }

  TrainingContext context{};
  int attachResult = 1;
  int attached = 0;
  int attachCalls = 0;
  int detachCalls = 0;
  int networkExistsAtDetach = -2;

 private:
  std::mutex mutex_;
  std::condition_variable entered_;
  std::condition_variable released_;
  bool holdEpochs = false;
  int epochsEntered = 0;
};

// Twenty rows of a smooth target y = 0.5·x1 − 0.3·x2 + 0.2·x1·x2, a third input that the
// network does not need, and a second output for dimension tests; columns x1, x2, x3, y, z.
inline RawTable smoothTable() {
  RawTable table;
  constexpr int kRows = 20;
  EXPECT_TRUE(table.allocate(5, kRows, false));
  table.columnNames = {"x1", "x2", "x3", "y", "z"};
  for (int r = 0; r < kRows; ++r) {
    const double x1 = std::sin(0.7 * r);
    const double x2 = std::cos(1.3 * r + 0.4);
    table.columns[0][static_cast<std::size_t>(r)] = x1;
    table.columns[1][static_cast<std::size_t>(r)] = x2;
    table.columns[2][static_cast<std::size_t>(r)] = 0.1 * r;
    table.columns[3][static_cast<std::size_t>(r)] = 0.5 * x1 - 0.3 * x2 + 0.2 * x1 * x2;
    table.columns[4][static_cast<std::size_t>(r)] = x1 * x1;
  }
  table.loaded = true;
  return table;
}

// The network's serialised block: equal strings mean equal weights.
inline std::string weightsOf(const Perceptron& network) {
  std::ostringstream out(std::ios::binary);
  network.WriteBlock(out);
  return out.str();
}

// Root-mean-square error over positions from..from+count−1 of the training order, computed
// example by example through Answer.
inline double referenceRms(Perceptron& network, const VantorDataSet& dataSet, int from, int count) {
  if (count == 0) return 0.0;
  const int inputs = dataSet.inputCount();
  const int outputs = dataSet.outputCount();
  std::vector<double> answer(static_cast<std::size_t>(outputs));
  double sum = 0.0;
  for (int p = from; p < from + count; ++p) {
    network.Answer(dataSet.questions()[p], inputs, answer.data(), outputs);
    for (int k = 0; k < outputs; ++k) {
      const double d = answer[static_cast<std::size_t>(k)] - dataSet.answers()[p][k];
      sum += d * d;
    }
  }
  return std::sqrt(sum / (static_cast<double>(outputs) * count));
}

// Owns everything a training run needs. Members are declared so that the run goes first and
// the loader (which unloads the plug-in) last.
class TrainingFixture : public PromptedTest {
 protected:
  TrainingFixture() {
    run = std::make_unique<TrainingRun>(dataSet, loader);
    run->setNotifications(log.notifications());
  }
  void TearDown() override {
    scripted.release();
    if (run) {
      run->StopTraining();
      run->WaitForTrainingThread();
    }
    PromptedTest::TearDown();
  }

  // Loads the kestrel library through a methinfo naming it; skips the test when the plug-in is
  // not part of this build.
  bool loadKestrel() {
#ifdef KESTREL_LIBRARY
    std::ofstream(work.file("methinfo")) << KESTREL_LIBRARY << "\n";
    loader.LoadAlgorithms();
    EXPECT_EQ(loader.selectedAlgorithm, 0);
    EXPECT_EQ(loader.algorithms.size(), 1u);
    return loader.selectedAlgorithm == 0;
#else
    return false;
#endif
  }
  // Puts a scripted algorithm into the list and selects it.
  void useScripted() {
    loader.algorithms.push_back(&scripted);
    loader.selectedAlgorithm = static_cast<int>(loader.algorithms.size()) - 1;
  }

  // Attaches the table and chooses its columns (all unnormalised) as the sheet does.
  void chooseColumns(std::vector<std::int32_t> inputs, std::vector<std::int32_t> outputs) {
    dataSet.attach(table);
    std::vector<NormalisationKind> inputKinds(inputs.size(), NormalisationKind::None);
    std::vector<NormalisationKind> outputKinds(outputs.size(), NormalisationKind::None);
    dataSet.setInputs(inputs, inputKinds);
    dataSet.setOutputs(outputs, outputKinds);
    run->ResetSplit();
  }
  // A network of inputs → 3 tanh → outputs linear neurons, weights from the generator.
  static std::unique_ptr<Perceptron> smallNetwork(int inputs, int outputs) {
    const int counts[] = {3, outputs};
    const int orders[] = {1, 1};
    const char codes[] = {'t', 'l'};
    return std::make_unique<Perceptron>(inputs, 2, counts, orders, codes);
  }
  // The usual set-up: x1, x2 → y, a network that fits, the last five rows for testing.
  void smoothProblem() {
    chooseColumns({0, 1}, {3});
    run->SetNetwork(smallNetwork(2, 1));
    run->ApplyTestSetChoice({{TestSetMode::LastExamples, 0, 0}, 5});
  }
  void useCriteria(int maxEpochs, float trainingLimit = 0.0f, float testLimit = 0.0f) {
    run->SetStoppingCriteria({1, maxEpochs, trainingLimit, testLimit});
  }
  // Starts and waits for the worker to end by itself; the run's index among this test's runs.
  void trainToEnd() {
    const int before = log.ends();
    ASSERT_TRUE(run->StartTraining());
    ASSERT_TRUE(log.waitForEnds(before + 1));
    ASSERT_TRUE(run->WaitForTrainingThread());
  }

  TempDir work;
  CurrentDirectoryScope cwd{work.path()};
  RawTable table = smoothTable();
  VantorDataSet dataSet;
  AlgorithmLoader loader{std::string()};
  ScriptedAlgorithm scripted;
  NotificationLog log;
  std::unique_ptr<TrainingRun> run;
};

}  // namespace lumivane::test
