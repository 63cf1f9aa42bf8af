#include "plugins/rprop/resilient_propagation.h"

#include <algorithm>
#include <new>
#include <thread>

#include "mlp/engine/perceptron.h"
#include "shared/exceptions.h"

ResilientPropagation::~ResilientPropagation() = default;

std::string ResilientPropagation::Description() {
  return std::string("Rprop (Resilient backpropagation) is local adaptive learning scheme.") +
         "The basic principle of Rprop is to eliminate the harmful influence of the " +
         "size of the partial derivative on the weight step. As a consequence, only the sign of the " +
         "derivative is considered to indicate the direction of the weight update." +
         "You shouldn't change learning parameters if you don't want to get unpredictable results.";
}

std::string ResilientPropagation::Name() {
  return "Rprop Algorithm";
}

int ResilientPropagation::Epoch() {
  std::unique_lock lock(mutex_);
  if (!attached) return 0;
  state->SetThreadCount(threads_);
  state->AccumulateGradient(context.questions, context.answers, context.trainingCount);
  state->Update({decreaseFactor, increaseFactor, minimalStep, maximalStep});
  if (context.epochCounter) ++*context.epochCounter;
  const EpochCallback callback = context.callback;
  void* const data = context.callbackData;
  // The host's callback measures errors and may wait for its own user interface: never hold the
  // lock across it.
  lock.unlock();
  return callback ? callback(data) : 0;
}

int ResilientPropagation::Attach(const TrainingContext* received) {
  if (!received) return 0;
  std::lock_guard lock(mutex_);
  context = *received;
  if (!context.networkExists || !*context.networkExists || !context.network) return 0;
  // The examples must fit the network, or the forward pass would read past them.
  if (context.inputCount != context.network->inputs || context.outputCount != context.network->outputs)
    return 0;
  if (attached && state->Fits(*context.network)) {
    state->Reset(initialStep);  // same network: gradients and steps start afresh, weights stay
    return 1;
  }
  if (!BuildState()) return 0;
  state->Reset(initialStep);
  attached = 1;
  return 1;
}

bool ResilientPropagation::BuildState() {
  // A state left from another network (replaced without a Detach, or attached from another main
  // sheet) is never applied to this one.
  state.reset();
  attached = 0;
  try {
    auto fresh = std::make_unique<ResilientNetworkState>(*context.network);
    fresh->Reset(kBuildStep);
    state = std::move(fresh);
    return true;
  } catch (const MyException&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void ResilientPropagation::Detach() {
  std::lock_guard lock(mutex_);
  if (!attached || !context.networkExists || !*context.networkExists) return;
  state.reset();
  attached = 0;
}

int ResilientPropagation::EditParameters(const TrainingContext* received) {
  if (!editor_) return 0;
  RpropParameters edited = parameters();
  // No lock while the dialog is open: another sheet's training must not wait for the user.
  if (!editor_(received ? received->owner : nullptr, edited)) return 0;
  setParameters(edited);
  return 1;
}

RpropParameters ResilientPropagation::parameters() const {
  std::lock_guard lock(mutex_);
  return {initialStep, minimalStep, maximalStep, decreaseFactor, increaseFactor, threads_};
}

void ResilientPropagation::setParameters(const RpropParameters& p) {
  std::lock_guard lock(mutex_);
  initialStep = p.initialStep;
  minimalStep = p.minimalStep;
  maximalStep = p.maximalStep;
  decreaseFactor = p.decreaseFactor;
  increaseFactor = p.increaseFactor;
  threads_ = std::clamp(p.threads, 1, int{ResilientNetworkState::kMaxThreads});
}

int defaultRpropThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores), 1, int{ResilientNetworkState::kMaxThreads});
}

int ResilientPropagation::defaultThreadCount() {
  return defaultRpropThreads();
}

int ResilientPropagation::threadCount() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

void ResilientPropagation::setThreadCount(int threads) {
  std::lock_guard lock(mutex_);
  threads_ = std::clamp(threads, 1, int{ResilientNetworkState::kMaxThreads});
}
