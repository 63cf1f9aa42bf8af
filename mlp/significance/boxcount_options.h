#pragma once

#include <chrono>

namespace significance {

// How a boxcounting run uses the machine; the results never depend on these.
struct BoxCountOptions {
  // Worker threads for the independent pair computations; 0 takes one per processor core.
  unsigned threads = 0;
  // How long the finished progress bar stays at 100 % after each output, so the user sees the
  // step complete; handed to ProgressSink::finish, so only a sink with a window waits.
  std::chrono::milliseconds finishPause{100};
};

}  // namespace significance
