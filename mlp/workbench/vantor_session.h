#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mlp/engine/algorithm_loader.h"
#include "mlp/engine/training_run.h"
#include "mlp/significance/box_counter.h"
#include "mlp/workbench/vantor_dialogs.h"
#include "mlp/workbench/vantor_output.h"
#include "shared/output_writer.h"
#include "shared/raw_table.h"
#include "shared/vantor_data_set.h"

class ExcelConnection;
class ProgressSink;

// What changed in a session, as a set of bits for its observers.
enum SessionChange : unsigned {
  kNetworkChanged = 1u << 0,        // created, loaded, discarded, randomised or trained
  kDataSetChanged = 1u << 1,        // inputs or outputs chosen, a project loaded
  kTrainingStateChanged = 1u << 2,  // training started or ended
  kHistoriesChanged = 1u << 3,      // epochs recorded, history cleared, errors re-measured
  kAlgorithmChanged = 1u << 4,      // another algorithm selected or its parameters edited
  kOutputPlaceChanged = 1u << 5,    // the output page's target or kind
  kTestSetChanged = 1u << 6,        // the split into training and test examples
  kStoppingCriteriaChanged = 1u << 7,
  kProjectChanged = 1u << 8,  // the unsaved-changes flag
};

// Told what changed, always on the session's own (user-interface) thread; observers re-read
// the session's state and must not run commands from inside the call.
class VantorSessionObserver {
 public:
  virtual ~VantorSessionObserver() = default;
  virtual void sessionChanged(unsigned changes) = 0;
};

// Carries the training worker's notifications to the session's thread. Called on the worker:
// both calls must return at once (post, never wait). The receiving side calls
// VantorSession::DeliverEpochs() and VantorSession::DeliverTrainingEnd() on the session's
// thread; the end must always arrive.
class TrainingRelay {
 public:
  virtual ~TrainingRelay() = default;
  virtual void epochFinished() = 0;
  virtual void trainingEnded() = 0;
};

// One Vantor tool instance without its windows: the data set over the task's raw table, the
// network and its training run, the plug-in list, the histories, the output place and the
// flags, and every command of the main sheet and its pages with its guards and messages. The
// windows call the commands and re-read the state when an observer call tells them to; the
// batch mode and the tests drive the same commands. Message boxes, file dialogs and dialogs go
// through the platform prompter; dialogs are the models of vantor_dialogs.h.
//
// Threads: every command runs on one thread (the GUI thread in the desktop). Training runs on
// the run's worker; its notifications come back through the relay. While training runs the
// commands that change the network, the data set, the split or the algorithm refuse without a
// message (the pages disable them); closing is refused with its message.
class VantorSession {
 public:
  // The captions and texts of the sheet's own boxes.
  static constexpr const char* kSheetCaption = "Vantor 3.0";
  static constexpr const char* kCloseRefusalText = "Stop training process first!";
  static constexpr const char* kCloseRefusalCaption = "Can't exit Vantor!";
  static constexpr const char* kFatalCaption = "Fatal error";
  static constexpr const char* kFatalMemoryText = "Out of memory!";
  static constexpr const char* kDestroyWarningText =
      "Warning! Your current network and data set will be destroyed!\nDo you want to continue?";
  static constexpr const char* kDestroyWarningCaption = "Warning!";
  static constexpr const char* kLossWarningText =
      "Warning! Your current network and data set will be lost!\nDo you want to continue?";
  static constexpr const char* kNetworkLossText =
      "Your current network will be destroyed!\nDo you want to proceed?";
  static constexpr const char* kNoQuestionsText = "Determine the questions first!";
  static constexpr const char* kNoAnswersText = "Determine the answers first!";
  static constexpr const char* kNoAlgorithmToEditText =
      "There's no algorithm to edit.\n Select an algorithm first.";
  static constexpr const char* kNetInputsWarningText =
      "Warning! Number of inputs of net isn't equal the data inputs dimension.";
  static constexpr const char* kNetOutputsWarningText =
      "Warning! Number of outputs of net isn't equal the data outputs dimension.";
  static constexpr const char* kNetworkFilter = "Network files (*.mlp)|*.mlp||";

  // table: the task's raw table, which must outlive the session. installFolder: where
  // methinfo and the plug-ins are looked for besides the current directory (empty: the
  // folder of this library).
  explicit VantorSession(const RawTable& table, std::optional<std::string> installFolder = std::nullopt);
  // Stops training and waits for its last epoch, then releases the network and the plug-ins.
  ~VantorSession();
  VantorSession(const VantorSession&) = delete;
  VantorSession& operator=(const VantorSession&) = delete;

  // The main sheet's initialisation: loads the plug-ins from methinfo (with their messages),
  // selects the first, attaches the table. False after "Out of memory!" (caption "Fatal
  // error"): the sheet must not open.
  bool Initialise();

  void addObserver(VantorSessionObserver* observer);
  void removeObserver(VantorSessionObserver* observer);
  // Set before training starts; null delivers nothing (call WaitForTrainingEnd instead).
  void setTrainingRelay(TrainingRelay* relay) { relay_.store(relay); }
  // Shows the session's dialog models (the windows); null cancels every dialog.
  void setDialogPresenter(DialogPresenter* presenter) { presenter_ = presenter; }
  // The window that owns the plug-in's dialogs; opaque here.
  void setOwnerWindow(QWidget* owner);

