#include "mlp/workbench/vantor_session.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <new>
#include <thread>

#include "mlp/engine/network_file.h"
#include "mlp/engine/perceptron.h"
#include "mlp/workbench/vantor_project.h"
#include "platform/prompter.h"
#include "shared/excel_connection.h"
#include "shared/exceptions.h"
#include "shared/tool_ui.h"

using platform::IDOK;
using platform::IDYES;
using platform::MB_ICONINFORMATION;
using platform::MB_ICONWARNING;
using platform::MB_OK;
using platform::MB_SYSTEMMODAL;
using platform::MB_YESNO;

namespace {

constexpr const char* kNotExistText = "Not exist";

std::string formatError(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%8.5g", static_cast<double>(value));
  return text;
}

}  // namespace

VantorSession::VantorSession(const RawTable& table, std::optional<std::string> installFolder)
    : table_(table),
      loader_(installFolder ? AlgorithmLoader(*installFolder) : AlgorithmLoader()),
      run_(dataSet_, loader_),
      writer_(std::make_unique<VantorOutputWriter>(ExcelConnection::instance(Tool::Vantor), run_, dataSet_)) {
  // The worker's two notifications only hand over to the relay, which posts them; the relay is
  // read on the worker, so it is fixed before any start.
  TrainingRun::Notifications notifications;
  notifications.epochFinished = [this] {
    if (TrainingRelay* relay = relay_.load()) relay->epochFinished();
  };
  notifications.trainingEnded = [this] {
    if (TrainingRelay* relay = relay_.load()) relay->trainingEnded();
  };
  run_.setNotifications(std::move(notifications));
}

VantorSession::~VantorSession() {
  run_.StopTraining();
  run_.WaitForTrainingThread();
  // The run detaches the algorithm and drops the network while the plug-ins are still loaded.
  run_.DiscardNetwork();
  observers_.clear();
}

