#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mlp/engine/training_algorithm.h"
#include "shared/test_set.h"

class AlgorithmLoader;
class Perceptron;
class VantorDataSet;

// When training stops by itself. All three limits are in force together while
// useStoppingCriteria is set.
struct StoppingCriteria {
  int useStoppingCriteria = 0;      // "Use stopping criteria"
  int maxEpochs = 100000;           // "Stop if number of epoches is over"
  float trainingErrorLimit = 0.0f;  // "Stop if training error is less than"
  float testErrorLimit = 0.0f;      // "Stop if test error is less than"
  friend bool operator==(const StoppingCriteria&, const StoppingCriteria&) = default;
};

// The values of the "Test set redactor": the data set's three layout parameters and the
// requested number of test examples.
struct TestSetChoice {
  TestSetParameters parameters;
  std::int32_t testCount = 0;
};

// The values of the "Randomization" dialog.
struct Randomization {
  enum class Kind { Randomize, AddNoise };
  Kind kind = Kind::Randomize;  // "Randomize synapses" / "Add noise to synapses"
  double range = 0.5;           // "Enter range:"
};

// What the user interface may read at any moment without waiting for an epoch: the values of
// the training page's texts and the sizes of the split, as they were after the last epoch or
// command.
struct TrainingSnapshot {
  int epochCounter = 0;
  int historyCapacity = 0;
  int trainingCount = 0;
  int testCount = 0;
  float trainingError = 0.0f;  // trainingErrors[epochCounter]
  float testError = 0.0f;      // testErrors[epochCounter]
};

// The network with the lowest error seen while training (after each epoch, and the network each
// start begins from): its epoch and the errors measured there. The test error decides; the
// training error when there are no test examples. Ties keep the earlier network.
struct BestNetworkInfo {
  bool kept = false;
  int epoch = 0;
  float trainingError = 0.0f;
  float testError = 0.0f;
};

// What a reader sees while it holds the model (see WithModel): no epoch runs meanwhile. The
// network may be evaluated (that writes its scratch arrays, which is why readers are serialised
// with the epochs). History entries 0..epochCounter are valid.
struct TrainingModelView {
  Perceptron* network = nullptr;  // null when no network exists
  VantorDataSet* dataSet = nullptr;
  const float* trainingErrors = nullptr;  // historyCapacity entries
  const float* testErrors = nullptr;
  int epochCounter = 0;
  int historyCapacity = 0;
  int trainingCount = 0;
  int testCount = 0;
};

// Vantor's training run, owned by the main sheet: the training state, the split of the data set
// into training and test examples, the worker thread that asks the selected algorithm for one
// epoch after another, the training and test error after every epoch, and the stopping criteria.
//
// Threads. Every operation runs on the user-interface thread except the worker's TrainingStep
// and the two notifications it sends. isTraining and mayStep are the only flags the threads
// share directly. Each epoch (growth of the histories, the algorithm's Epoch with its error
// measurement, the stopping test) runs under a model lock; the user interface reads the
// histories and evaluates the network only under the same lock (WithModel / TryWithModel),
// so a reader never sees a half-trained network. Snapshot() and TryWithModel never wait for an
// epoch; WithModel waits at most for the current one. The worker never waits for the user
// interface's event processing (its notifications must only post work to it); at most it waits
// for a reader to leave the model before its next epoch.
// Commands that change the network, the split or the histories refuse (return false, show
// nothing) while isTraining is set; after StopTraining they first wait for the worker to finish
// its current epoch.
//
// The data set and the algorithm loader belong to the main sheet and must outlive this object.
class TrainingRun {
 public:
  // The application name, caption of the training messages.
  static constexpr const char* kMessageCaption = "VANTOR3";
  // Entries the histories start with and grow by.
  static constexpr int kHistoryStep = 1000;
  // How often a paused worker looks at mayStep again.
  static constexpr std::chrono::milliseconds kPausePoll{5};

  // Sent from the worker thread: after every epoch (the training page, the error-history window
  // and the scattering diagram refresh themselves), and once when the thread's loop has ended
  // (the main sheet's WM_REFRESHPAGE). Both must return at once, without waiting for the user
  // interface.
  struct Notifications {
    std::function<void()> epochFinished;
    std::function<void()> trainingEnded;
  };

  // Starts stopped, with empty histories of kHistoryStep entries, no network, and every example
  // a training example.
  TrainingRun(VantorDataSet& dataSet, AlgorithmLoader& algorithms);
  // Stops the worker (after its current epoch), then detaches the selected algorithm and deletes
  // the network.
  ~TrainingRun();
  TrainingRun(const TrainingRun&) = delete;
  TrainingRun& operator=(const TrainingRun&) = delete;

