#include "mlp/engine/training_run.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <system_error>
#include <utility>

#include "mlp/engine/algorithm_loader.h"
#include "mlp/engine/perceptron.h"
#include "platform/prompter.h"
#include "shared/exceptions.h"
#include "shared/vantor_data_set.h"

namespace {

constexpr const char* kNoNetworkText = "Create the network first";
constexpr const char* kNoInputsText = "Select data set first!";
constexpr const char* kNoOutputsText =
    "Your data has no outputs specified and\nmay be used only to save answers!";
constexpr const char* kInputsDifferText =
    "Inputs dimension in data set isn't equal the one of the network!\n"
    "Create proper network or change data set!";
constexpr const char* kOutputsDifferText =
    "Outputs dimension in data set isn't equal the one of the network!\n"
    "Create proper network or change data set!";
constexpr const char* kNoAlgorithmText = "Select training algorithm first";
constexpr const char* kAttachFailedText = "Can't attach algorithm to neural network";
constexpr const char* kThreadFailedText = "Can't create thread!";
constexpr const char* kNoTrainingDataText =
    "You haven't created training data.\nData must have inputs and outputs.";
constexpr const char* kOutOfMemoryText = "Out of Memory!";

// Zero-filled so that entries no epoch has reached read as 0, never as garbage.
std::unique_ptr<float[]> allocateHistory(int entries) {
  return std::unique_ptr<float[]>(new (std::nothrow) float[static_cast<std::size_t>(entries)]());
}

}  // namespace

TrainingRun::TrainingRun(VantorDataSet& dataSet, AlgorithmLoader& algorithms)
    : dataSet_(dataSet), algorithms_(algorithms), trainingCount_(dataSet.rows()) {
  std::lock_guard lock(modelMutex_);
  clearHistoryLocked();
}

TrainingRun::~TrainingRun() {
  StopTraining();
  if (worker_.joinable()) worker_.join();
  if (networkExists_) {
    if (TrainingAlgorithm* algorithm = algorithms_.Selected()) algorithm->Detach();
  }
  network_.reset();
  networkExists_ = 0;
}

bool TrainingRun::inputsChosen() const {
  return dataSet_.inputCount() > 0;
}

bool TrainingRun::outputsChosen() const {
  return dataSet_.outputCount() > 0;
}

void TrainingRun::setNotifications(Notifications notifications) {
  if (!quiesce()) return;
  notifications_ = std::move(notifications);
}

void TrainingRun::setHistoryLimit(int entries) {
  if (!quiesce()) return;
  historyLimit_ = std::max(entries, kHistoryStep);
}

void TrainingRun::showMessage(const char* text) const {
  platform::prompter().messageBox(text, kMessageCaption, platform::MB_OK);
}

bool TrainingRun::quiesce() {
  if (isTraining_.load()) return false;
  if (worker_.joinable()) worker_.join();
  return true;
}

bool TrainingRun::WaitForTrainingThread() {
  return quiesce();
}

// --- Start and the worker --------------------------------------------------------------------

bool TrainingRun::CheckTrainingData() {
  const char* problem = nullptr;
  if (!networkExists_ || !network_)
    problem = kNoNetworkText;
  else if (!inputsChosen())
    problem = kNoInputsText;
  else if (!outputsChosen())
    problem = kNoOutputsText;
  else if (network_->inputs != dataSet_.inputCount())
    problem = kInputsDifferText;
  else if (network_->outputs != dataSet_.outputCount())
    problem = kOutputsDifferText;
  if (!problem) return true;
  showMessage(problem);
  return false;
}

TrainingContext TrainingRun::makeContext() {
  TrainingContext context;
  context.owner = owner_;
  context.network = network_.get();
  context.networkExists = &networkExists_;
  context.questions = dataSet_.questions();
  context.answers = dataSet_.answers();
  context.trainingHistory = &trainingErrors_;
  context.testHistory = &testErrors_;
  context.inputCount = dataSet_.inputCount();
  context.outputCount = dataSet_.outputCount();
  context.trainingCount = trainingCount_;
  context.epochCounter = &epochCounter_;
  context.callbackData = this;
  context.callback = &TrainingRun::measureAfterEpoch;
  return context;
}

TrainingContext TrainingRun::EditingContext(QWidget* owner) {
  TrainingContext context;
  context.owner = owner;
  context.network = networkExists_ ? network_.get() : nullptr;
  context.networkExists = &networkExists_;
  context.questions = dataSet_.questions();
  context.answers = dataSet_.answers();
  context.inputCount = dataSet_.inputCount();
  context.outputCount = dataSet_.outputCount();
  return context;
}

