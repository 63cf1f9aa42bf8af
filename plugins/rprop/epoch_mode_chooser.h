#pragma once

// Picks, epoch by epoch, whether the batch gradient is shared among threads or computed on the
// calling thread alone, by how long each way took lately. Both ways give the same bits, so the
// choice only decides the speed: on a machine whose cores are busy with other work, threads
// that keep waiting for each other are slower than one, and the epoch then stays on one.
//
// The first epoch runs threaded and the second on one thread; after that the faster way runs,
// and every kProbeInterval epochs the other way once more, so a change in the machine's load is
// noticed.
class EpochModeChooser {
 public:
  static constexpr int kProbeInterval = 32;

  // True when the next epoch should be threaded.
  bool threadedNext() const {
    if (epochs_ == 0) return true;
    if (epochs_ == 1) return false;
    const bool faster = seconds_[1] <= seconds_[0];
    return epochs_ % kProbeInterval == 0 ? !faster : faster;
  }

  // The time an epoch took, threaded or not.
  void record(bool threaded, double seconds) {
    double& kept = seconds_[threaded ? 1 : 0];
    // The latest times weigh most, without one hiccup deciding alone.
    kept = kept < 0 ? seconds : 0.5 * kept + 0.5 * seconds;
    ++epochs_;
  }

  // Forgets every time (the threads or the examples changed).
  void reset() { *this = EpochModeChooser(); }

 private:
  int epochs_ = 0;
  double seconds_[2] = {-1.0, -1.0};  // one thread, threaded; −1: not measured yet
};
