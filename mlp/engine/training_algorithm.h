#pragma once

// The boundary between Vantor and its training plug-ins. Both sides are compiled from this
// header, and a plug-in reads the host's objects directly, so the order of the virtual
// operations and of the context's fields is part of the contract: append, never reorder.

#include <string>

class Perceptron;
class QWidget;  // opaque to the engine; only the plug-in's dialog looks inside

// The host's per-epoch function: measures the training and test error of the epoch just finished
// and stores them at index *epochCounter of the two histories. Runs on the training thread.
extern "C" {
typedef int (*EpochCallback)(void* callbackData);
}

// What the host hands to Attach and EditParameters. The plug-in copies the record, so the record
// itself may live on the caller's stack; everything its pointers reach stays valid while the
// algorithm is attached. For EditParameters only owner, network, networkExists, questions,
// answers, inputCount and outputCount are filled; callbackData and callback are null.
struct TrainingContext {
  QWidget* owner = nullptr;           // window that owns the plug-in's dialogs
  Perceptron* network = nullptr;      // the current network, null when none exists
  int* networkExists = nullptr;       // the host's network-exists flag, read on attach/detach
  double** questions = nullptr;       // inputs in training order; 0..trainingCount-1 train
  double** answers = nullptr;         // the matching targets
  float** trainingHistory = nullptr;  // address of the host's training-error history pointer
  float** testHistory = nullptr;      // address of the host's test-error history pointer
  int inputCount = 0;                 // inputs of the data set (= the network's inputs)
  int outputCount = 0;                // outputs of the data set (= the network's outputs)
  int trainingCount = 0;              // number of training examples
  int* epochCounter = nullptr;        // the host's epoch counter, incremented by Epoch
  void* callbackData = nullptr;       // passed to callback (the main sheet)
  EpochCallback callback = nullptr;   // called once at the end of every epoch
};

// A training algorithm offered by a plug-in: one static instance per plug-in library, owned by
// the library and valid while it stays loaded. The host never deletes it, hence the protected
// non-virtual destructor (a virtual one would add slots to the contract).
// Epoch runs on the training thread; every other operation on the user-interface thread while
// training is stopped. No exception crosses this boundary: failures are return values.
class TrainingAlgorithm {
 public:
  // Free text for the "Description" box of the "Select algorithm" dialog.
  virtual std::string Description() = 0;
  // Short display name for the algorithm list and the "Current algorithm" box.
  virtual std::string Name() = 0;
  // One epoch on the attached network: trains, increments *epochCounter, calls the callback and
  // returns its result. Returns 0 and does nothing when not attached.
  virtual int Epoch() = 0;
  // Copies the context and prepares the per-network state; nonzero on success. Attaching again
  // re-initialises the state for the same network.
  virtual int Attach(const TrainingContext* context) = 0;
  // Releases the per-network state; called while the network still exists.
  virtual void Detach() = 0;
  // Shows the plug-in's own modal parameter dialog owned by context->owner; 1 confirmed,
  // 0 cancelled.
  virtual int EditParameters(const TrainingContext* context) = 0;

 protected:
  TrainingAlgorithm() = default;
  ~TrainingAlgorithm() = default;
  TrainingAlgorithm(const TrainingAlgorithm&) = default;
  TrainingAlgorithm& operator=(const TrainingAlgorithm&) = default;
};

// Every plug-in exports this function by the name kGetAlgorithmSymbol with C linkage. It returns
// the library's one algorithm object, or null when the library offers none.
extern "C" {
typedef TrainingAlgorithm* (*GetAlgorithmFunction)();
}
inline constexpr const char* kGetAlgorithmSymbol = "getAlgorithm";

// Marks a plug-in's export so it stays visible however the library is built.
#define LUMIVANE_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