bool TrainingRun::StartTraining() {
  // A run that was stopped may still be finishing its epoch: let it end before attaching again.
  if (!quiesce()) return false;
  if (!CheckTrainingData()) return false;
  TrainingAlgorithm* algorithm = algorithms_.Selected();
  if (!algorithm) {
    showMessage(kNoAlgorithmText);
    return false;
  }
  const TrainingContext context = makeContext();
  if (!algorithm->Attach(&context)) {
    showMessage(kAttachFailedText);
    return false;
  }
  {
    std::lock_guard lock(stateMutex_);
    failure_.clear();
  }
  {
    // The network the run starts from competes too: the first epochs may make it worse.
    std::lock_guard lock(modelMutex_);
    keepBestLocked();
  }
  running_ = algorithm;
  isTraining_.store(1);
  mayStep_.store(1);
  threadRunning_.store(true);
  try {
    worker_ = std::thread(&TrainingRun::trainingThread, this);
  } catch (const std::system_error&) {
    threadRunning_.store(false);
    isTraining_.store(0);
    showMessage(kThreadFailedText);
    return false;
  }
  return true;
}

void TrainingRun::trainingThread() {
  while (isTraining_.load()) {
    if (mayStep_.load()) {
      TrainingStep();
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(kPausePoll);
    }
  }
  threadRunning_.store(false);
  if (notifications_.trainingEnded) notifications_.trainingEnded();
}

void TrainingRun::TrainingStep() {
  bool met = false;
  try {
    std::lock_guard lock(modelMutex_);
    met = stepLocked();
  } catch (const std::exception& failure) {
    // Only a memory shortage can get here (the plug-in lets nothing escape): end the run and
    // keep the reason for the user interface, which the worker must not wait for.
    std::lock_guard lock(stateMutex_);
    failure_ = failure.what();
    met = true;
  }
  if (notifications_.epochFinished) notifications_.epochFinished();
  if (met) isTraining_.store(0);
}

bool TrainingRun::stepLocked() {
  // Keep room for the entry this epoch writes (and one to spare).
  if (epochCounter_ >= historyCapacity_ - 2 && !growHistoryLocked()) clearHistoryLocked();
  // The algorithm attached by the last start: the worker never looks into the loader, which
  // belongs to the user interface.
  if (running_) running_->Epoch();
  keepBestLocked();
  publishLocked();
  return stoppingCriteriaMetLocked();
}

// --- The best network -------------------------------------------------------------------------

void TrainingRun::keepBestLocked() {
  if (!errorsExistLocked() || epochCounter_ < 0 || epochCounter_ >= historyCapacity_) return;
  const float trainingError = trainingErrors_[epochCounter_];
  const float testError = testErrors_[epochCounter_];
  const float deciding = testCount_ > 0 ? testError : trainingError;
  if (std::isnan(deciding)) return;
  {
    std::lock_guard lock(stateMutex_);
    const float kept = testCount_ > 0 ? best_.testError : best_.trainingError;
    if (best_.kept && !(deciding < kept)) return;
  }
  // Only an improvement copies: a few thousand doubles at most, once the error stops falling
  // hardly ever.
  try {
    bestWeights_.resize(network_->WeightCount());
  } catch (const std::bad_alloc&) {
    return;  // nothing kept rather than a run ended for want of a copy
  }
  double* target = bestWeights_.data();
  for (int layer = 0; layer < network_->layerCount; ++layer) {
    for (int index = 0; index < network_->neuronCounts[layer]; ++index) {
      const Neuron& neuron = *network_->neurons[layer][index];
      target = std::copy_n(neuron.AllWeights(), neuron.WeightCount(), target);
    }
  }
  std::lock_guard lock(stateMutex_);
  best_.kept = true;
  best_.epoch = epochCounter_;
  best_.trainingError = trainingError;
  best_.testError = testError;
}

void TrainingRun::forgetBestLocked() {
  bestWeights_.clear();
  std::lock_guard lock(stateMutex_);
  best_ = BestNetworkInfo();
}

BestNetworkInfo TrainingRun::bestNetwork() const {
  std::lock_guard lock(stateMutex_);
  return best_;
}

bool TrainingRun::RestoreBestNetwork() {
  if (!quiesce() || !network_ || !networkExists_) return false;
  std::lock_guard lock(modelMutex_);
  if (!bestNetwork().kept || bestWeights_.size() != network_->WeightCount()) return false;
  const double* source = bestWeights_.data();
  for (int layer = 0; layer < network_->layerCount; ++layer) {
    for (int index = 0; index < network_->neuronCounts[layer]; ++index) {
      Neuron& neuron = *network_->neurons[layer][index];
      std::copy_n(source, neuron.WeightCount(), neuron.AllWeights());
      source += neuron.WeightCount();
    }
  }
  measureErrorsLocked();
  publishLocked();
  return true;
}

int TrainingRun::measureAfterEpoch(void* run) {
  // Called inside the algorithm's Epoch, on the worker, which holds the model lock.
  static_cast<TrainingRun*>(run)->measureErrorsLocked();
  return 1;
}

