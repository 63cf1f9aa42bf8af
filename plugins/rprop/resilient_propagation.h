#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "mlp/engine/training_algorithm.h"
#include "plugins/rprop/resilient_network_state.h"

// The machine's cores, clamped to 1 … 64: the threads an epoch uses unless the user chose.
int defaultRpropThreads();

// The parameters the user may edit in the "Rprop parameters" dialog: the five of the Rprop rule
// and the threads an epoch's gradient may use (which never changes a result, only the speed).
struct RpropParameters {
  double initialStep;
  double minimalStep;
  double maximalStep;
  double decreaseFactor;
  double increaseFactor;
  int threads = defaultRpropThreads();
  friend bool operator==(const RpropParameters&, const RpropParameters&) = default;
};

// Shows the parameter dialog owned by owner and edits parameters in place; returns 1 when the
// user confirmed, 0 when cancelled (parameters unchanged). Lets the numerics stay free of the
// user interface: the library's export installs the Qt dialog.
using RpropParameterEditor = int (*)(QWidget* owner, RpropParameters& parameters);

// Batch Rprop (resilient back-propagation) behind the plug-in protocol: every epoch sums the
// gradient of E = ½ Σ_e Σ_k (y_k − t_k)² over all training examples, then moves each weight by
// its own adaptive step against the gradient's sign, without weight-backtracking.
// The parameters (defaults below) live as long as the object; the per-network state exists from
// a successful Attach until Detach. One static instance per loaded library.
class ResilientPropagation final : public TrainingAlgorithm {
 public:
  // The parameters a freshly loaded library starts with (η− and η+ are the values the published
  // rule recommends).
  static constexpr double kDefaultDecreaseFactor = 0.5;
  static constexpr double kDefaultIncreaseFactor = 1.2;
  static constexpr double kDefaultMinimalStep = 1e-8;
  static constexpr double kDefaultMaximalStep = 10.0;
  static constexpr double kDefaultInitialStep = 0.1;
  // Every step of a freshly built state, before Attach resets it to initialStep.
  static constexpr double kBuildStep = 0.1;

  explicit ResilientPropagation(RpropParameterEditor editor = nullptr) : editor_(editor) {}
  ~ResilientPropagation();
  ResilientPropagation(const ResilientPropagation&) = delete;
  ResilientPropagation& operator=(const ResilientPropagation&) = delete;

  std::string Description() override;
  std::string Name() override;
  int Epoch() override;
  int Attach(const TrainingContext* context) override;
  void Detach() override;
  int EditParameters(const TrainingContext* context) override;

  RpropParameters parameters() const;
  void setParameters(const RpropParameters& parameters);

  // Threads an epoch's gradient may use (default: the machine's cores). Any count gives the
  // same weights, bit for bit; it only changes how fast an epoch goes. Clamped to 1 … 64.
  int threadCount() const;
  void setThreadCount(int threads);
  static int defaultThreadCount();

  // Copy of the record received by the last Attach.
  TrainingContext context{};
  double decreaseFactor = kDefaultDecreaseFactor;  // η−, "Nu (-) "
  double increaseFactor = kDefaultIncreaseFactor;  // η+, "Nu (+)"
  double minimalStep = kDefaultMinimalStep;        // Δmin, "Minimal delta"
  double maximalStep = kDefaultMaximalStep;        // Δmax, "Maximal delta"
  double initialStep = kDefaultInitialStep;        // Δ0, "Initial delta"
  int attached = 0;                                // 1 while a network state exists
  std::unique_ptr<ResilientNetworkState> state;    // per-network training state

 private:
  bool BuildState();

  RpropParameterEditor editor_;
  int threads_ = defaultThreadCount();
  // Two main sheets may share this one object: an epoch on one sheet's training thread must not
  // meet an Attach or Detach from the other sheet's user interface.
  mutable std::mutex mutex_;
};
