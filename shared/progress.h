#pragma once

#include <chrono>
#include <string>

// The bar's full scale: every caller reports positions in 0 … 100.
inline constexpr int kProgressFullScale = 100;
// How long a finished bar stays full before its window closes, so the user sees the step
// complete (reading a range, boxcounting an output, writing output).
inline constexpr std::chrono::milliseconds kProgressFinishedPause{100};

// How a long operation in an engine reports progress without knowing about windows. The
// workbenches pass the progress indicator (which pumps events on every report); engine tests
// pass a recorder or nothing.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Sets the message line.
  virtual void setText(const std::string& text) = 0;
  // Sets the bar position in the indicator's range (0 … kProgressFullScale unless the caller
  // set another).
  virtual void setPosition(int position) = 0;
  // True once after the user pressed Cancel (the flag clears when read); always false for
  // indicators without a Cancel button.
  virtual bool cancelRequested() = 0;

  // Ends an operation: the bar goes to full scale and stays there for `pause` while the
  // window's events keep flowing. Only a sink with a window waits; recorders and NullProgress
  // return at once, so engines never sleep on their own.
  void finish(std::chrono::milliseconds pause = kProgressFinishedPause) {
    setPosition(kProgressFullScale);
    holdFinished(pause);
  }

 protected:
  // Called by finish() with the bar full: a window keeps itself shown (pumping events) for
  // `pause`; the default does nothing.
  virtual void holdFinished(std::chrono::milliseconds /*pause*/) {}
};

// A sink that shows nothing, never waits and is never cancelled.
class NullProgress final : public ProgressSink {
 public:
  void setText(const std::string&) override {}
  void setPosition(int) override {}
  bool cancelRequested() override { return false; }
};