  // Set while stopped (before the first start); ignored while the worker runs.
  void setNotifications(Notifications notifications);
  // The window that owns the plug-in's dialogs (the main sheet); opaque here.
  void setOwnerWindow(QWidget* owner) { owner_ = owner; }
  // Most entries a history may grow to; growing beyond it is handled like an allocation that
  // failed (the history is cleared and training goes on). The default is the most an int
  // counter can index. Set while stopped; ignored while the worker runs.
  void setHistoryLimit(int entries);

  // --- State the sheet reads ------------------------------------------------------------------
  // A network exists: set by SetNetwork, cleared by DiscardNetwork. Its address goes to the
  // plug-in, which reads it on attach and detach.
  bool networkExists() const { return networkExists_ != 0; }
  // The data set has input / output columns (derived from it, so the two can never disagree).
  bool inputsChosen() const;
  bool outputsChosen() const;
  // Set from a successful start until StopTraining or a met stopping criterion; the worker
  // goes on while it is set.
  bool isTraining() const { return isTraining_.load() != 0; }
  // The worker runs its next epoch only while this is set (the error-history window clears it
  // while it paints). Every start sets it.
  bool mayStep() const { return mayStep_.load() != 0; }
  void setMayStep(bool may) { mayStep_.store(may ? 1 : 0); }

  // --- Commands --------------------------------------------------------------------------------
  // "Start training": the readiness check, the algorithm guard, Attach, then the worker thread.
  // Each failure shows its message and leaves training stopped. The history is kept: epochs
  // continue from the current epochCounter. True when the worker was started.
  bool StartTraining();
  // "Stop training": clears isTraining; the worker finishes its current epoch and ends.
  void StopTraining() { isTraining_.store(0); }
  // True from a successful start until the worker's loop has ended (which may be one epoch after
  // StopTraining).
  bool IsThreadRunning() const { return threadRunning_.load(); }
  // Waits for a stopped run's worker to finish its last epoch. False, without waiting, while
  // isTraining is set. Call before changing the data set outside this class.
  bool WaitForTrainingThread();

  // The context for a plug-in's EditParameters: owner, network, network-exists flag, the
  // question and answer pointers and the data set's counts; no callback.
  TrainingContext EditingContext(QWidget* owner);

  // The readiness check: shows the first message that applies and returns false.
  bool CheckTrainingData();

  // One epoch with its bookkeeping (worker thread): grows the histories when they are nearly
  // full, runs the algorithm's Epoch (which measures the errors), notifies epochFinished and
  // clears isTraining when a stopping criterion is met.
  void TrainingStep();
  // Stores the current training and test error at index epochCounter, as floats, when a network
  // exists that fits the data set; an empty set's error is 0. If an epoch is under way it does
  // nothing: that epoch measures the errors itself when it ends.
  void MeasureErrors();
  // With criteria in use: epochCounter > maxEpochs, or a stored error not ≥ its limit.
  bool StoppingCriteriaMet();
  // "Clear epoches": fresh histories of kHistoryStep entries, epochCounter 0, entry 0 measured.
  // Throws OutOfMemoryException when not even those can be had (the histories are then empty
  // and nothing is measured until a later clear succeeds).
  bool ClearHistory();
  // Re-splits the examples with the data set's test-set parameters and the requested testCount,
  // which the layout may cut; trainingCount = N − testCount; measures the errors.
  // Throws OutOfMemoryException when the order cannot be laid out.
  bool ApplyTestSet();

  // The three dialog commands. The dialog gets the current values and returns the confirmed
  // ones, or nothing when cancelled. True when something was applied (the caller then refreshes
  // the training page and the graph windows).
  using TestSetDialog =
      std::function<std::optional<TestSetChoice>(const TestSetChoice& current, std::int32_t exampleCount)>;
  using StoppingCriteriaDialog =
      std::function<std::optional<StoppingCriteria>(const StoppingCriteria& current)>;
  using RandomizationDialog = std::function<std::optional<Randomization>()>;
  // Needs input and output columns; on confirmation stores the choice and runs ApplyTestSet.
  bool EditTestSet(const TestSetDialog& dialog);
  // Allowed while training runs; the worker uses the new values from its next epoch on.
  bool EditStoppingCriteria(const StoppingCriteriaDialog& dialog);
  // Needs a network; randomises or adds noise, then measures the errors into the current entry.
  bool RandomizeSynapses(const RandomizationDialog& dialog);
  // Applies confirmed values directly (projects, the commands above).
  bool ApplyTestSetChoice(const TestSetChoice& choice);
  void SetStoppingCriteria(const StoppingCriteria& criteria);
  bool ApplyRandomization(const Randomization& randomization);