bool VantorSession::Initialise() {
  loader_.LoadAlgorithms();
  try {
    dataSet_.attach(table_);
  } catch (const std::bad_alloc&) {
    platform::prompter().messageBox(kFatalMemoryText, kFatalCaption,
                                    MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
    return false;
  } catch (const OutOfMemoryException&) {
    platform::prompter().messageBox(kFatalMemoryText, kFatalCaption,
                                    MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
    return false;
  }
  // Every example is a training example until a test set is laid out.
  run_.ApplyTestSet();
  notify(kDataSetChanged | kAlgorithmChanged | kHistoriesChanged);
  return true;
}

void VantorSession::addObserver(VantorSessionObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void VantorSession::removeObserver(VantorSessionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void VantorSession::setOwnerWindow(QWidget* owner) {
  owner_ = owner;
  run_.setOwnerWindow(owner);
}

void VantorSession::notify(unsigned changes) {
  if (changes == 0) return;
  // A copy: an observer may remove itself while being told.
  const std::vector<VantorSessionObserver*> observers = observers_;
  for (VantorSessionObserver* observer : observers) observer->sessionChanged(changes);
}

void VantorSession::markChanged(unsigned changes) {
  if ((changes & (kNetworkChanged | kDataSetChanged)) && !changed_) {
    changed_ = true;
    changes |= kProjectChanged;
  }
  notify(changes);
}

void VantorSession::showDefault(const std::string& text, unsigned flags) const {
  platform::prompter().messageBox(text, kVantorApplicationName, MB_OK | flags);
}

// --- Data page ---------------------------------------------------------------------------------

bool VantorSession::SelectInputs() {
  return selectColumns(ColumnChoiceDialog::Side::Inputs);
}

bool VantorSession::SelectOutputs() {
  return selectColumns(ColumnChoiceDialog::Side::Outputs);
}

bool VantorSession::selectColumns(ColumnChoiceDialog::Side side) {
  if (run_.isTraining()) return false;
  if (run_.networkExists()) {
    if (platform::prompter().messageBox(kDestroyWarningText, kDestroyWarningCaption, MB_YESNO) != IDYES)
      return false;
    // Before the dialog: cancelling it afterwards still leaves the tool without a network.
    DiscardNetwork();
  }
  const bool inputs = side == ColumnChoiceDialog::Side::Inputs;
  ColumnChoiceDialog dialog(side, table_.columnNames, dataSet_.inputColumns(), presenter_);
  if (platform::prompter().runModal(dialog) != IDOK) return false;

  try {
    if (inputs) {
      // With nothing chosen the inputs stay undefined (the dialog's OK is disabled then).
      if (dialog.columns().empty())
        dataSet_.clearInputs();
      else
        dataSet_.setInputs(dialog.columns(), dialog.kinds());
    } else {
      dataSet_.setOutputs(dialog.columns(), dialog.kinds());
    }
  } catch (const MyException& failure) {
    // The side being built is left empty by the data set; its flag follows.
    showDefault(failure.what());
    markChanged(kDataSetChanged | kHistoriesChanged);
    return false;
  }
  reapplyTestSet();
  markChanged(kDataSetChanged | kTestSetChanged | kHistoriesChanged);
  return true;
}

void VantorSession::reapplyTestSet() {
  // The stored choice (mode, block start, last count and the requested test count) is laid
  // out again over the new examples; it is never reset here.
  try {
    run_.ApplyTestSet();
  } catch (const MyException& failure) {
    showDefault(failure.what());
  }
}

bool VantorSession::SaveProject() {
  if (run_.isTraining()) return false;
  if (!run_.CheckTrainingData()) return false;
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "vtp";
  request.fileName = "Untitled.vtp";
  request.filter = kProjectFilter;
  request.overwritePrompt = true;
  const std::optional<std::string> path = platform::prompter().fileDialog(request);
  if (!path) return false;
  bool saved = false;
  try {
    saved = run_.WithModel([&](const TrainingModelView& view) {
      return view.network && saveProjectFile(*view.network, dataSet_, *path);
    });
  } catch (const MyException& failure) {
    showDefault(failure.what());
    return false;
  }
  if (!saved) {
    showDefault(kProjectSaveFailedText);
    return false;
  }
  if (changed_) {
    changed_ = false;
    notify(kProjectChanged);
  }
  return true;
}

bool VantorSession::LoadProject() {
  if (run_.isTraining()) return false;
  if ((run_.networkExists() || run_.inputsChosen() || run_.outputsChosen()) &&
      platform::prompter().messageBox(kLossWarningText, kSheetCaption, MB_YESNO | MB_ICONINFORMATION) !=
          IDYES)
    return false;
  platform::FileDialogRequest request;
  request.filter = kProjectFilter;
  request.mustExist = true;
  const std::optional<std::string> path = platform::prompter().fileDialog(request);
  if (!path) return false;
  std::ifstream in(*path, std::ios::binary);
  if (!in) {
    showDefault(kCannotOpenFileText + *path, MB_ICONWARNING);
    return false;
  }
  DiscardNetwork();
  ProjectReadResult result = readProject(in, dataSet_);
  if (!result.ok()) {
    // The network is gone; after a failed data-set block neither side exists any more.
    showDefault(result.message);
    markChanged(kNetworkChanged | kDataSetChanged | kTestSetChanged | kHistoriesChanged);
    return false;
  }
  // The data set was rebuilt in the natural order: lay the stored test-set choice over it,
  // then measure the new network's errors.
  reapplyTestSet();
  run_.SetNetwork(std::move(result.network));
  changed_ = false;
  notify(kNetworkChanged | kDataSetChanged | kTestSetChanged | kHistoriesChanged | kProjectChanged);
  return true;
}

const significance::BoxCounter* VantorSession::Boxcounting(ProgressSink* progress) {
  if (!run_.inputsChosen()) {
    showDefault(kNoQuestionsText);
    return nullptr;
  }
  if (!run_.outputsChosen()) {
    showDefault(kNoAnswersText);
    return nullptr;
  }
  std::vector<std::string> inputNames, outputNames;
  for (std::int32_t i = 0; i < dataSet_.inputCount(); ++i) inputNames.push_back(dataSet_.inputName(i));
  for (std::int32_t j = 0; j < dataSet_.outputCount(); ++j) outputNames.push_back(dataSet_.outputName(j));
  try {
    auto counter = std::make_unique<significance::BoxCounter>(
        dataSet_.inputs(), dataSet_.outputs(), std::move(inputNames), std::move(outputNames), dataSet_.rows(),
        dataSet_.inputCount(), dataSet_.outputCount());
    bool done = false;
    if (progress) {
      done = counter->run(*progress);
    } else {
      std::unique_ptr<ProgressWindow> window = openProgressWindow(ProgressVariant::Vantor);
      done = counter->run(*window);
      window->close();
    }
    if (!done) return nullptr;  // a constant column: refused with its message
    boxCounter_ = std::move(counter);
  } catch (const MyException& failure) {
    // Memory running out in the analysis ends the command, never the tool.
    showDefault(failure.what());
    return nullptr;
  } catch (const std::bad_alloc&) {
    showDefault("Out of memory");
    return nullptr;
  }
  return boxCounter_.get();
}

// --- Network page ------------------------------------------------------------------------------

NetworkDescription VantorSession::ConstructorDescription() const {
  NetworkDescription description;
  if (const Perceptron* network = run_.network()) network->Describe(description);
  if (run_.inputsChosen()) description.inputs = dataSet_.inputCount();
  if (run_.outputsChosen()) {
    description.outputs = dataSet_.outputCount();
    description.neuronCounts[description.layerCount - 1] = dataSet_.outputCount();
  }
  return description;
}

bool VantorSession::CreateNetwork() {
  if (run_.isTraining()) return false;
  std::optional<int> fixedInputs, fixedOutputs;
  if (run_.inputsChosen()) fixedInputs = dataSet_.inputCount();
  if (run_.outputsChosen()) fixedOutputs = dataSet_.outputCount();
  NetworkConstructorDialog dialog(ConstructorDescription(), fixedInputs, fixedOutputs, presenter_);
  if (platform::prompter().runModal(dialog) != IDOK) return false;
  DiscardNetwork();
  std::unique_ptr<Perceptron> network;
  try {
    network = std::make_unique<Perceptron>(dialog.description());
  } catch (const MyException& failure) {
    showDefault(failure.what());
    markChanged(kNetworkChanged | kHistoriesChanged);
    return false;
  } catch (const std::bad_alloc&) {
    showDefault("Out of Memory!");
    markChanged(kNetworkChanged | kHistoriesChanged);
    return false;
  }
  run_.SetNetwork(std::move(network));
  markChanged(kNetworkChanged | kHistoriesChanged);
  return true;
}

bool VantorSession::SaveNetwork() {
  if (run_.isTraining() || !run_.networkExists()) return false;
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "mlp";
  request.fileName = "Untitled.mlp";
  request.filter = kNetworkFilter;
  request.overwritePrompt = true;
  const std::optional<std::string> path = platform::prompter().fileDialog(request);
  if (!path) return false;
  const NetworkSaveResult result =
      run_.WithModel([&](const TrainingModelView& view) { return saveNetworkFile(*view.network, *path); });
  if (!result.ok()) {
    showDefault(result.message);
    return false;
  }
  return true;
}

bool VantorSession::LoadNetwork() {
  if (run_.isTraining()) return false;
  if (run_.networkExists() &&
      platform::prompter().messageBox(kNetworkLossText, kSheetCaption, MB_YESNO) != IDYES)
    return false;
  platform::FileDialogRequest request;
  request.defaultExt = "mlp";
  request.filter = kNetworkFilter;
  request.mustExist = true;
  const std::optional<std::string> path = platform::prompter().fileDialog(request);
  if (!path) return false;
  DiscardNetwork();
  NetworkLoadResult result = loadNetworkFile(*path);
  if (!result.ok()) {
    showDefault(result.message);
    markChanged(kNetworkChanged | kHistoriesChanged);
    return false;
  }
  const int inputs = result.network->inputs, outputs = result.network->outputs;
  run_.SetNetwork(std::move(result.network));
  markChanged(kNetworkChanged | kHistoriesChanged);
  // The network stays even when it does not fit; training and output refuse until it does.
  if (run_.inputsChosen() && inputs != dataSet_.inputCount()) showDefault(kNetInputsWarningText);
  if (run_.outputsChosen() && outputs != dataSet_.outputCount()) showDefault(kNetOutputsWarningText);
  return true;
}

// --- Training page -----------------------------------------------------------------------------

bool VantorSession::StartTraining() {
  if (!run_.StartTraining()) return false;
  notify(kTrainingStateChanged);
  return true;
}

void VantorSession::StopTraining() {
  // The worker ends after its current epoch; its end notification tells the observers.
  run_.StopTraining();
}

TrainingContext VantorSession::editContext(QWidget* owner) const {
  return const_cast<TrainingRun&>(run_).EditingContext(owner);
}

bool VantorSession::SelectAlgorithm() {
  if (run_.isTraining()) return false;
  // "Select new" detaches the old algorithm; the network must not be trained meanwhile.
  if (!run_.WaitForTrainingThread()) return false;
  const int before = loader_.selectedAlgorithm;
  SelectAlgorithmDialog dialog(loader_, editContext(nullptr), presenter_);
  platform::prompter().runModal(dialog);
  notify(kAlgorithmChanged);
  return loader_.selectedAlgorithm != before;
}

bool VantorSession::EditAlgorithm() {
  if (run_.isTraining()) return false;
  TrainingAlgorithm* algorithm = loader_.Selected();
  if (!algorithm) {
    showDefault(kNoAlgorithmToEditText);
    return false;
  }
  if (!run_.WaitForTrainingThread()) return false;
  const TrainingContext context = editContext(owner_);
  const bool confirmed = algorithm->EditParameters(&context) != 0;
  if (confirmed) notify(kAlgorithmChanged);
  return confirmed;
}

bool VantorSession::EditStoppingCriteria() {
  const bool applied =
      run_.EditStoppingCriteria([this](const StoppingCriteria& current) -> std::optional<StoppingCriteria> {
        StoppingCriteriaDialog dialog(current, presenter_);
        if (platform::prompter().runModal(dialog) != IDOK) return std::nullopt;
        return dialog.criteria;
      });
  if (applied) notify(kStoppingCriteriaChanged);
  return applied;
}

bool VantorSession::RandomizeSynapses() {
  if (run_.isTraining()) return false;
  bool applied = false;
  try {
    applied = run_.RandomizeSynapses([this]() -> std::optional<Randomization> {
      RandomizationDialog dialog(presenter_);
      if (platform::prompter().runModal(dialog) != IDOK) return std::nullopt;
      return dialog.randomization;
    });
  } catch (const MyException& failure) {
    showDefault(failure.what());
  }
  if (applied) markChanged(kNetworkChanged | kHistoriesChanged);
  return applied;
}

bool VantorSession::EditTestSet() {
  if (run_.isTraining()) return false;
  bool applied = false;
  try {
    applied = run_.EditTestSet(
        [this](const TestSetChoice& current, std::int32_t exampleCount) -> std::optional<TestSetChoice> {
          TestSetDialog dialog(current, exampleCount, presenter_);
          if (platform::prompter().runModal(dialog) != IDOK) return std::nullopt;
          return dialog.choice();
        });
  } catch (const MyException& failure) {
    showDefault(failure.what());
  }
  if (applied) notify(kTestSetChanged | kHistoriesChanged);
  return applied;
}

bool VantorSession::ClearHistory() {
  if (run_.isTraining()) return false;
  bool cleared = false;
  try {
    cleared = run_.ClearHistory();
  } catch (const MyException& failure) {
    showDefault(failure.what());
  }
  notify(kHistoriesChanged);
  return cleared;
}

bool VantorSession::RestoreBestNetwork() {
  if (run_.isTraining()) return false;
  const bool restored = run_.RestoreBestNetwork();
  if (restored) markChanged(kNetworkChanged | kHistoriesChanged);
  return restored;
}

// --- Output page -------------------------------------------------------------------------------

OutputWriter::Outcome VantorSession::Output(OutputPlace& place, OutputKind kind) {
  if (run_.isTraining()) return OutputWriter::Outcome::Refused;
  writer_->kind = kind;
  const OutputWriter::Outcome outcome = writer_->output(place);
  outputPlace_ = place;
  outputKind_ = kind;
  notify(kOutputPlaceChanged);
  return outcome;
}

// --- The sheet ---------------------------------------------------------------------------------

bool VantorSession::DiscardNetwork() {
  const bool had = run_.networkExists();
  if (!run_.DiscardNetwork()) return false;
  if (had) markChanged(kNetworkChanged | kHistoriesChanged);
  return true;
}

bool VantorSession::RequestClose() {
  if (run_.isTraining()) {
    platform::prompter().messageBox(kCloseRefusalText, kCloseRefusalCaption,
                                    MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
    return false;
  }
  run_.WaitForTrainingThread();
  run_.DiscardNetwork();
  return true;
}

void VantorSession::DeliverEpochs() {
  notify(kHistoriesChanged | kNetworkChanged);
}

void VantorSession::DeliverTrainingEnd() {
  // The worker has left its loop; let it go before anyone changes what it trained on.
  run_.WaitForTrainingThread();
  const std::string failure = run_.TakeTrainingFailure();
  // The page's activation handler: measure, then refresh texts and buttons.
  run_.MeasureErrors();
  notify(kTrainingStateChanged | kHistoriesChanged | kNetworkChanged);
  if (!failure.empty()) showDefault(failure);
  if (!changed_) {
    changed_ = true;
    notify(kProjectChanged);
  }
}

bool VantorSession::WaitForTrainingEnd() {
  if (!run_.WaitForTrainingThread()) return false;
  DeliverTrainingEnd();
  return true;
}

bool VantorSession::TrainUntilStopped(const std::function<void(const TrainingSnapshot&)>& progress,
                                      std::chrono::milliseconds interval) {
  if (!run_.stoppingCriteria().useStoppingCriteria) return false;
  if (!StartTraining()) return false;
  // The worker clears the training flag itself once a criterion is met; polling the flag keeps
  // this thread free of the relay's queued notifications.
  constexpr std::chrono::milliseconds kPoll{5};
  auto nextReport = std::chrono::steady_clock::now() + interval;
  while (run_.isTraining()) {
    std::this_thread::sleep_for(kPoll);
    if (progress && std::chrono::steady_clock::now() >= nextReport) {
      progress(run_.Snapshot());
      nextReport += interval;
    }
  }
  WaitForTrainingEnd();
  if (progress) progress(run_.Snapshot());
  return true;
}

// --- State -------------------------------------------------------------------------------------

std::vector<std::string> VantorSession::InputLines() const {
  std::vector<std::string> lines;
  for (std::int32_t i = 0; i < dataSet_.inputCount(); ++i)
    lines.push_back(dataSet_.inputName(i) + " (" +
                    dataSet_.inputNormalisers()[static_cast<std::size_t>(i)].name() + ")");
  return lines;
}

std::vector<std::string> VantorSession::OutputLines() const {
  std::vector<std::string> lines;
  for (std::int32_t j = 0; j < dataSet_.outputCount(); ++j)
    lines.push_back(dataSet_.outputName(j) + " (" +
                    dataSet_.outputNormalisers()[static_cast<std::size_t>(j)].name() + ")");
  return lines;
}

std::string VantorSession::EpochText() const {
  return std::to_string(run_.Snapshot().epochCounter);
}

std::string VantorSession::TrainingErrorText() const {
  return run_.ErrorsExist() ? formatError(run_.Snapshot().trainingError) : kNotExistText;
}

std::string VantorSession::BestNetworkText() const {
  const BestNetworkInfo best = run_.bestNetwork();
  if (!best.kept) return std::string();
  const TrainingSnapshot snapshot = run_.Snapshot();
  const bool byTest = snapshot.testCount > 0;
  return "epoch " + std::to_string(best.epoch) + (byTest ? ", test error " : ", training error ") +
         formatError(byTest ? best.testError : best.trainingError);
}

std::string VantorSession::TestErrorText() const {
  return run_.ErrorsExist() ? formatError(run_.Snapshot().testError) : kNotExistText;
}