// --- Errors and the history -------------------------------------------------------------------

bool TrainingRun::errorsExistLocked() const {
  return networkExists_ && network_ && inputsChosen() && outputsChosen() &&
         network_->inputs == dataSet_.inputCount() && network_->outputs == dataSet_.outputCount();
}

bool TrainingRun::ErrorsExist() const {
  return errorsExistLocked();
}

void TrainingRun::MeasureErrors() {
  std::unique_lock lock(modelMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  measureErrorsLocked();
  publishLocked();
}

void TrainingRun::measureErrorsLocked() {
  if (!errorsExistLocked()) return;
  // The plug-in moves the counter; never write outside the history.
  if (epochCounter_ < 0 || epochCounter_ >= historyCapacity_) return;
  const int inputs = dataSet_.inputCount();
  const int outputs = dataSet_.outputCount();
  double* const* questions = dataSet_.questions();
  double* const* answers = dataSet_.answers();
  // RmsError gives 0 for an empty set, the value recorded for it.
  trainingErrors_[epochCounter_] =
      static_cast<float>(network_->RmsError(questions, inputs, answers, outputs, trainingCount_));
  testErrors_[epochCounter_] = static_cast<float>(
      network_->RmsError(questions + trainingCount_, inputs, answers + trainingCount_, outputs, testCount_));
}

bool TrainingRun::StoppingCriteriaMet() {
  std::lock_guard lock(modelMutex_);
  return stoppingCriteriaMetLocked();
}

bool TrainingRun::stoppingCriteriaMetLocked() const {
  const StoppingCriteria criteria = stoppingCriteria();
  if (!criteria.useStoppingCriteria) return false;
  if (epochCounter_ > criteria.maxEpochs) return true;
  if (epochCounter_ < 0 || epochCounter_ >= historyCapacity_) return false;
  // "Not ≥" rather than "<", so that an error that is not a number stops training as well; the
  // stored floats are compared, exactly as the page shows them.
  const float trainingError = trainingErrors_[epochCounter_];
  const float testError = testErrors_[epochCounter_];
  return !(trainingError >= criteria.trainingErrorLimit) || !(testError >= criteria.testErrorLimit);
}

bool TrainingRun::ClearHistory() {
  if (!quiesce()) return false;
  std::lock_guard lock(modelMutex_);
  clearHistoryLocked();
  return true;
}

void TrainingRun::clearHistoryLocked() {
  // The kept best network belongs to the history's epochs.
  forgetBestLocked();
  // Free first, so that a history that could not grow leaves room for the fresh one.
  trainingStorage_.reset();
  testStorage_.reset();
  trainingErrors_ = testErrors_ = nullptr;
  historyCapacity_ = 0;
  epochCounter_ = 0;
  History training = allocateHistory(kHistoryStep);
  History test = allocateHistory(kHistoryStep);
  if (!training || !test) {
    publishLocked();
    throw OutOfMemoryException(kOutOfMemoryText);
  }
  trainingStorage_ = std::move(training);
  testStorage_ = std::move(test);
  trainingErrors_ = trainingStorage_.get();
  testErrors_ = testStorage_.get();
  historyCapacity_ = kHistoryStep;
  measureErrorsLocked();
  publishLocked();
}

bool TrainingRun::growHistoryLocked() {
  if (historyCapacity_ > historyLimit_ - kHistoryStep) return false;
  const int capacity = historyCapacity_ + kHistoryStep;
  History training = allocateHistory(capacity);
  History test = allocateHistory(capacity);
  if (!training || !test) return false;
  std::copy_n(trainingErrors_, historyCapacity_, training.get());
  std::copy_n(testErrors_, historyCapacity_, test.get());
  trainingStorage_ = std::move(training);
  testStorage_ = std::move(test);
  trainingErrors_ = trainingStorage_.get();
  testErrors_ = testStorage_.get();
  historyCapacity_ = capacity;
  return true;
}

void TrainingRun::publishLocked() {
  TrainingSnapshot snapshot;
  snapshot.epochCounter = epochCounter_;
  snapshot.historyCapacity = historyCapacity_;
  snapshot.trainingCount = trainingCount_;
  snapshot.testCount = testCount_;
  if (epochCounter_ >= 0 && epochCounter_ < historyCapacity_) {
    snapshot.trainingError = trainingErrors_[epochCounter_];
    snapshot.testError = testErrors_[epochCounter_];
  }
  std::lock_guard lock(stateMutex_);
  snapshot_ = snapshot;
}

TrainingSnapshot TrainingRun::Snapshot() const {
  std::lock_guard lock(stateMutex_);
  return snapshot_;
}

StoppingCriteria TrainingRun::stoppingCriteria() const {
  std::lock_guard lock(stateMutex_);
  return criteria_;
}

std::string TrainingRun::TakeTrainingFailure() {
  std::lock_guard lock(stateMutex_);
  return std::exchange(failure_, std::string());
}

TrainingModelView TrainingRun::viewLocked() {
  TrainingModelView view;
  view.network = networkExists_ ? network_.get() : nullptr;
  view.dataSet = &dataSet_;
  view.trainingErrors = trainingErrors_;
  view.testErrors = testErrors_;
  view.epochCounter = epochCounter_;
  view.historyCapacity = historyCapacity_;
  view.trainingCount = trainingCount_;
  view.testCount = testCount_;
  return view;
}

std::vector<float> TrainingRun::TrainingHistory() {
  return WithModel([](const TrainingModelView& view) {
    return std::vector<float>(view.trainingErrors, view.trainingErrors + view.epochCounter + 1);
  });
}

std::vector<float> TrainingRun::TestHistory() {
  return WithModel([](const TrainingModelView& view) {
    return std::vector<float>(view.testErrors, view.testErrors + view.epochCounter + 1);
  });
}

// --- The split and the dialogs ----------------------------------------------------------------

bool TrainingRun::ApplyTestSet() {
  if (!quiesce()) return false;
  std::lock_guard lock(modelMutex_);
  const std::int32_t exampleCount = dataSet_.rows();
  testCount_ = dataSet_.orderRows(testCount_);
  trainingCount_ = exampleCount - testCount_;
  // Errors kept for another split no longer compare.
  forgetBestLocked();
  measureErrorsLocked();
  publishLocked();
  return true;
}

bool TrainingRun::ResetSplit() {
  if (!quiesce()) return false;
  std::lock_guard lock(modelMutex_);
  dataSet_.resetOrder();
  forgetBestLocked();
  testCount_ = 0;
  trainingCount_ = dataSet_.rows();
  publishLocked();
  return true;
}

bool TrainingRun::EditTestSet(const TestSetDialog& dialog) {
  if (isTraining_.load()) return false;
  if (!inputsChosen() || !outputsChosen()) {
    showMessage(kNoTrainingDataText);
    return false;
  }
  TestSetChoice current;
  current.parameters = dataSet_.testSetParameters();
  current.testCount = testCount_;
  const std::optional<TestSetChoice> confirmed = dialog(current, dataSet_.rows());
  if (!confirmed) return false;
  return ApplyTestSetChoice(*confirmed);
}

bool TrainingRun::ApplyTestSetChoice(const TestSetChoice& choice) {
  if (!quiesce()) return false;
  {
    std::lock_guard lock(modelMutex_);
    dataSet_.setTestSetParameters(choice.parameters);
    testCount_ = choice.testCount;
  }
  return ApplyTestSet();
}

bool TrainingRun::EditStoppingCriteria(const StoppingCriteriaDialog& dialog) {
  const std::optional<StoppingCriteria> confirmed = dialog(stoppingCriteria());
  if (!confirmed) return false;
  SetStoppingCriteria(*confirmed);
  return true;
}

void TrainingRun::SetStoppingCriteria(const StoppingCriteria& criteria) {
  std::lock_guard lock(stateMutex_);
  criteria_ = criteria;
}

bool TrainingRun::RandomizeSynapses(const RandomizationDialog& dialog) {
  if (isTraining_.load()) return false;
  if (!networkExists_ || !network_) {
    showMessage(kNoNetworkText);
    return false;
  }
  const std::optional<Randomization> confirmed = dialog();
  if (!confirmed) return false;
  return ApplyRandomization(*confirmed);
}

bool TrainingRun::ApplyRandomization(const Randomization& randomization) {
  if (!quiesce() || !network_) return false;
  std::lock_guard lock(modelMutex_);
  if (randomization.kind == Randomization::Kind::AddNoise)
    network_->AddNoise(randomization.range);
  else
    network_->Randomize(randomization.range);
  // The current entry is overwritten; the history itself stays.
  measureErrorsLocked();
  publishLocked();
  return true;
}

// --- The network ------------------------------------------------------------------------------

bool TrainingRun::DiscardNetwork() {
  if (!quiesce()) return false;
  // The algorithm releases its per-network state while the network and the flag still exist.
  if (TrainingAlgorithm* algorithm = algorithms_.Selected()) algorithm->Detach();
  std::lock_guard lock(modelMutex_);
  clearHistoryLocked();
  network_.reset();
  networkExists_ = 0;
  return true;
}

bool TrainingRun::SetNetwork(std::unique_ptr<Perceptron> network) {
  if (!quiesce()) return false;
  if (network_) DiscardNetwork();
  std::lock_guard lock(modelMutex_);
  forgetBestLocked();
  network_ = std::move(network);
  networkExists_ = network_ ? 1 : 0;
  measureErrorsLocked();
  publishLocked();
  return true;
}