  // "Discard network": the selected algorithm releases the network, fresh histories, the network
  // deleted and networkExists cleared. The graph windows are the caller's to close.
  bool DiscardNetwork();
  // Makes network the current one (discarding any previous one), sets networkExists and measures
  // the errors. Refused (network dropped, false) while training runs.
  bool SetNetwork(std::unique_ptr<Perceptron> network);
  // Puts the kept best network's weights back into the network and measures the errors afresh
  // into the current entry; the history and the kept copy stay. False while training runs or
  // when nothing is kept.
  bool RestoreBestNetwork();
  // Called after the data set's examples changed (new table or new columns) while stopped:
  // every example becomes a training example again until ApplyTestSet runs.
  bool ResetSplit();

  // --- Reading ---------------------------------------------------------------------------------
  // Never waits for an epoch.
  TrainingSnapshot Snapshot() const;
  StoppingCriteria stoppingCriteria() const;
  // The kept best network's epoch and errors (never waits for an epoch).
  BestNetworkInfo bestNetwork() const;
  // True when a network exists and fits the data set (otherwise the page shows "Not exist").
  bool ErrorsExist() const;
  // Failure that ended the worker early (a memory shortage while measuring), empty when none.
  // Reading clears it.
  std::string TakeTrainingFailure();

  // Runs reader(view) once no epoch is under way (waits at most for the current one). The
  // reader must not call back into this object.
  template <class Reader>
  decltype(auto) WithModel(Reader&& reader) {
    std::lock_guard lock(modelMutex_);
    return reader(viewLocked());
  }
  // Runs reader(view) only if no epoch is under way right now; false otherwise (the epoch's
  // epochFinished notification will bring the reader back).
  template <class Reader>
  bool TryWithModel(Reader&& reader) {
    std::unique_lock lock(modelMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    reader(viewLocked());
    return true;
  }
  // Copies of history entries 0..epochCounter (waits at most for the current epoch).
  std::vector<float> TrainingHistory();
  std::vector<float> TestHistory();

  Perceptron* network() const { return network_.get(); }
  VantorDataSet& dataSet() const { return dataSet_; }
  AlgorithmLoader& algorithms() const { return algorithms_; }

 private:
  // Memory for one error history.
  using History = std::unique_ptr<float[]>;

  void trainingThread();
  // One epoch under the model lock; true when a stopping criterion is met afterwards.
  bool stepLocked();
  void measureErrorsLocked();
  bool stoppingCriteriaMetLocked() const;
  void clearHistoryLocked();
  // Adds kHistoryStep entries to both histories; false (nothing changed) when memory is short.
  bool growHistoryLocked();
  void publishLocked();
  // After an epoch and at a start: copies the weights when the current entry's deciding error is
  // below the kept one.
  void keepBestLocked();
  void forgetBestLocked();
  bool errorsExistLocked() const;
  TrainingModelView viewLocked();
  TrainingContext makeContext();
  void showMessage(const char* text) const;
  // Joins a finished worker; false while isTraining is set.
  bool quiesce();
  static int measureAfterEpoch(void* run);

  VantorDataSet& dataSet_;
  AlgorithmLoader& algorithms_;
  QWidget* owner_ = nullptr;
  Notifications notifications_;

  // Guarded by modelMutex_ while the worker runs (its fields are read by the plug-in through the
  // context's pointers, hence the raw pointers beside the owning storage).
  std::unique_ptr<Perceptron> network_;
  History trainingStorage_;
  History testStorage_;
  float* trainingErrors_ = nullptr;
  float* testErrors_ = nullptr;
  int epochCounter_ = 0;
  int historyCapacity_ = 0;
  int testCount_ = 0;
  int trainingCount_ = 0;
  int historyLimit_ = std::numeric_limits<int>::max();
  // All weights of the best network, neuron after neuron in layer order.
  std::vector<double> bestWeights_;
  mutable std::mutex modelMutex_;

  // Guarded by stateMutex_, which is never held for longer than a copy.
  StoppingCriteria criteria_;
  TrainingSnapshot snapshot_;
  BestNetworkInfo best_;
  std::string failure_;
  mutable std::mutex stateMutex_;

  // The algorithm the last StartTraining attached; written before the worker starts.
  TrainingAlgorithm* running_ = nullptr;
  std::atomic<bool> threadRunning_{false};
  // The words the plug-in and the worker share with the user interface.
  int networkExists_ = 0;
  std::atomic<int> isTraining_{0};
  std::atomic<int> mayStep_{0};
  std::thread worker_;
};