  // --- Data page ---------------------------------------------------------------------------
  // "Select Inputs..." / "Select Outputs...": the destroy warning when a network exists, the
  // network discarded, the dialog, then the data set rebuilt and the test-set choice
  // re-applied. True when the data set changed.
  bool SelectInputs();
  bool SelectOutputs();
  // "Save Project..." / "Load Project...".
  bool SaveProject();
  bool LoadProject();
  // "Boxcounting...": the guards, then the analysis on the data set's normalised rows with
  // progress shown in `progress` (null: the tool's progress window). Returns the results
  // (also kept as lastBoxCounting()), or null when refused or failed.
  const significance::BoxCounter* Boxcounting(ProgressSink* progress = nullptr);
  const significance::BoxCounter* lastBoxCounting() const { return boxCounter_.get(); }

  // --- Network page ------------------------------------------------------------------------
  // "Create Net...": the Network Constructor on the current description; on OK the network
  // is replaced (no warning).
  bool CreateNetwork();
  // "Save Net..." / "Load Net...".
  bool SaveNetwork();
  bool LoadNetwork();
  // The description the constructor opens with.
  NetworkDescription ConstructorDescription() const;

  // --- Training page -----------------------------------------------------------------------
  bool StartTraining();
  void StopTraining();
  bool SelectAlgorithm();
  bool EditAlgorithm();
  bool EditStoppingCriteria();
  bool RandomizeSynapses();
  bool EditTestSet();
  bool ClearHistory();
  // "Restore best network": the network kept at the lowest error goes back into the network,
  // its errors measured afresh into the current epoch; the history stays. False (nothing shown)
  // while training runs or when nothing is kept.
  bool RestoreBestNetwork();
  bool bestNetworkKept() const { return run_.bestNetwork().kept; }
  // The training page's line for the kept network: "epoch %i, test error %8.5g", or empty.
  std::string BestNetworkText() const;
  // The readiness check with its messages (save project, start training, the graphs).
  bool CheckTrainingData() { return run_.CheckTrainingData(); }

  // --- Output page -------------------------------------------------------------------------
  // "Output": the page's checks on place (which is updated as the page shows it), then the
  // sheet's, then the write on the host's thread. The place and kind are kept.
  OutputWriter::Outcome Output(OutputPlace& place, OutputKind kind);
  const OutputPlace& outputPlace() const { return outputPlace_; }
  OutputKind outputKind() const { return outputKind_; }
  // The output writer (the target the last output used, the table it writes).
  const VantorOutputWriter& outputWriter() const { return *writer_; }

  // --- The sheet ---------------------------------------------------------------------------
  // "Discard network": the algorithm released, fresh histories, no network.
  bool DiscardNetwork();
  // A close request: refused while training runs ("Stop training process first!"); otherwise
  // the network is discarded and the caller may destroy the windows.
  bool RequestClose();

  // The worker's notifications, delivered on the session's thread by the relay: observers are
  // told about new epochs; the end also reports a failure that ended the run and tells about
  // the new training state.
  void DeliverEpochs();
  void DeliverTrainingEnd();
  // Without a relay (batch mode, tests): waits until a stopped or finishing run's worker has
  // ended, then delivers its end. False while training is meant to go on.
  bool WaitForTrainingEnd();
  // "Start training" and then waiting on this thread, without a relay, until the stopping
  // criteria end the run (or StopTraining is called from another thread); progress, when
  // given, sees the run's snapshot about every `interval` and once at the end. The end is
  // delivered before it returns. False when the start was refused (its message shown); with
  // the criteria off, refused without a message, as the run would never end.
  bool TrainUntilStopped(const std::function<void(const TrainingSnapshot&)>& progress = {},
                         std::chrono::milliseconds interval = std::chrono::milliseconds(500));

  // --- State -------------------------------------------------------------------------------
  const RawTable& table() const { return table_; }
  const VantorDataSet& dataSet() const { return dataSet_; }
  TrainingRun& run() { return run_; }
  const TrainingRun& run() const { return run_; }
  AlgorithmLoader& algorithms() { return loader_; }
  const AlgorithmLoader& algorithms() const { return loader_; }
  // The network, or null. While training runs read it only through run().WithModel.
  const Perceptron* network() const { return run_.network(); }
  bool networkExists() const { return run_.networkExists(); }
  bool inputsChosen() const { return run_.inputsChosen(); }
  bool outputsChosen() const { return run_.outputsChosen(); }
  bool isTraining() const { return run_.isTraining(); }
  // Network or data set changed since the last project save or load.
  bool changed() const { return changed_; }
  // The data page's list lines: "name (normalisation)".
  std::vector<std::string> InputLines() const;
  std::vector<std::string> OutputLines() const;
  // The training page's three texts: "%i", then "%8.5g" of the errors or "Not exist".
  std::string EpochText() const;
  std::string TrainingErrorText() const;
  std::string TestErrorText() const;

 private:
  void notify(unsigned changes);
  void markChanged(unsigned changes);
  void showDefault(const std::string& text, unsigned flags = 0) const;
  bool selectColumns(ColumnChoiceDialog::Side side);
  // Re-lays out the split with the stored choice after the examples' columns changed.
  void reapplyTestSet();
  TrainingContext editContext(QWidget* owner) const;

  const RawTable& table_;
  VantorDataSet dataSet_;
  AlgorithmLoader loader_;
  TrainingRun run_;
  std::unique_ptr<VantorOutputWriter> writer_;
  std::unique_ptr<significance::BoxCounter> boxCounter_;
  std::vector<VantorSessionObserver*> observers_;
  std::atomic<TrainingRelay*> relay_{nullptr};
  DialogPresenter* presenter_ = nullptr;
  QWidget* owner_ = nullptr;
  OutputPlace outputPlace_;
  OutputKind outputKind_ = OutputKind::AnswersOnly;
  bool changed_ = false;
};
