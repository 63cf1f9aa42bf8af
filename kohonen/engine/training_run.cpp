#include "kohonen/engine/training_run.h"

namespace {
// Progress is reported every this many passes.
constexpr std::int32_t kProgressEvery = 5;
// The bar's full scale, widened so that full scale × iterations done cannot overflow.
constexpr std::int64_t kFullPercent = kProgressFullScale;
}  // namespace

KohonenNet createNetwork(std::int32_t rows, std::int32_t columns, const RealMatrix& working) {
  KohonenNet net(rows, columns, working.Cols());
  net.initFromPrincipalComponents(working);
  return net;
}

TrainingOutcome trainNetwork(KohonenNet& net, const RealMatrix& working, const TrainingSettings& settings,
                             ProgressSink& progress, CellIndex& index) {
  if (working.Cols() != net.dimension()) {
    throw IllegalMatrixSizeException("trainNetwork: data columns differ from the net dimension");
  }
  TrainingOutcome outcome;
  progress.setPosition(0);
  double stiffness = settings.initialStiffness;
  for (std::int32_t i = 0; i < settings.iterations; ++i) {
    if (progress.cancelRequested()) {
      outcome.cancelled = true;
      break;
    }
    if (i % kProgressEvery == 0) {
      progress.setPosition(static_cast<int>(kFullPercent * i / settings.iterations));
    }
    net.setStiffness(stiffness);
    net.trainEpoch(working, settings.delta);
    ++outcome.passes;
    stiffness -= settings.decayFactor;
    if (!(stiffness > 0.0)) stiffness = 0.0;
  }
  index.rebuild(net, working);
  return outcome;
}
